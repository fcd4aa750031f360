#include "report/text/ExceptionId.h"

#include <gtest/gtest.h>

namespace {

TCallStackEntry Frame(std::string procedure, int line,
                      TStackKind kind = TStackKind::ExceptionThread) {
    TCallStackEntry entry;
    entry.Address = 0x401000 + line;
    entry.Module = "device-finder";
    entry.Unit = "Main";
    entry.Class = "TMainForm";
    entry.Procedure = std::move(procedure);
    entry.Line = line;
    entry.Kind = kind;
    return entry;
}

TModuleInfo Module(std::string name, std::string description = "") {
    TModuleInfo module;
    module.Name = std::move(name);
    module.Description = std::move(description);
    return module;
}

} // namespace

TEST(ExceptionId, CrcMatchesTheCheckValue) {
    EXPECT_EQ(Crc16Xmodem("123456789"), 0x31C3);
    EXPECT_EQ(Crc16Xmodem(""), 0);
}

// The ID is the CRC of exactly these bytes, so a reader can recompute it.
TEST(ExceptionId, CoversModulesClassAndTheExceptionThreadsNamedFrames) {
    const TModuleInfo program = Module("device-finder", "设备查找");
    std::vector<TCallStackEntry> stack = {Frame("btnSearchClick", 120), Frame("", 0),
                                          Frame("Run", 7, TStackKind::RunningThread),
                                          Frame("Execute", 9, TStackKind::CallingThread)};
    char expected[5];
    std::snprintf(expected, sizeof expected, "%04X",
                  Crc16Xmodem("device-finder - (设备查找)libc.so.6EIdSocketError"
                              "MainTMainFormbtnSearchClick120"));
    EXPECT_EQ(ExceptionId(program, Module("libc.so.6"), "EIdSocketError", stack), expected);
}

TEST(ExceptionId, SameFaultSameIdOtherProcedureOtherId) {
    const TModuleInfo program = Module("device-finder");
    std::vector<TCallStackEntry> first = {Frame("btnSearchClick", 120)};
    std::vector<TCallStackEntry> again = first;
    again[0].Address += 0x1000; // another load address, same place
    std::vector<TCallStackEntry> other = {Frame("btnRefreshNetCarClick", 120)};
    const std::string id = ExceptionId(program, program, "EIdSocketError", first);
    EXPECT_EQ(id.size(), 4u);
    EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(ExceptionId(program, program, "EIdSocketError", again), id);
    EXPECT_NE(ExceptionId(program, program, "EIdSocketError", other), id);
}
