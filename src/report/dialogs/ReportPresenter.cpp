#include "report/dialogs/ReportPresenter.h"

#include "net/IdSync.h"
#include "report/dialogs/ErrorDialog.h"
#include "report/dialogs/ReportDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <cstdio>

namespace {

void ShowMessageBox(const QString& message, const TReportTexts& texts) {
    QMessageBox box(QMessageBox::Critical, ReportQString(texts[3]), message, QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

// Tells whether a dialog came on screen at all while it ran.
class TShownWatch : public QObject {
public:
    explicit TShownWatch(QWidget& dialog) { dialog.installEventFilter(this); }
    bool Shown() const { return shown_; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        shown_ = shown_ || event->type() == QEvent::Show;
        return false;
    }

private:
    bool shown_ = false;
};

} // namespace

TPresentationResult ShowReportDialogs(const TPresentation& presentation,
                                      const QString& settingsFile) {
    TPresentationResult result;
    const TReportTexts texts = TextsOf(*presentation.Options);
    const QString message = ReportQString(ShownMessage(presentation));
    if (QApplication::instance() == nullptr) {
        // No window system to show a dialog on: the message goes to the
        // error output instead.
        std::fprintf(stderr, "%s: %s\n", texts[3].c_str(), ShownMessage(presentation).c_str());
        return result;
    }
    // An exception raised by a handler while a dialog is up waits for this
    // report to end.
    TPresentingScope presenting;
    QPointer<QWidget> previous = QApplication::activeWindow();
    // The window system adds the application's name to every caption; the
    // report's caption stands alone.
    const QString displayName = QGuiApplication::applicationDisplayName();
    const bool named = displayName != QCoreApplication::applicationName();
    if (named)
        QGuiApplication::setApplicationDisplayName(QString());
    std::uint8_t type = presentation.DialogType;
    if (type != kDialogMessageBox && type != kDialogNone)
        QApplication::beep();
    bool fromLink = false;
    const bool showDetails = (presentation.Options->DialogOptions & kDialogDetailsShown) != 0;
    while (type != kDialogNone) {
        const std::uint8_t shown = type;
        type = kDialogNone;
        if (shown == kDialogMessageBox) {
            ShowMessageBox(message, texts);
        } else if (shown == kDialogPlain) {
            TErrorDialog dialog(message, presentation.ShowOperationBox, presentation.Operation,
                                texts, showDetails);
            const TShownWatch watch(dialog);
            dialog.exec();
            result.NotShown = !watch.Shown();
            result.OperationRequested = dialog.OperationRequested();
            if (dialog.DetailsRequested()) {
                type = kDialogDetailed;
                fromLink = true;
            }
        } else {
            TReportDialog::TSetup setup;
            setup.Message = message;
            setup.Report = presentation.Report;
            setup.Texts = &texts;
            setup.LogOptions = presentation.Options->LogOptions;
            setup.FirstTab = presentation.Options->FirstTab;
            setup.ShowOperationButton = presentation.ShowOperationBox;
            setup.Operation = presentation.Operation;
            setup.FromLink = fromLink;
            setup.ShowDetails = showDetails;
            setup.ShowCopyBox = (presentation.Options->DialogOptions & kDialogCopyBoxShown) != 0;
            setup.SettingsFile = settingsFile;
            TReportDialog dialog(setup);
            const TShownWatch watch(dialog);
            dialog.exec();
            result.NotShown = !watch.Shown();
            result.OperationRequested = result.OperationRequested || dialog.OperationRequested();
            result.CopyToClipboard = dialog.CopyToClipboard();
        }
    }
    if (named)
        QGuiApplication::setApplicationDisplayName(displayName);
    if (previous)
        previous->activateWindow();
    return result;
}

TPresentationResult PresentReport(const TPresentation& presentation) {
    TPresentationResult result;
    Synchronize([&] { result = ShowReportDialogs(presentation, ReportSettingsFile()); });
    return result;
}

void CopyReportToClipboard(const std::string& text) {
    Synchronize([&] { QApplication::clipboard()->setText(ReportQString(text)); });
}
