#include "report/ExceptionManager.h"
#include "report/ReportStartup.h"

#include "net/IdException.h"
#include "net/IdThread.h"
#include "platform/Exception.h"

#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>

namespace {

// A manager whose clock, dialog, log and process ending are recorded here.
struct TDispatchProbe {
    TReportClock::time_point now{};
    std::chrono::seconds step{1}; // the clock moves this much per report
    bool tickBox = false;
    std::vector<TPresentation> shown;
    std::vector<std::string> saved;
    std::size_t savedWhenShown = 0;
    std::vector<std::uint8_t> ended;
    std::function<void()> pump;      // runs on the waiting thread
    std::function<void()> gathering; // runs on the report's worker
    std::function<TPresentationResult(const TPresentation&)> presentAs; // in place of the above
    bool failGather = false, failSave = false;
    std::atomic<int> presenting{0};
    std::atomic<bool> overlapped{false};

    TExceptionManager Manager(TReportOptions options = {}) {
        return TExceptionManager(std::move(options), Environment());
    }

    TReportEnvironment Environment() {
        TReportEnvironment e;
        e.Now = [this] { return now += step; };
        e.Gather = [this](const TExceptionRecord&, const TReportOptions&) {
            if (gathering)
                gathering();
            if (failGather)
                throw std::runtime_error("cannot gather");
            return TCrashReport{};
        };
        e.Text = [](const TCrashReport&, const TReportOptions&) { return std::string("report"); };
        e.Present = [this](const TPresentation& p) {
            if (presentAs)
                return presentAs(p);
            overlapped = overlapped || presenting++ > 0;
            savedWhenShown = saved.size();
            shown.push_back(p);
            std::this_thread::yield();
            --presenting;
            return TPresentationResult{tickBox && p.ShowOperationBox, false};
        };
        e.SaveLog = [this](const std::string& text, const TReportOptions&) {
            if (failSave)
                throw EOSError("disk full", 28);
            saved.push_back(text);
        };
        e.EndProcess = [this](std::uint8_t operation) { ended.push_back(operation); };
        e.Pump = [this] {
            if (pump)
                pump();
        };
        return e;
    }
};

bool Raise(TExceptionManager& manager, const std::exception& failure) {
    return manager.HandleException(ExceptionRecordOf(failure, kDisplayApplication));
}

} // namespace

TEST(ExceptionManager, ReportsShowsSavesAndDealsWithTheException) {
    TDispatchProbe probe;
    auto manager = probe.Manager();
    EXPECT_FALSE(Raise(manager, EOSError("Could not bind", 10048)));
    ASSERT_EQ(probe.shown.size(), 1u);
    EXPECT_EQ(probe.shown[0].Message, "Could not bind");
    EXPECT_EQ(probe.shown[0].DialogType, kDialogPlain);
    EXPECT_FALSE(probe.shown[0].ShowOperationBox);
    EXPECT_EQ(probe.saved, std::vector<std::string>{"report"});
    EXPECT_EQ(probe.savedWhenShown, 1u) << "saved before the dialog, which a fault may end";
    EXPECT_EQ(manager.ReportCount(), 1u);
    EXPECT_EQ(manager.LastMessage(), "Could not bind");
    EXPECT_EQ(manager.LastReport(), "report");
    EXPECT_TRUE(probe.ended.empty());
}

TEST(ExceptionManager, PassesBackWithoutReport) {
    const struct {
        const char* what;
        bool active;
        bool abort;
    } cases[] = {{"silent abort", true, true}, {"reporting switched off", false, false}};
    for (const auto& c : cases) {
        TDispatchProbe probe;
        TReportOptions options;
        options.Active = c.active;
        auto manager = probe.Manager(options);
        const bool result = c.abort ? Raise(manager, EAbort()) : Raise(manager, Exception("x"));
        EXPECT_TRUE(result) << c.what;
        EXPECT_TRUE(probe.shown.empty()) << c.what;
        EXPECT_TRUE(probe.saved.empty()) << c.what;
        EXPECT_EQ(manager.ReportCount(), 0u) << c.what;
    }
    TDispatchProbe probe;
    auto manager = probe.Manager();
    EXPECT_TRUE(manager.HandleException(TExceptionRecord{})) << "not an exception object";
}

TEST(ExceptionManager, SwallowsAnExceptionRaisedDuringAReport) {
    TDispatchProbe probe;
    auto manager = probe.Manager();
    std::atomic<bool> pumped{false};
    std::vector<bool> nested; // touched by the waiting thread only
    probe.gathering = [&] {
        while (!pumped)
            std::this_thread::yield();
    };
    probe.pump = [&] {
        if (nested.empty())
            nested.push_back(Raise(manager, Exception("while reporting")));
        pumped = true;
    };
    EXPECT_FALSE(Raise(manager, Exception("first")));
    ASSERT_EQ(nested.size(), 1u);
    EXPECT_FALSE(nested[0]);
    EXPECT_EQ(manager.ReportCount(), 1u);
    EXPECT_EQ(probe.shown.size(), 1u);
}

TEST(ExceptionManager, FailureOnAThreadShowingAnotherThreadsReportIsReportedAfterIt) {
    TDispatchProbe probe;
    auto manager = probe.Manager();
    std::vector<std::string> shown; // one report at a time
    probe.presentAs = [&](const TPresentation& p) {
        shown.push_back(p.Message);
        const TPresentingScope presenting;
        return TPresentationResult{shown.size() == 1 && Raise(manager, Exception("second")), false};
    };
    EXPECT_FALSE(Raise(manager, Exception("first")));
    EXPECT_EQ(shown, (std::vector<std::string>{"first", "second"}));
}

TEST(ExceptionManager, CallFailingWhileTheReportingThreadPumpsLeavesTheReportWhole) {
    TDispatchProbe probe;
    auto manager = probe.Manager();
    std::atomic<int> pumps = 0;
    probe.pump = [&] { pumps++ == 0 ? throw Exception("queued call") : void(); };
    probe.gathering = [&] { // the worker needs the pumping to go on (its dialog)
        for (int i = 0; i < 500 && pumps < 3; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    EXPECT_NO_THROW(Raise(manager, Exception("first")));
}

TEST(ExceptionManager, DialogThatFailsFallsBackToTheMessageBoxAndTheReportIsSaved) {
    for (const bool throws : {true, false}) { // or never shows
        TDispatchProbe probe;
        std::vector<std::uint8_t> types;
        probe.presentAs = [&](const TPresentation& p) {
            types.push_back(p.DialogType);
            if (throws && types.size() == 1)
                throw std::runtime_error("no window");
            return TPresentationResult{false, false, types.size() == 1};
        };
        auto manager = probe.Manager();
        Raise(manager, Exception("x"));
        EXPECT_EQ(types, (std::vector<std::uint8_t>{kDialogPlain, kDialogMessageBox}));
        EXPECT_EQ(manager.InternalNotes()[0] + " saved " + std::to_string(probe.saved.size()),
                  "Cannot show the DialogBox window. saved 1");
    }
}

TEST(ExceptionManager, WorkerThatCannotStartLeavesTheReportToTheCallingThread) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#endif
    TDispatchProbe probe;
    auto manager = probe.Manager();
    const pid_t child = fork();
    if (child == 0) { // room for the report, none for a thread's stack
        rlim_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlimit limit{pages * 4096 + (4u << 20), pages * 4096 + (4u << 20)};
        setrlimit(RLIMIT_AS, &limit);
        _exit(!Raise(manager, Exception("x")) && probe.saved.size() == 1 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
}

TEST(ExceptionManager, RestartFromTheFourthReportOnWhenTicked) {
    const struct {
        bool tick;
        std::uint8_t operation;
        std::vector<std::uint8_t> ended;
    } cases[] = {{true, kOperationRestart, {kOperationRestart}},
                 {false, kOperationRestart, {}},
                 {true, kOperationTerminate, {kOperationTerminate}},
                 {true, kOperationNone, {}}};
    for (const auto& c : cases) {
        TDispatchProbe probe;
        probe.tickBox = c.tick;
        TReportOptions options;
        options.TerminateOperation = c.operation;
        auto manager = probe.Manager(options);
        for (int i = 0; i < 3; ++i)
            Raise(manager, Exception("again"));
        EXPECT_TRUE(probe.ended.empty());
        Raise(manager, Exception("fourth"));
        EXPECT_EQ(probe.shown[2].ShowOperationBox, false);
        EXPECT_EQ(probe.shown[3].ShowOperationBox, c.operation != kOperationNone);
        EXPECT_EQ(probe.shown[3].Operation, c.operation);
        EXPECT_EQ(probe.ended, c.ended) << int(c.operation) << c.tick;
    }
}

TEST(ExceptionManager, TenReportsWithinAMinuteRestartWithoutTheBox) {
    const struct {
        std::chrono::seconds step;
        int reports;
        std::size_t restarts;
    } cases[] = {{std::chrono::seconds(6), 10, 1}, // 54 s from first to tenth
                 {std::chrono::seconds(6), 9, 0},
                 {std::chrono::seconds(7), 10, 0}, // 63 s
                 {std::chrono::seconds(6), 11, 2}};
    for (const auto& c : cases) {
        TDispatchProbe probe;
        probe.step = c.step;
        auto manager = probe.Manager();
        for (int i = 0; i < c.reports; ++i)
            Raise(manager, Exception("often"));
        EXPECT_EQ(probe.ended.size(), c.restarts) << c.step.count() << " " << c.reports;
        for (std::uint8_t operation : probe.ended)
            EXPECT_EQ(operation, kOperationRestart);
    }
}

TEST(ExceptionManager, FailuresInsideTheReport) {
    TDispatchProbe probe;
    probe.failSave = true;
    auto manager = probe.Manager();
    EXPECT_FALSE(Raise(manager, Exception("x")));
    ASSERT_EQ(probe.shown.size(), 1u) << "a log that cannot be saved still shows the report";
    EXPECT_EQ(ShownMessage(probe.shown[0]), "x\r\n\r\nThe report was not saved: disk full");
    ASSERT_EQ(manager.InternalNotes().size(), 1u);
    EXPECT_EQ(manager.InternalNotes()[0].rfind("Log: ", 0), 0u);

    probe.failGather = true;
    EXPECT_FALSE(Raise(manager, Exception("y"))) << "ends quietly";
    EXPECT_EQ(probe.shown.size(), 1u);
    EXPECT_EQ(manager.ReportCount(), 1u);
}

TEST(ExceptionManager, FiltersChangeDialogMessageAndAction) {
    TDispatchProbe probe;
    TReportOptions options;
    options.Filters = {{true, "EOSError", "replaced", 0, 4, 2, kOperationTerminate},
                       {true, "EListError", "", 0, 1, 1, 0},
                       {false, "Exception", "", 0, 0, 2, 0}};
    auto manager = probe.Manager(options);
    EXPECT_FALSE(Raise(manager, EOSError("x", 1)));
    EXPECT_EQ(probe.shown.back().DialogType, kDialogDetailed);
    EXPECT_EQ(probe.shown.back().Message, "replaced");
    EXPECT_EQ(probe.ended, std::vector<std::uint8_t>{kOperationTerminate});
    EXPECT_TRUE(Raise(manager, EListError(3))) << "left to the default handling";
    EXPECT_FALSE(Raise(manager, Exception("plain"))) << "inactive filter";
    EXPECT_EQ(probe.shown.back().DialogType, kDialogPlain);
}

TEST(ExceptionManager, ThreadsFailingAtOnceAreReportedOneAfterTheOther) {
    TDispatchProbe probe;
    auto manager = probe.Manager();
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            manager.HandleException(ExceptionRecordOf(Exception("thread"), kDisplayThread));
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(manager.ReportCount(), 4u);
    EXPECT_FALSE(probe.overlapped);
}

TEST(ExceptionManager, EntryWithoutManagerKeepsTheCallersHandling) {
    InstallExceptionManager(nullptr);
    EXPECT_TRUE(ExceptionManager(ExceptionRecordOf(Exception("x"), kDisplayApplication)));
}

namespace {

class TFailingThread : public TIdThread {
protected:
    void Run() override { throw EIdException("handler failed"); }
};

} // namespace

TEST(ExceptionManager, FailureEndingAThreadIsReportedAndItsOwnHandlingFollowsTheResult) {
    for (const bool reportSaysGoOn : {false, true}) {
        TDispatchProbe probe;
        TReportOptions options;
        if (reportSaysGoOn)
            options.BehaviourOptions |= kBehaviourDefaultHandlerToo;
        InstallExceptionManager(std::make_unique<TExceptionManager>(options, probe.Environment()));
        TIdThread::SetExceptionHook([](TIdThread&, const std::exception& failure) {
            return ExceptionManager(ExceptionRecordOf(failure, kDisplayThread));
        });
        std::atomic<int> ownHandling = 0;
        {
            TFailingThread thread;
            thread.OnException = [&](TIdThread&, const std::exception&) { ++ownHandling; };
            thread.Start();
            thread.WaitFor();
        }
        TIdThread::SetExceptionHook(nullptr);
        ASSERT_EQ(probe.shown.size(), 1u);
        EXPECT_EQ(probe.shown[0].Message, "handler failed");
        EXPECT_EQ(probe.shown[0].DisplayKind, kDisplayThread);
        EXPECT_EQ(ownHandling, reportSaysGoOn ? 1 : 0);
        InstallExceptionManager(nullptr);
    }
}

TEST(ExceptionManager, LibraryStepFailureIsToldInABoxAndTheProgramGoesOn) {
    std::vector<std::string> boxes;
    const TStageFailureBox box = [&](const std::string& title, const std::string& text) {
        boxes.push_back(title + "|" + text);
    };
    EXPECT_TRUE(RunLibraryStep(
        "SysUtils Initialization", [] {}, box));
    EXPECT_FALSE(RunLibraryStep(
        "Classes Finalization", [] { throw std::runtime_error("x"); }, box));
    EXPECT_EQ(boxes, std::vector<std::string>{"Error|Error in Classes Finalization."});
}
