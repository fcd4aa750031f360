// Crash report figures: the time from an exception to the error dialog on
// screen, for an exception that leaves a UI handler and for one that ends a
// receiving thread. The report is the real one (call stacks, modules,
// processes, disassembly); only the log goes to a scratch file and restarts
// are left out. Offscreen unless QT_QPA_PLATFORM says otherwise.
// Run: build/release/bench/crash_dialog_bench [ROUNDS]
#include "app/Application.h"
#include "net/IdException.h"
#include "net/IdSync.h"
#include "net/IdThread.h"
#include "report/CrashLog.h"
#include "report/dialogs/ErrorDialog.h"
#include "report/dialogs/ReportPresenter.h"
#include "report/ReportStartup.h"

#include <QEvent>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point thrownAt;
std::vector<double> shownMs, paintedMs;

// Notes when the dialog is shown and first painted, then presses OK.
class TDialogWatch : public QObject {
protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* dialog = dynamic_cast<TErrorDialog*>(object);
        if (dialog == nullptr)
            return false;
        const double ms =
            std::chrono::duration<double, std::milli>(Clock::now() - thrownAt).count();
        if (event->type() == QEvent::Show) {
            shownMs.push_back(ms);
            painted_ = false;
            // Some platforms paint a dialog only when it is exposed; do not
            // wait for ever.
            QTimer::singleShot(200, dialog->OkButton(), &QPushButton::click);
        } else if (event->type() == QEvent::Paint && !painted_) {
            painted_ = true;
            paintedMs.push_back(ms);
            QTimer::singleShot(0, dialog->OkButton(), &QPushButton::click);
        }
        return false;
    }

private:
    bool painted_ = false;
};

class TFailingThread : public TIdThread {
protected:
    void Run() override {
        thrownAt = Clock::now();
        throw EIdSocketError("Socket Error # 10054\r\nConnection reset by peer.", 10054);
    }
};

void Print(const char* what, std::vector<double> figures) {
    std::sort(figures.begin(), figures.end());
    if (figures.empty())
        return;
    std::printf("%-44s min %7.1f ms   median %7.1f ms   max %7.1f ms   (%zu rounds)\n", what,
                figures.front(), figures[figures.size() / 2], figures.back(), figures.size());
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication application(argc, argv);
    const auto scratch = std::filesystem::temp_directory_path() / "crash_dialog_bench";
    std::filesystem::create_directories(scratch);

    TReportFrontEnd frontEnd;
    frontEnd.Routines = TApplication::HookedRoutines();
    frontEnd.Present = &PresentReport;
    frontEnd.Pump = [] { CheckSynchronize(); };
    StartCrashReporting(frontEnd);
    TReportEnvironment environment = ProgramEnvironment(frontEnd);
    environment.SaveLog = [&](const std::string& text, const TReportOptions& options) {
        AppendToCrashLog({"bench.qxr", scratch.string(), scratch.string()}, text,
                         options.ReportsKept);
    };
    environment.EndProcess = [](std::uint8_t) {};
    TReportOptions options = InstalledExceptionManager()->Options();
    InstallExceptionManager(std::make_unique<TExceptionManager>(options, environment));
    TIdThread::SetExceptionHook([](TIdThread&, const std::exception& failure) {
        return ExceptionManager(ExceptionRecordOf(failure, kDisplayThread));
    });
    TDialogWatch watch;
    application.installEventFilter(&watch);

    for (std::size_t i = 0; i < static_cast<std::size_t>(rounds); ++i) {
        QTimer::singleShot(0, [] {
            thrownAt = Clock::now();
            throw EIdCouldNotBindSocket();
        });
        while (shownMs.size() <= i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    Print("UI handler: exception -> dialog shown", shownMs);
    Print("UI handler: exception -> dialog painted", paintedMs);
    shownMs.clear();
    paintedMs.clear();

    for (int i = 0; i < rounds; ++i) {
        TFailingThread thread;
        thread.Start();
        while (!thread.Finished())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        thread.WaitFor();
    }
    Print("receiving thread: exception -> dialog shown", shownMs);
    Print("receiving thread: exception -> dialog painted", paintedMs);
    std::filesystem::remove_all(scratch);
    return 0;
}
