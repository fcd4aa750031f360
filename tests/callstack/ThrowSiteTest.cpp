#include "TestDebugData.h"

#include "callstack/CallStack.h"
#include "report/ExceptionManager.h"
#include "report/gather/CpuDump.h"

#include <elf.h>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

// Known places to throw from. Kept out of line so that each is a frame of its own.
struct TKnownThrower {
    [[gnu::noinline]] static void Throw(int code);
    [[gnu::noinline]] static void ThrowElsewhere();
    static const int ThrowLine;
};

const int TKnownThrower::ThrowLine = __LINE__ + 3;
void TKnownThrower::Throw(int code) {
    if (code != 0)
        throw std::runtime_error("known place");
}

void TKnownThrower::ThrowElsewhere() {
    throw std::runtime_error("another place");
}

namespace {

// True when the running program carries no DWARF, so names can only come
// from the debug-data block.
bool ProgramIsStripped() {
    std::ifstream in("/proc/self/exe", std::ios::binary);
    std::string elf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto& header = *reinterpret_cast<const Elf64_Ehdr*>(elf.data());
    const auto* sections = reinterpret_cast<const Elf64_Shdr*>(elf.data() + header.e_shoff);
    const char* names = elf.data() + sections[header.e_shstrndx].sh_offset;
    for (int i = 0; i < header.e_shnum; ++i)
        if (std::string(names + sections[i].sh_name).starts_with(".debug_info"))
            return false;
    return true;
}

// Runs `thrower`, and returns the exception thread's entries of its report.
std::vector<TCallStackEntry> ThrownStack(const std::function<void()>& thrower) {
    try {
        thrower();
    } catch (const std::exception& e) {
        const TThrowSite* site = FindThrowSite(dynamic_cast<const void*>(&e));
        if (!site)
            return {};
        return BuildCallStack(gettid(), site->Trace, {}, &TestDebugData());
    }
    return {};
}

const TCallStackEntry* FirstNamed(const std::vector<TCallStackEntry>& entries) {
    for (const TCallStackEntry& entry : entries)
        if (entry.HasDebugData() && !entry.Class.starts_with("std") &&
            !entry.Class.starts_with("__gnu_cxx"))
            return &entry;
    return nullptr;
}

[[gnu::noinline]] void CallVectorAt() {
    std::vector<int> values(3);
    volatile std::size_t index = 7;
    values.at(index) = 1;
}

[[gnu::noinline]] void CallStoi() {
    (void)std::stoi(std::string("not a number"));
}

[[gnu::noinline]] void CallNewArray() {
    volatile int count = -1;
    delete[] new int[count];
}

// What the exception ID is computed from: the exception thread's named entries.
std::string IdInput(const std::vector<TCallStackEntry>& entries) {
    std::string input;
    for (const TCallStackEntry& e : entries)
        if (e.Kind == TStackKind::ExceptionThread && e.HasDebugData())
            input += e.Unit + e.Class + e.Procedure + std::to_string(e.Line);
    return input;
}

[[gnu::noinline]] void ThrowKnown() {
    TKnownThrower::Throw(1);
}

} // namespace

TEST(ThrowSite, NamesTheThrowingFunctionFromTheBlockOfAStrippedProgram) {
    ASSERT_TRUE(ProgramIsStripped());
    const std::vector<TCallStackEntry> entries = ThrownStack([] { TKnownThrower::Throw(1); });
    const TCallStackEntry* top = FirstNamed(entries);
    ASSERT_TRUE(top);
    EXPECT_EQ(top->Procedure, "Throw");
    EXPECT_EQ(top->Class, "TKnownThrower");
    EXPECT_EQ(top->Unit, "ThrowSiteTest");
    EXPECT_NEAR(top->Line, TKnownThrower::ThrowLine, 1);
    EXPECT_NEAR(top->LineOffset, 2, 1);
    EXPECT_TRUE(entries.front().StackStart);
    EXPECT_TRUE(entries.front().Thread.Starred && entries.front().Thread.Main);
}

TEST(ThrowSite, ThrowsInsideTheStandardLibraryStartInOurCallingFunction) {
    const struct {
        const char* procedure;
        void (*call)();
    } cases[] = {
        {"CallVectorAt", CallVectorAt}, {"CallStoi", CallStoi}, {"CallNewArray", CallNewArray}};
    for (const auto& c : cases) {
        const std::vector<TCallStackEntry> entries = ThrownStack(c.call);
        const TCallStackEntry* top = FirstNamed(entries);
        ASSERT_TRUE(top) << c.procedure;
        EXPECT_EQ(top->Procedure, c.procedure);
        EXPECT_EQ(top->Class, "(anonymous namespace)");
        // The throw itself lies in the library, which has no names of ours.
        EXPECT_FALSE(entries.front().HasDebugData()) << c.procedure;
        EXPECT_FALSE(entries.front().Module.empty()) << c.procedure;
    }
}

TEST(ThrowSite, TheSameFaultGivesTheSameIdInputAndAnotherPlaceAnotherOne) {
    std::vector<std::string> inputs;
    for (void (*thrower)() : {ThrowKnown, ThrowKnown, TKnownThrower::ThrowElsewhere})
        inputs.push_back(IdInput(ThrownStack(thrower)));
    EXPECT_NE(inputs[0].find("ThrowSiteTestTKnownThrowerThrow"), std::string::npos) << inputs[0];
    EXPECT_EQ(inputs[0], inputs[1]);
    EXPECT_NE(inputs[0], inputs[2]);
}

TEST(ThrowSite, KeepsTheFirstExceptionWhenAHandlerThrowsAnother) {
    try {
        TKnownThrower::Throw(1);
    } catch (const std::exception& first) {
        const void* firstObject = dynamic_cast<const void*>(&first);
        try {
            TKnownThrower::ThrowElsewhere();
        } catch (const std::exception& second) {
            const TThrowSite* secondSite = FindThrowSite(dynamic_cast<const void*>(&second));
            ASSERT_TRUE(FindThrowSite(firstObject) && secondSite);
            EXPECT_NE(FindThrowSite(firstObject)->Address, secondSite->Address);
        }
    }
}

TEST(ThrowSite, RecordsNothingWhileCaptureIsOff) {
    ThrownStack(ThrowKnown);
    const TThrowSite* before = LastThrowSite();
    SetThrowCapture(false);
    ThrownStack(TKnownThrower::ThrowElsewhere);
    SetThrowCapture(true);
    EXPECT_EQ(LastThrowSite(), before);
}

TEST(ThrowSite, TheRecordForAReportCarriesTheThrowSiteAndTheStack) {
    try {
        TKnownThrower::Throw(1);
    } catch (const std::exception& e) {
        const TThrowSite* site = FindThrowSite(dynamic_cast<const void*>(&e));
        const TExceptionRecord record = ExceptionRecordOf(e, kDisplayApplication);
        ASSERT_TRUE(site);
        EXPECT_EQ(record.Input.Address, site->Address);
        EXPECT_EQ(record.Input.Context.RSP, record.Input.Stack.Address);
        EXPECT_EQ(record.Input.Stack.Bytes.size(), site->Stack.size());
        ASSERT_FALSE(record.Input.CallStack.empty());
        EXPECT_EQ(record.Input.CallStack.front().Address, site->Address);
        // The registers the call spent read "?" beside those the throw site knows.
        const TCpuContext& c = record.Input.Context;
        const std::string cpu = CpuSectionText(c, {}, {}, TReportTexts()), q(16, '?');
        for (const std::string& line :
             {"RAX: " + q + "   RDI: " + Hex16(c.RDI), "RCX: " + q + "   RSP: " + Hex16(c.RSP),
              "R8 : " + q + "   R12: " + Hex16(c.R12), "R11: " + q + "   R15: " + Hex16(c.R15)})
            EXPECT_NE(cpu.find(line + "\r\n"), std::string::npos) << line;
    }
}
