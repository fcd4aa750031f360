#pragma once

#include "report/text/ReportTexts.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The options that drive crash reporting. The program carries them in its
// configuration block; the defaults below hold when it carries none. The
// fields are listed in the order they are stored, version 6101.

// What a filter does with a matching exception.
struct TExceptionFilter {
    bool Active = false;
    std::string ExceptionClass;
    std::string Message; // replaces the exception's message when not empty
    std::uint8_t Reserved = 0;
    std::uint8_t DialogChoice = 0; // 0 none, 1 configured type, 2 message box, 3 plain, 4 detailed
    std::uint8_t Handler = 0;      // 1 default handling, 2 own report
    std::uint8_t Action = 0;       // 0 none, 1 terminate, 2 restart
};
using TExceptionFilters = std::vector<TExceptionFilter>;

// Operations after a report.
enum : std::uint8_t { kOperationNone = 0, kOperationTerminate = 1, kOperationRestart = 2 };

// How a report is presented.
enum : std::uint8_t {
    kDialogNone = 0,
    kDialogMessageBox = 1,
    kDialogPlain = 2,
    kDialogDetailed = 3
};

// Log option bits.
enum : std::uint8_t {
    kLogAskReproduce = 1 << 1,
    kLogClearOnNewVersion = 1 << 2,
    kLogComputerName = 1 << 3,
    kLogModulesProcesses = 1 << 4,
    kLogAssemblerCpu = 1 << 5
};

// Dialog option bits (low byte and high byte of the stored word).
enum : std::uint16_t {
    kDialogSendTicked = 1 << 0,
    kDialogScreenshotTicked = 1 << 1,
    kDialogCopyBoxShown = 1 << 2,
    kDialogDetailsShown = 1 << 3,
    kDialogSendAllowed = 1 << 7,
    kDialogHelpShown = 1 << 9
};

// Behaviour option bits.
enum : std::uint16_t {
    kBehaviourSuspendFramework = 1 << 0,
    kBehaviourSuspendFrameworkButMain = 1 << 1,
    kBehaviourSuspendPlatform = 1 << 2,
    kBehaviourMainOptionsWin = 1 << 3,
    kBehaviourSafeCall = 1 << 6,
    kBehaviourDefaultHandlerToo = 1 << 7
};

// The most reports the automatic crash operation looks back on.
constexpr std::uint32_t kMaxAutoCrashCount = 10;

constexpr std::size_t kReportTextCount = TReportTexts::Count;
constexpr std::size_t kBugTrackerTextCount = 7;

struct TReportOptions {
    // Whose options these are; not stored in the block.
    std::string ModuleName;
    std::uint64_t ModuleHandle = 0;

    bool LogFlag = false;
    bool FiltersActive = true;
    std::uint8_t LogOptions = kLogModulesProcesses | kLogAssemblerCpu;
    bool AppendLogs = false;
    bool SaveLogFile = true;
    std::uint8_t FirstTab = 0;
    bool FreezeActive = false;
    std::uint32_t FreezeTimeout = 60;
    std::string MailFrom = "user@example.com";
    std::string MailHost;
    std::uint16_t MailPort = 25;
    std::string MailUser;
    std::string MailPassword;
    std::uint8_t TerminateOperation = kOperationRestart;
    std::uint32_t ReportsKept = 32;
    std::uint32_t ReportsBeforeTerminate = 3;
    std::string MailRecipients;
    std::string MailSubject;
    std::uint8_t MailSendMode = 0;
    std::array<std::uint8_t, 6> ShowOptions{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::string OutputPath;
    std::uint8_t WebSendMode = 0;
    std::string WebAddress;
    std::string WebUser;
    std::string WebPassword;
    std::uint32_t WebPort = 0;
    std::string AttachedFiles;
    std::uint16_t CommonSendOptions = 0x51;
    std::uint16_t DialogOptions = 0x018F;
    std::uint32_t AutoCloseSeconds = 0;
    std::string SupportPage;
    std::string HtmlLayout = DefaultHtmlLayout();
    std::uint8_t CallStackOptions = 0x0F;
    std::uint16_t BehaviourOptions = 0x58; // main options win, safe-call exceptions reported
    std::uint8_t LeakOptions = 0x1E;
    std::uint8_t AutoCrashOperation = kOperationRestart;
    std::uint32_t AutoCrashCount = 10;
    std::uint32_t AutoCrashMinutes = 1;
    std::uint8_t CompiledFileOptions = 1;
    std::uint8_t DialogType = kDialogPlain;
    std::string ProxyAddress;
    std::string ProxyUser;
    std::string ProxyPassword;
    std::uint16_t ProxyPort = 8080;
    std::array<std::string, kBugTrackerTextCount> BugTrackerTexts;
    TExceptionFilters Filters;
    std::string MailMessage;
    // The texts table as stored; empty means the built-in texts.
    std::vector<std::string> Texts;
    std::string TextsName = "English";

    // Run-time state, not stored.
    std::uint32_t UpdateCount = 0;
    bool Active = true;

    static std::string DefaultHtmlLayout();
};

// The stored form of the options, texts scrambled. Reading fails with
// std::runtime_error on a short or malformed stream, and brings the automatic
// crash count into 1…kMaxAutoCrashCount.
std::vector<std::uint8_t> WriteReportOptions(const TReportOptions& options);
TReportOptions ReadReportOptions(const std::vector<std::uint8_t>& stream);

// The texts table in force: the built-in texts, with the stored ones over them.
TReportTexts TextsOf(const TReportOptions& options);
// The built-in texts in table order, as the block stores them.
std::vector<std::string> DefaultTexts();
