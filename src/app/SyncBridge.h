#pragma once

#include <QObject>

// Wakes the Qt UI thread for the receiving threads' synchronised calls: each
// wake-up posts one event to the bridge, which lives in the UI thread and
// runs the pending calls when the event loop delivers it (the role of the
// null window message).
class TSyncBridge : public QObject {
public:
    // Installs the wake-up; the bridge must be created in the UI thread.
    TSyncBridge();
    // Removes the wake-up again.
    ~TSyncBridge() override;

protected:
    bool event(QEvent* event) override;
};
