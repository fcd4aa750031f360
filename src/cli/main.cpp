// device-finder-cli: the window's adapter list and search from a shell, and a
// watch that keeps searching, for scripts and machines without a desktop.
// Replies and events go to standard output, so they can be piped on; the
// countdown, the summary and errors go to standard error.
#include "adapters/LGetAdapterInfo.h"
#include "cli/AdapterReport.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleReport.h"
#include "cli/SearchCommand.h"
#include "cli/TerminalText.h"
#include "cli/WatchCommand.h"
#include "platform/Exception.h"
#include "report/fatal/FatalFaultHandler.h"
#include "report/fatal/ReporterProcess.h"

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void Write(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

int UsageFailure(const UsageError& error) {
    Write(stderr, "device-finder-cli: " + VisibleText(error.what()) + "\n" + kCliUsage);
    return kExitUsage;
}

void RunCommand(const CliOptions& options) {
    switch (options.command) {
    case CliCommand::Help:
        Write(stdout, std::string(kCliUsage) + "\n" + kCliHelp);
        break;
    case CliCommand::Version:
        Write(stdout, "device-finder-cli " DF_VERSION "\n");
        break;
    case CliCommand::Adapters: {
        const std::vector<TAdapterInfo> adapters = EnumerateAdapters();
        const std::vector<SearchedAdapter> chosen = ChosenAdapters(adapters, options);
        Write(stdout, AdapterReport(adapters, chosen.size() == 1 ? chosen[0].number : 0));
        break;
    }
    case CliCommand::Search: {
        std::FILE* terminal = isatty(fileno(stderr)) ? stderr : nullptr;
        Write(stderr, SummaryText(RunSearch(options, stdout, terminal)) + "\n");
        break;
    }
    case CliCommand::Watch:
        Write(stderr, WatchSummaryText(RunWatch(options, stdout)) + "\n");
        break;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (IsReporterProcess(argc, argv))
        return RunReporterProcess(ConsoleFrontEnd(stderr));
    StartConsoleReporting();
    InstallFatalFaultHandler();
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    CliOptions options;
    try {
        options = ParseCliOptions(args);
    } catch (const UsageError& error) {
        return UsageFailure(error);
    }
    try {
        RunCommand(options);
    } catch (const UsageError& error) {
        // A choice only the host's adapters can judge: an adapter it lacks.
        return UsageFailure(error);
    } catch (const Exception& error) {
        // The system's own failures carry a message for the user: GBK, with
        // CR LF line breaks.
        Write(stderr, "device-finder-cli: " + VisibleGbkLines(error.what()) + "\n");
        return kExitFailure;
    } catch (const std::exception& error) {
        return ReportUnexpectedException(error, stderr);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        Write(stderr, "device-finder-cli: cannot write to standard output\n");
        return kExitFailure;
    }
    return ReceivingThreadFailed() ? kExitFailure : 0;
}
