#pragma once

#include "app/SyncBridge.h"
#include "report/ConfigBlock.h"
#include "report/ExceptionManager.h"

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>
#include <vector>

// The application object. Every exception that leaves an event handler comes
// to HandleException, and the event loop goes on. It also runs the receiving
// threads' synchronised calls (through the bridge) and lets the search wait
// process events.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    // The title shown on the task bar and on message boxes.
    QString Title() const { return title_; }
    void SetTitle(const QString& title);

    // Reports an exception that left a handler. Crash reporting gets it
    // first; when it leaves the exception to this handler, the silent abort
    // is ignored, the installed handler gets it when set, and otherwise a
    // message box shows the message.
    void HandleException(const std::exception& failure);
    using ExceptionHandler = std::function<void(const std::exception&)>;
    void SetOnException(ExceptionHandler handler) { onException_ = std::move(handler); }

    bool notify(QObject* receiver, QEvent* event) override;

    // The text a message box shows for an exception: its message, with a
    // full stop added when the last character sorts after ".".
    static QString MessageText(const std::exception& failure);

    // The routines crash reporting hooks, where they are in this build.
    static std::vector<TKnownRoutine> HookedRoutines();

private:
    // Processes events, blocking up to `limit` for the next one.
    static void ProcessMessages(std::chrono::milliseconds limit);
    void ShowException(const std::exception& failure);

    // What crash reporting needs to know about an exception caught here.
    static TExceptionRecord RecordOf(const std::exception& failure);

    QString title_;
    // Set while HandleException's own code runs: ShowException then shows
    // its box without asking crash reporting again.
    bool handling_ = false;
    ExceptionHandler onException_;
    TSyncBridge syncBridge_;
};
