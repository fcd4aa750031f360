#include "app/SyncBridge.h"

#include "net/IdSync.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

const QEvent::Type RunSyncCallsEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

} // namespace

TSyncBridge::TSyncBridge() {
    SetMainThread();
    SetWakeMainThread([this] { QCoreApplication::postEvent(this, new QEvent(RunSyncCallsEvent)); });
}

TSyncBridge::~TSyncBridge() {
    SetWakeMainThread(nullptr);
    QCoreApplication::removePostedEvents(this, RunSyncCallsEvent);
}

bool TSyncBridge::event(QEvent* event) {
    if (event->type() != RunSyncCallsEvent)
        return QObject::event(event);
    CheckSynchronize();
    return true;
}
