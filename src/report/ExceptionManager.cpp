#include "report/ExceptionManager.h"

#include "callstack/CallStack.h"
#include "report/ReportStartup.h"

#include "platform/Exception.h"
#include "platform/UnknownException.h"

#include <condition_variable>
#include <cxxabi.h>
#include <optional>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <thread>
#include <typeinfo>
#include <unistd.h>

namespace {

// Set on a thread while it makes a report, and while it shows one.
thread_local bool reportingInProgress = false;
thread_local bool presentingReport = false;

// The wait of the faulting thread, and the time it polls at.
constexpr auto kPollInterval = std::chrono::milliseconds(10);

// The report runs on a worker of its own while the faulting thread waits.
// The worker runs at the normal policy and nice 0, whatever the faulting
// thread runs at: a receiving thread's real-time policy would otherwise pass
// to the worker and to a program it restarts. Its constructor throws when
// no thread can be started. `lock_` guards the result and the finished flag.
class TExceptionThread {
public:
    explicit TExceptionThread(std::function<bool()> report)
        : thread_([this, report = std::move(report)] {
              const sched_param normal{};
              pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
              setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 0);
              const bool result = report();
              std::lock_guard guard(lock_);
              result_ = result;
              finished_ = true;
              finishedChanged_.notify_all();
          }) {}
    ~TExceptionThread() { thread_.join(); }
    TExceptionThread(const TExceptionThread&) = delete;
    TExceptionThread& operator=(const TExceptionThread&) = delete;

    // Waits up to `limit`; true once the report has finished.
    bool WaitFor(std::chrono::milliseconds limit) {
        std::unique_lock guard(lock_);
        return finishedChanged_.wait_for(guard, limit, [this] { return finished_; });
    }
    bool Result() {
        std::lock_guard guard(lock_);
        return result_;
    }

private:
    std::mutex lock_;
    std::condition_variable finishedChanged_;
    bool finished_ = false;
    bool result_ = true;
    std::thread thread_;
};

// What a matching filter changes.
struct TFilterChoice {
    const TExceptionFilter* Filter = nullptr;
    std::uint8_t DialogType = kDialogPlain;
};

TFilterChoice ChooseFilter(const TReportOptions& options, const std::string& className) {
    TFilterChoice choice{nullptr, options.DialogType};
    if (!options.FiltersActive)
        return choice;
    for (const TExceptionFilter& filter : options.Filters) {
        if (!filter.Active || filter.ExceptionClass != className)
            continue;
        choice.Filter = &filter;
        // 0 none, 1 the configured type, 2 message box, 3 plain, 4 detailed.
        if (filter.DialogChoice != 1)
            choice.DialogType = filter.DialogChoice == 0 ? kDialogNone : filter.DialogChoice - 1;
        break;
    }
    return choice;
}

std::unique_ptr<TExceptionManager>& Installed() {
    static std::unique_ptr<TExceptionManager> manager;
    return manager;
}

} // namespace

TReportingScope::TReportingScope() : outer_(reportingInProgress) {
    reportingInProgress = true;
}

TReportingScope::~TReportingScope() {
    reportingInProgress = outer_;
}

TPresentingScope::TPresentingScope() : outer_(presentingReport) {
    presentingReport = true;
}

TPresentingScope::~TPresentingScope() {
    presentingReport = outer_;
}

TExceptionManager::TExceptionManager(TReportOptions options, TReportEnvironment environment)
    : options_(std::move(options)), environment_(std::move(environment)) {}

bool TExceptionManager::HandleException(const TExceptionRecord& record) {
    // The callers are top-level handlers, most of them inside a catch
    // block: a failure of the reporter itself must not leave here.
    try {
        return Handle(record);
    } catch (...) {
        return false;
    }
}

bool TExceptionManager::Handle(const TExceptionRecord& record) {
    if (record.Object == nullptr || dynamic_cast<const EAbort*>(record.Object) != nullptr)
        return true;
    // An exception raised while this thread makes its own report is
    // swallowed here, before the lock: another thread's report may hold it
    // and wait for this one to show its dialog.
    if (reportingInProgress)
        return false;
    // This thread shows another thread's report, whose maker holds the lock
    // until the dialog ends: it reports this one after its own.
    if (presentingReport) {
        Defer(record);
        return false;
    }
    // Waiting for another thread's report, keep running what it asks of
    // this thread, or the two would wait for each other.
    while (!lock_.try_lock()) {
        PumpWhileWaiting();
        std::this_thread::sleep_for(kPollInterval);
    }
    std::lock_guard guard(lock_, std::adopt_lock);
    const bool result = Dispatch(record);
    DispatchDeferred();
    return result;
}

bool TExceptionManager::Dispatch(const TExceptionRecord& record) {
    TReportingScope reporting;
    if (!options_.Active)
        return true;
    return RunReport(record);
}

bool TExceptionManager::RunReport(const TExceptionRecord& record) {
    std::optional<TExceptionThread> worker;
    try {
        worker.emplace([this, &record] { return Report(record); });
    } catch (const std::exception&) {
        // No thread to spare (std::system_error, or std::bad_alloc for its
        // state, when memory or threads run out): this thread makes the
        // report itself.
        return Report(record);
    }
    while (!worker->WaitFor(kPollInterval))
        PumpWhileReporting();
    return worker->Result();
}

void TExceptionManager::Defer(TExceptionRecord record) {
    // The exception object dies with the caller's catch block; what the
    // report reads of it is already in the input.
    record.Object = nullptr;
    std::lock_guard guard(deferredLock_);
    deferred_.push_back(std::move(record));
}

void TExceptionManager::DispatchDeferred() {
    for (;;) {
        std::optional<TExceptionRecord> next;
        {
            std::lock_guard guard(deferredLock_);
            if (deferred_.empty())
                return;
            next = std::move(deferred_.front());
            deferred_.pop_front();
        }
        Dispatch(*next);
    }
}

void TExceptionManager::PumpWhileReporting() {
    // A call run here that fails was raised on the reporting thread: it is
    // swallowed like any other, and the wait for the worker goes on.
    try {
        if (environment_.Pump)
            environment_.Pump();
    } catch (...) {
    }
}

void TExceptionManager::PumpWhileWaiting() {
    // A call run here that fails is a failure of this thread while another
    // thread's report holds the lock: it is reported after that one.
    try {
        if (environment_.Pump)
            environment_.Pump();
    } catch (const EAbort&) {
    } catch (const std::exception& failure) {
        Defer(ExceptionRecordOf(failure, kDisplayApplication));
    } catch (...) {
    }
}

TPresentationResult TExceptionManager::Present(TPresentation presentation) {
    try {
        const TPresentationResult shown = environment_.Present(presentation);
        if (!shown.NotShown)
            return shown;
    } catch (...) {
    }
    notes_.push_back("Cannot show the DialogBox window.");
    if (presentation.DialogType == kDialogMessageBox)
        return {};
    presentation.DialogType = kDialogMessageBox;
    try {
        return environment_.Present(presentation);
    } catch (...) {
        return {};
    }
}

bool TExceptionManager::Report(const TExceptionRecord& record) {
    int stage = 1;
    try {
        const auto now = environment_.Now();
        stage = 2;
        const TFilterChoice filter = ChooseFilter(options_, record.Input.ClassName);
        if (filter.Filter != nullptr && filter.Filter->Handler == 1)
            return true; // the filter leaves this class to the default handling
        const std::string message = filter.Filter != nullptr && !filter.Filter->Message.empty()
                                        ? filter.Filter->Message
                                        : record.Input.Message;
        stage = 3;
        const TCrashReport report = environment_.Gather(record, options_);
        stage = 5;
        const std::string text = environment_.Text(report, options_);
        stage = 6;
        crashTimes_.push_back(now);
        while (crashTimes_.size() > options_.AutoCrashCount)
            crashTimes_.pop_front();
        stage = 7;
        ++reportCount_;
        lastMessage_ = message;
        lastReport_ = text;
        // Saved before it is shown: a report only on screen is lost to a
        // fault that follows while the dialog is up.
        stage = 10;
        std::string unsaved;
        if (options_.SaveLogFile) {
            try {
                environment_.SaveLog(text, options_);
            } catch (const std::exception& failure) {
                unsaved = failure.what();
                notes_.push_back("Log: " + unsaved);
            }
        }
        stage = 9;
        TPresentationResult shown;
        if (filter.DialogType != kDialogNone) {
            TPresentation presentation;
            presentation.DialogType = filter.DialogType;
            presentation.Message = message;
            presentation.NotSaved = unsaved;
            presentation.ShowOperationBox = options_.TerminateOperation != kOperationNone &&
                                            reportCount_ > options_.ReportsBeforeTerminate;
            presentation.Operation = options_.TerminateOperation;
            presentation.Report = &report;
            presentation.Text = text;
            presentation.Options = &options_;
            presentation.DisplayKind = record.DisplayKind;
            shown = Present(std::move(presentation));
        }
        stage = 11;
        if (shown.CopyToClipboard && environment_.CopyToClipboard)
            environment_.CopyToClipboard(text);
        stage = 13;
        std::uint8_t operation = kOperationNone;
        if (shown.OperationRequested)
            operation = options_.TerminateOperation;
        const auto window = std::chrono::minutes(options_.AutoCrashMinutes);
        if (options_.AutoCrashOperation != kOperationNone &&
            crashTimes_.size() == options_.AutoCrashCount &&
            crashTimes_.back() - crashTimes_.front() <= window)
            operation = options_.AutoCrashOperation;
        if (filter.Filter != nullptr && filter.Filter->Action != kOperationNone)
            operation = filter.Filter->Action;
        stage = 14;
        if (operation != kOperationNone)
            environment_.EndProcess(operation);
        return (options_.BehaviourOptions & kBehaviourDefaultHandlerToo) != 0;
    } catch (...) {
        // A report that fails ends quietly; the stage tells how far it got.
        notes_.push_back("Report ended at stage " + std::to_string(stage));
        return false;
    }
}

void InstallExceptionManager(std::unique_ptr<TExceptionManager> manager) {
    Installed() = std::move(manager);
}

TExceptionManager* InstalledExceptionManager() {
    return Installed().get();
}

bool ExceptionManager(const TExceptionRecord& record) {
    TExceptionManager* manager = InstalledExceptionManager();
    return manager == nullptr || manager->HandleException(record);
}

std::string ShownMessage(const TPresentation& presentation) {
    if (presentation.NotSaved.empty())
        return presentation.Message;
    return presentation.Message + "\r\n\r\nThe report was not saved: " + presentation.NotSaved;
}

TExceptionRecord ExceptionRecordOf(const std::exception& failure, int displayKind) {
    TExceptionRecord record;
    record.Object = &failure;
    int status = 0;
    char* name = abi::__cxa_demangle(typeid(failure).name(), nullptr, nullptr, &status);
    record.Input.ClassName = status == 0 ? name : typeid(failure).name();
    std::free(name);
    // An object that is no exception has no class the report could name;
    // its throw site is found by the object that was thrown.
    const auto* unknown = dynamic_cast<const EUnknownException*>(&failure);
    if (unknown != nullptr)
        record.Input.ClassName.clear();
    record.Input.Message = failure.what();
    record.DisplayKind = displayKind;
    // The throw site is known only here, in the thread that threw.
    const TThrowSite* site =
        FindThrowSite(unknown ? unknown->Thrown() : dynamic_cast<const void*>(&failure));
    if (site) {
        record.Input.Address = site->Address;
        record.Input.Context = site->Context;
        record.Input.Stack = {site->Context.RSP, {site->Stack.begin(), site->Stack.end()}};
    }
    record.Input.CallStack = GatherCallStack(gettid(), site, ProgramDebugNames());
    return record;
}
