#pragma once

#include "report/DebugData.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

// The block the build wrote from this test program's DWARF before stripping it.
inline std::string TestBlockBytes() {
    std::ifstream in(DEBUG_DATA_BLOCK, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline const TDebugData& TestDebugData() {
    static const TDebugData data = [] {
        auto loaded = TDebugData::FromBytes(TestBlockBytes());
        EXPECT_TRUE(loaded) << "no debug-data block at " DEBUG_DATA_BLOCK;
        return loaded ? *loaded : TDebugData();
    }();
    return data;
}
