#include "report/ConfigBlock.h"

#include "net/IdThread.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uintptr_t kBase = 0x55550000;

// Options with every field away from its default, so a field lost or
// swapped in the stream shows up.
TReportOptions Unusual() {
    TReportOptions o;
    o.LogFlag = true;
    o.FiltersActive = false;
    o.LogOptions = 0x3E;
    o.FreezeTimeout = 0x01020304;
    o.MailFrom = "a@b";
    o.MailPort = 2525;
    o.TerminateOperation = kOperationTerminate;
    o.ReportsKept = 7;
    o.ReportsBeforeTerminate = 5;
    o.ShowOptions = {1, 2, 3, 4, 5, 6};
    o.WebPort = 8081;
    o.DialogOptions = 0x0203;
    o.HtmlLayout = "<p/>";
    o.BehaviourOptions = 0x80;
    o.AutoCrashCount = 4;
    o.AutoCrashMinutes = 9;
    o.DialogType = kDialogDetailed;
    o.ProxyPort = 3128;
    o.BugTrackerTexts[6] = "zip";
    o.Filters = {{true, "EFoo", "bar", 0, 4, 2, 1}, {false, "", "", 9, 0, 1, 2}};
    o.MailMessage = "mm";
    for (std::size_t i = 0; i < kReportTextCount; ++i)
        o.Texts.push_back("text " + std::to_string(i) + (i % 2 ? "\xD6\xD0" : ""));
    o.TextsName = "Chinese";
    return o;
}

TConfigBlock Block() {
    TConfigBlock block;
    block.TimeStamp = 1234567890;
    block.Hooks = {{kHookHandleException, 0x1000, 0}, {kHookDoException, 0x2345, 0}};
    block.Options = Unusual();
    block.DebugData = {1, 2, 3, 4};
    return block;
}

const std::vector<TKnownRoutine> kKnown = {
    {kHookDoException, kBase + 0x2345 + kHookLocationBias},
    {kHookHandleException, kBase + 0x1000 + kHookLocationBias}};

} // namespace

TEST(ConfigBlock, EveryFieldAndTextReadsBack) {
    const auto bytes = WriteConfigBlock(Block());
    const auto read = ReadConfigBlock(bytes, kKnown, kBase);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->TimeStamp, 1234567890u);
    EXPECT_EQ(read->Hooks, Block().Hooks);
    EXPECT_EQ(read->DebugData, Block().DebugData);
    EXPECT_EQ(read->Options.Texts, Unusual().Texts);
    EXPECT_EQ(TextsOf(read->Options)[157], Unusual().Texts[157]);
    EXPECT_EQ(read->Options.Filters[0].ExceptionClass, "EFoo");
    EXPECT_EQ(read->Options.Filters[1].Action, 2);
    // Writing what was read gives the same stream: no field was dropped.
    EXPECT_EQ(WriteReportOptions(read->Options), WriteReportOptions(Unusual()));
    EXPECT_TRUE(read->Options.Active);
}

TEST(ConfigBlock, AutomaticCrashCountIsBroughtIntoRange) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{0, 1}, {4, 4}, {11, 10}, {~0u, 10}};
    for (const auto& [stored, read] : cases) {
        TReportOptions options;
        options.AutoCrashCount = stored;
        EXPECT_EQ(ReadReportOptions(WriteReportOptions(options)).AutoCrashCount, read) << stored;
    }
}

TEST(ConfigBlock, TextsAreScrambled) {
    const auto stream = WriteReportOptions(Unusual());
    const std::string plain(stream.begin(), stream.end());
    EXPECT_EQ(plain.find("text 1"), std::string::npos);
    EXPECT_EQ(plain.find("Chinese"), std::string::npos);
}

TEST(ConfigBlock, RejectsWhatIsNotAValidBlockForThisProgram) {
    const auto good = WriteConfigBlock(Block());
    auto patched = [&](std::size_t at, std::uint8_t value) {
        auto bytes = good;
        bytes[at] = value;
        return bytes;
    };
    auto cut = [&](std::size_t size) {
        return std::vector<std::uint8_t>(good.begin(), good.begin() + size);
    };
    TConfigBlock hugeOptions = Block();
    hugeOptions.Options.HtmlLayout.assign(kOptionsSizeLimit, 'x');
    const std::size_t optionsAt = 20 + 2 * kHookEntrySize + 4;
    const std::size_t debugSize = Deflate(Block().DebugData).size();
    auto broken = good;
    broken[optionsAt + 5] ^= 0xFF;

    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::uintptr_t base;
    } cases[] = {
        {"other magic", patched(3, 0x20), kBase},
        {"newer version", patched(4, 0xD6), kBase}, // 6102
        {"directory length past the end", patched(17, 0x7F), kBase},
        {"directory not whole entries", patched(16, 17), kBase},
        {"header cut", cut(10), kBase},
        {"options cut", cut(optionsAt + 8), kBase},
        {"debug data length missing", cut(good.size() - 4 - debugSize), kBase},
        {"debug data cut", cut(good.size() - 1), kBase},
        {"options inflate past the limit", WriteConfigBlock(hugeOptions), kBase},
        {"options not zlib", broken, kBase},
        {"another build", good, kBase + 16},
        {"empty", {}, kBase},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(ReadConfigBlock(c.bytes, kKnown, c.base)) << c.what;
    EXPECT_FALSE(ReadConfigBlock(good, {kKnown[0]}, kBase)) << "routine missing from the program";
}

TEST(ConfigBlock, AcceptsOlderMagicAndVersion) {
    TConfigBlock block = Block();
    block.Magic = kConfigMagicOld;
    block.Version = 6100;
    const auto read = ReadConfigBlock(WriteConfigBlock(block), kKnown, kBase);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Version, 6100);
}

TEST(ConfigBlock, InflateStopsAtItsLimit) {
    const std::vector<std::uint8_t> data(5000, 7);
    const auto packed = Deflate(data);
    EXPECT_EQ(Inflate(packed, 5000), data);
    EXPECT_FALSE(Inflate(packed, 4999));
    EXPECT_FALSE(Inflate(std::span(packed).first(packed.size() - 1), 5000));
}

// The build stores a block in this test program too; it reads back from the
// program's own file, with the options the system ships with, and its hook
// directory names this program's thread exception routine.
TEST(ConfigBlock, ProgramCarriesItsBlock) {
    const TKnownRoutine routine{kHookDoException, TIdThread::DoExceptionAddress()};
    EXPECT_FALSE(LoadProgramConfigBlock({})) << "the directory names a routine";
    EXPECT_FALSE(LoadProgramConfigBlock({{kHookDoException, routine.Address + 1}}));
    const auto block = LoadProgramConfigBlock({routine});
    ASSERT_TRUE(block);
    EXPECT_TRUE(block->Options.LogFlag);
    EXPECT_EQ(block->Options.FreezeTimeout, 0u);
    EXPECT_EQ(block->Options.Texts, DefaultTexts());
    EXPECT_EQ(TextsOf(block->Options)[3], "Error occurred");
    EXPECT_FALSE(ReadElfSection("/proc/self/exe", "NOSUCHSECTION"));
    EXPECT_FALSE(ReadElfSection("/nonexistent", kConfigSectionName));
}
