#pragma once

#include "net/IdThread.h"
#include "report/ConfigBlock.h"
#include "callstack/DebugData.h"

#include <gtest/gtest.h>

#include <string>

// The debug-data block the build stored in this test program, read the way
// the program reads it at start-up.
inline std::string TestBlockBytes() {
    const auto block =
        LoadProgramConfigBlock({{kHookDoException, TIdThread::DoExceptionAddress()}});
    EXPECT_TRUE(block) << "no configuration block in the test program";
    return block ? std::string(block->DebugData.begin(), block->DebugData.end()) : std::string();
}

inline const TDebugData& TestDebugData() {
    static const TDebugData data = [] {
        auto loaded = TDebugData::FromBytes(TestBlockBytes());
        EXPECT_TRUE(loaded) << "the stored debug data cannot be read";
        return loaded ? *loaded : TDebugData();
    }();
    return data;
}
