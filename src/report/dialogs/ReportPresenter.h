#pragma once

#include "report/ExceptionManager.h"

#include <QString>
#include <string>

// Shows reports on the UI thread. The report's worker asks for the dialogs
// through the hand-over of synchronised calls, so they appear whether the UI
// thread is the one waiting for the report (it runs the hand-over while it
// waits), is in its event loop, or is waiting for a receiving thread to end.

// From any thread; returns what the user chose.
TPresentationResult PresentReport(const TPresentation& presentation);

// On the UI thread: the error beep before the first dialog, then the
// configured dialog; the plain dialog's link brings the detailed one. A
// dialog that cannot be shown falls back to the message box.
TPresentationResult ShowReportDialogs(const TPresentation& presentation,
                                      const QString& settingsFile);

// From any thread.
void CopyReportToClipboard(const std::string& text);
