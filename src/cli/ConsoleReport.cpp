#include "cli/ConsoleReport.h"

#include "cli/Countdown.h"
#include "cli/TerminalText.h"
#include "net/IdThread.h"

#include <atomic>
#include <string>
#include <unistd.h>

namespace {

// Set by a receiving thread as it ends on an exception, read by the main
// thread before it exits.
std::atomic<bool> threadFailed{false};

void Write(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

} // namespace

TReportFrontEnd ConsoleFrontEnd(std::FILE* err) {
    TReportFrontEnd frontEnd;
    frontEnd.Routines = {{kHookDoException, TIdThread::DoExceptionAddress()}};
    frontEnd.Description = "device-finder-cli";
    frontEnd.Version = DF_VERSION ".0";
    frontEnd.Present = [err](const TPresentation& presentation) {
        StopCountdowns();
        // The reporter of a fatal fault is a process of its own: the
        // crashed one may have left its countdown on the terminal's line.
        if (isatty(fileno(err)))
            Write(err, "\r\x1b[K");
        Write(err, "device-finder-cli: " + VisibleGbkLines(ShownMessage(presentation)) + "\n" +
                       VisibleGbkLines(presentation.Text));
        return TPresentationResult{};
    };
    return frontEnd;
}

void StartConsoleReporting() {
    StartCrashReporting(ConsoleFrontEnd(stderr));
    TIdThread::SetExceptionHook(
        [](TIdThread&, const std::exception& failure) { return ReportThreadFailure(failure); });
}

bool ReportThreadFailure(const std::exception& failure) {
    threadFailed = true;
    return ExceptionManager(ExceptionRecordOf(failure, kDisplayThread));
}

bool ReceivingThreadFailed() {
    return threadFailed;
}

int ReportUnexpectedException(const std::exception& failure, std::FILE* err) {
    if (ExceptionManager(ExceptionRecordOf(failure, kDisplayApplication)))
        Write(err, "device-finder-cli: " + VisibleGbkLines(failure.what()) + "\n");
    return 1;
}
