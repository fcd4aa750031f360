#pragma once

#include "report/gather/ReportGathering.h"
#include "report/text/ReportData.h"
#include "report/text/ReportOptions.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The entry of crash reporting: every exception that nobody handled comes
// here, from the application's top-level handler (display kind 1) and from a
// receiving thread that a failure ends (display kind 0).

enum : int { kDisplayThread = 0, kDisplayApplication = 1 };

// What the caller knows about the exception: the object, how to show it,
// and what only the faulting thread can tell (class, message, throw site,
// active controls).
struct TExceptionRecord {
    const std::exception* Object = nullptr; // null: not an exception we can read
    int DisplayKind = kDisplayApplication;
    TReportInput Input;
};

using TReportClock = std::chrono::system_clock;

// One report, as the presentation shows it.
struct TPresentation {
    std::uint8_t DialogType = kDialogPlain;
    std::string Message;
    std::string NotSaved;          // why the report could not be saved; empty when it was
    bool ShowOperationBox = false; // from the report after the configured count on
    std::uint8_t Operation = kOperationRestart;
    const TCrashReport* Report = nullptr;
    std::string Text;
    const TReportOptions* Options = nullptr;
    int DisplayKind = kDisplayApplication;
};

// The message as the dialog and the console show it: with a note naming the
// log and the reason when the report could not be saved.
std::string ShownMessage(const TPresentation& presentation);

struct TPresentationResult {
    bool OperationRequested = false; // the restart (or terminate) box was ticked
    bool CopyToClipboard = false;
    bool NotShown = false; // the dialog never came on screen
};

// Everything a report reaches outside itself, so tests can stand in for it.
// Present, SaveLog, CopyToClipboard and EndProcess run on the report's worker
// thread (on the faulting thread itself when no worker can be started); Pump
// on the waiting faulting thread, and a failure it raises stays there.
struct TReportEnvironment {
    std::function<TReportClock::time_point()> Now = [] { return TReportClock::now(); };
    std::function<TCrashReport(const TExceptionRecord&, const TReportOptions&)> Gather;
    std::function<std::string(const TCrashReport&, const TReportOptions&)> Text;
    std::function<TPresentationResult(const TPresentation&)> Present;
    // Throws when it cannot save.
    std::function<void(const std::string& text, const TReportOptions&)> SaveLog;
    std::function<void(const std::string& text)> CopyToClipboard;
    // Restarts (kOperationRestart) or only ends (kOperationTerminate) the
    // program; the real one does not return.
    std::function<void(std::uint8_t operation)> EndProcess;
    // Called every 10 ms while the faulting thread waits: runs what the
    // report needs that thread to run (the UI thread shows the dialogs).
    std::function<void()> Pump;
};

// Marks the calling thread as making a report for the scope's life: an
// exception that reaches the entry on it meanwhile is swallowed.
class TReportingScope {
public:
    TReportingScope();
    ~TReportingScope();
    TReportingScope(const TReportingScope&) = delete;
    TReportingScope& operator=(const TReportingScope&) = delete;

private:
    bool outer_;
};

// Marks the calling thread as showing a report's dialog. The report may be
// another thread's, which holds the report lock until the dialog ends: an
// exception that reaches the entry meanwhile is reported after that report.
class TPresentingScope {
public:
    TPresentingScope();
    ~TPresentingScope();
    TPresentingScope(const TPresentingScope&) = delete;
    TPresentingScope& operator=(const TPresentingScope&) = delete;

private:
    bool outer_;
};

class TExceptionManager {
public:
    TExceptionManager(TReportOptions options, TReportEnvironment environment);

    // True: the caller goes on with its own handling. False: the report has
    // dealt with the exception (or swallowed it). Never throws.
    bool HandleException(const TExceptionRecord& record);

    const TReportOptions& Options() const { return options_; }
    // The state a report leaves; read it only while no report runs.
    std::uint32_t ReportCount() const { return reportCount_; }
    const std::string& LastMessage() const { return lastMessage_; }
    const std::string& LastReport() const { return lastReport_; }
    const std::vector<std::string>& InternalNotes() const { return notes_; }

private:
    bool Handle(const TExceptionRecord& record);
    bool Dispatch(const TExceptionRecord& record);
    bool RunReport(const TExceptionRecord& record);
    bool Report(const TExceptionRecord& record);
    TPresentationResult Present(TPresentation presentation);
    void Defer(TExceptionRecord record);
    void DispatchDeferred();
    void PumpWhileReporting();
    void PumpWhileWaiting();

    // The process-wide lock around each report: two threads that fail at
    // once are reported one after the other. Recursive, because the thread
    // that waits for its report may be asked to run the dialog of it.
    std::recursive_mutex lock_;
    // Written only by the report's worker while it holds the lock above.
    TReportOptions options_;
    TReportEnvironment environment_;
    std::uint32_t reportCount_ = 0;
    std::string lastMessage_;
    std::string lastReport_;
    std::deque<TReportClock::time_point> crashTimes_;
    std::vector<std::string> notes_;
    // Failures that came while another thread's report held the lock, in
    // order; the lock's holder reports them before it lets go.
    std::mutex deferredLock_;
    std::deque<TExceptionRecord> deferred_;
};

// The program's one manager, installed at start-up.
void InstallExceptionManager(std::unique_ptr<TExceptionManager> manager);
TExceptionManager* InstalledExceptionManager();

// The entry the hooks call. Without an installed manager the caller keeps
// its own handling (true).
bool ExceptionManager(const TExceptionRecord& record);
// The record for an exception caught by a hook, on the thread that caught it.
TExceptionRecord ExceptionRecordOf(const std::exception& failure, int displayKind);
