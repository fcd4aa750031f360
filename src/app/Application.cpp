#include "app/Application.h"

#include "app/ActiveControls.h"

#include "discovery/Util.h"
#include "net/IdThread.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/UnknownException.h"
#include "ui/SystemPalette.h"

#include <QMessageBox>
#include <QStyleFactory>
#include <QTimer>
#include <cstring>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    SetProcessMessagesHook(&TApplication::ProcessMessages);
    // The look is ours alone: one style, and every palette role set, so a
    // desktop theme or style has nothing left to change.
    setStyle(QStyleFactory::create("Fusion"));
    setPalette(SystemPalette());
}

TApplication::~TApplication() {
    SetProcessMessagesHook(nullptr);
}

void TApplication::SetTitle(const QString& title) {
    title_ = title;
    setApplicationDisplayName(title);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& failure) {
        HandleException(failure);
        return true;
    } catch (...) {
        HandleException(EUnknownException());
        return true;
    }
}

void TApplication::HandleException(const std::exception& failure) {
    if (!ExceptionManager(RecordOf(failure)))
        return;
    if (dynamic_cast<const EAbort*>(&failure) != nullptr)
        return;
    if (onException_) {
        onException_(failure);
        return;
    }
    handling_ = true;
    ShowException(failure);
    handling_ = false;
}

QString TApplication::MessageText(const std::exception& failure) {
    // Messages are code page 936 text, like every 8-bit text of the system.
    std::string text = failure.what();
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    return QString::fromStdString(GbkToUtf8(text));
}

void TApplication::ShowException(const std::exception& failure) {
    if (!handling_ && !ExceptionManager(RecordOf(failure)))
        return;
    QMessageBox box(QMessageBox::Critical, title_, MessageText(failure), QMessageBox::Ok,
                    activeWindow());
    box.exec();
}

TExceptionRecord TApplication::RecordOf(const std::exception& failure) {
    TExceptionRecord record = ExceptionRecordOf(failure, kDisplayApplication);
    // Only the UI thread may look at the widgets, and this is it.
    DescribeActiveControls(activeWindow(), focusWidget(), record.Input);
    return record;
}

std::vector<TKnownRoutine> TApplication::HookedRoutines() {
    // A pointer to a non-virtual member function starts with the function's
    // address.
    auto address = [](auto routine) {
        std::uintptr_t value = 0;
        std::memcpy(&value, &routine, sizeof value);
        return value;
    };
    return {{kHookHandleException, address(&TApplication::HandleException)},
            {kHookShowException, address(&TApplication::ShowException)},
            {kHookDoException, TIdThread::DoExceptionAddress()}};
}

void TApplication::ProcessMessages(std::chrono::milliseconds limit) {
    // The timer guarantees an event at the limit, so the blocking wait below
    // never outlasts it. A coarse timer may fire 5 % late, which would
    // stretch the search wait by as much.
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    wakeUp.setTimerType(Qt::PreciseTimer);
    wakeUp.start(limit);
    processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}
