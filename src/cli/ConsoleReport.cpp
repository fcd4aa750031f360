#include "cli/ConsoleReport.h"

#include "cli/Countdown.h"
#include "cli/TerminalText.h"
#include "net/IdThread.h"

#include <string>

namespace {

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
        Write(err, "device-finder-cli: " + VisibleGbkLines(presentation.Message) + "\n" +
                       VisibleGbkLines(presentation.Text));
        return TPresentationResult{};
    };
    return frontEnd;
}

void StartConsoleReporting() {
    StartCrashReporting(ConsoleFrontEnd(stderr));
    TIdThread::SetExceptionHook([](TIdThread&, const std::exception& failure) {
        return ExceptionManager(ExceptionRecordOf(failure, kDisplayThread));
    });
}

int ReportUnexpectedException(const std::exception& failure, std::FILE* err) {
    if (ExceptionManager(ExceptionRecordOf(failure, kDisplayApplication)))
        Write(err, "device-finder-cli: " + VisibleGbkLines(failure.what()) + "\n");
    return 1;
}
