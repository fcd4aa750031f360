#include "report/ReportStartup.h"

#include "platform/ProgramFile.h"
#include "report/CrashLog.h"
#include "report/Restart.h"
#include "report/text/ReportText.h"

#include <chrono>
#include <unistd.h>

namespace {

std::string HostName() {
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

std::string ParametersOf(const std::vector<std::string>& arguments) {
    std::string text;
    for (std::size_t i = 1; i < arguments.size(); ++i)
        text += (i > 1 ? " " : "") + arguments[i];
    return text;
}

// The debug-data block of the configuration, kept from start-up on.
std::vector<std::uint8_t>& DebugData() {
    static std::vector<std::uint8_t> data;
    return data;
}

std::uint64_t& BuildStamp() {
    static std::uint64_t stamp = 0;
    return stamp;
}

std::optional<TDebugData>& DebugNames() {
    static std::optional<TDebugData> names;
    return names;
}

} // namespace

const std::vector<std::uint8_t>& ProgramDebugData() {
    return DebugData();
}

std::uint64_t ProgramBuildStamp() {
    return BuildStamp();
}

const TDebugData* ProgramDebugNames() {
    return DebugNames() ? &*DebugNames() : nullptr;
}

TReportEnvironment ProgramEnvironment(const TReportFrontEnd& frontEnd) {
    TReportEnvironment environment;
    const auto started = std::chrono::system_clock::now();
    environment.Gather = [frontEnd, started](const TExceptionRecord& record,
                                             const TReportOptions& options) {
        TReportInput input = record.Input;
        input.StartTime = started;
        input.Parameters = ParametersOf(StartupInfo().Arguments);
        input.ProgramDescription = frontEnd.Description;
        input.ProgramVersion = frontEnd.Version;
        input.BuildStamp = ProgramBuildStamp();
        input.DisplayMode = frontEnd.DisplayMode;
        input.DisplayDpi = frontEnd.DisplayDpi;
        return GatherReport(input, TextsOf(options), options.LogOptions);
    };
    environment.Text = [](const TCrashReport& report, const TReportOptions& options) {
        return ReportText(report, TextsOf(options), options.LogOptions);
    };
    environment.SaveLog = [](const std::string& text, const TReportOptions& options) {
        const std::string program = ProgramFile();
        AppendToCrashLog(CrashLogPlace(program, HostName(), UserDataHome(), options), text,
                         options.ReportsKept);
    };
    environment.EndProcess = [](std::uint8_t operation) { EndProcess(operation); };
    environment.Present = frontEnd.Present;
    environment.Pump = frontEnd.Pump;
    if (frontEnd.CopyToClipboard)
        environment.CopyToClipboard = [copy = frontEnd.CopyToClipboard](const std::string& text) {
            copy(text);
            HandOverClipboard(text);
        };
    return environment;
}

bool StartCrashReporting(const TReportFrontEnd& frontEnd) {
    RecordStartupInfo();
    auto block = LoadProgramConfigBlock(frontEnd.Routines);
    TReportOptions options = block ? std::move(block->Options) : TReportOptions();
    if (block) {
        BuildStamp() = block->TimeStamp;
        DebugData() = std::move(block->DebugData);
        DebugNames() = TDebugData::FromBytes(std::string_view(
            reinterpret_cast<const char*>(DebugData().data()), DebugData().size()));
    }
    options.ModuleName = StartupInfo().Arguments.empty() ? "" : StartupInfo().Arguments[0];
    options.ModuleHandle = ProgramBase();
    InstallExceptionManager(
        std::make_unique<TExceptionManager>(std::move(options), ProgramEnvironment(frontEnd)));
    return block.has_value();
}

bool RunLibraryStep(const std::string& stage, const std::function<void()>& step,
                    const TStageFailureBox& box) {
    try {
        step();
        return true;
    } catch (...) {
        box("Error", "Error in " + stage + ".");
        return false;
    }
}
