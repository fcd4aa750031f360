// Fatal fault figures: the time from a fault to the report saved in the crash
// log, to the error dialog shown and painted, and to the crashed process gone
// (its dialog answered at once), with 3 and with 50 threads.
// Each round is a real fault in a child process: the reporter process is
// started, reads every thread with libdwfl, builds the report, saves it and
// shows the plain dialog (offscreen unless QT_QPA_PLATFORM says otherwise),
// whose OK is pressed once it is painted.
// Run: build/release/bench/fatal_fault_bench [ROUNDS]
#include "app/Application.h"
#include "callstack/ThreadsList.h"
#include "report/dialogs/ErrorDialog.h"
#include "report/dialogs/ReportPresenter.h"
#include "report/fatal/FatalFaultHandler.h"
#include "report/fatal/ReporterProcess.h"

#include <QApplication>
#include <QEvent>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// When the fault happened, handed to the reporter through the environment
// it inherits from the crashed process.
constexpr const char* kFaultTime = "FATAL_BENCH_FAULT_NS";

double MsSinceFault() {
    const char* at = std::getenv(kFaultTime);
    const auto fault = Clock::time_point(std::chrono::nanoseconds(at ? std::stoll(at) : 0));
    return std::chrono::duration<double, std::milli>(Clock::now() - fault).count();
}

// Notes when the dialog is painted first, then presses OK.
class TDialogWatch : public QObject {
public:
    double ShownMs = 0;

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* dialog = dynamic_cast<TErrorDialog*>(object);
        if (dialog != nullptr && event->type() == QEvent::Paint && ShownMs == 0) {
            ShownMs = MsSinceFault();
            QTimer::singleShot(0, dialog->OkButton(), &QPushButton::click);
        }
        return false;
    }
};

int Reporter(int argc, char** argv) {
    QApplication application(argc, argv);
    TDialogWatch watch;
    application.installEventFilter(&watch);
    TReportFrontEnd frontEnd;
    frontEnd.Routines = TApplication::HookedRoutines();
    frontEnd.Description = "fatal_fault_bench";
    frontEnd.Version = "1.0.0.0";
    frontEnd.Present = [&watch](const TPresentation& presentation) {
        const double savedMs = MsSinceFault();
        const TPresentationResult result = ShowReportDialogs(presentation, "/dev/null");
        std::printf("%.1f %.1f %s\n", savedMs, watch.ShownMs, std::getenv(kFaultTime));
        std::fflush(stdout);
        return result;
    };
    return RunReporterProcess(frontEnd);
}

// Starts `threads - 1` registered threads that wait, then faults.
[[noreturn]] void Fault(int threads) {
    TReportFrontEnd frontEnd;
    frontEnd.Routines = TApplication::HookedRoutines();
    StartCrashReporting(frontEnd);
    InstallFatalFaultHandler();
    std::mutex lock;
    std::condition_variable never;
    std::vector<std::thread> waiting;
    for (int i = 1; i < threads; ++i)
        waiting.emplace_back([&lock, &never, creator = TThreadsList::Instance().CurrentCreator()] {
            TThreadRegistration registration("TBenchThread", "", creator);
            std::unique_lock guard(lock);
            never.wait(guard);
        });
    while (TThreadsList::Instance().Snapshot().size() < std::size_t(threads))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto now = Clock::now().time_since_epoch();
    setenv(
        kFaultTime,
        std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()).c_str(),
        1);
    *static_cast<volatile int*>(nullptr) = 1;
    std::abort();
}

// One fault in a child with `threads` threads: the reporter's two figures,
// and when the child was gone.
bool Round(const char* self, int threads, double& saved, double& shown, double& gone) {
    const std::string command = std::string(self) + " fault " + std::to_string(threads);
    std::FILE* child = popen(command.c_str(), "r");
    if (child == nullptr)
        return false;
    long long faultNs = 0;
    const bool read = std::fscanf(child, "%lf %lf %lld", &saved, &shown, &faultNs) == 3;
    const int status = pclose(child);
    const auto fault = Clock::time_point(std::chrono::nanoseconds(faultNs));
    gone = std::chrono::duration<double, std::milli>(Clock::now() - fault).count();
    const bool segv = (WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) ||
                      (WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGSEGV);
    return read && segv;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (IsReporterProcess(argc, argv))
        return Reporter(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "fault")
        Fault(std::atoi(argv[2]));
    setenv("QT_QPA_PLATFORM",
           std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "offscreen", 1);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    for (int threads : {3, 50}) {
        std::vector<double> saved, shown, gone;
        for (int i = 0; i < rounds; ++i) {
            double s = 0, d = 0, g = 0;
            if (!Round(argv[0], threads, s, d, g)) {
                std::fprintf(stderr, "round %d with %d threads failed\n", i + 1, threads);
                return 1;
            }
            saved.push_back(s);
            shown.push_back(d);
            gone.push_back(g);
        }
        std::printf("%2d threads: fault to report saved %7.1f ms, to dialog shown %7.1f ms, "
                    "to process gone %7.1f ms (median of %d)\n",
                    threads, Median(saved), Median(shown), Median(gone), rounds);
    }
    return 0;
}
