#pragma once

#include "report/text/ReportTexts.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

// The plain error dialog: the apology band, the exception's message, the
// restart (or terminate) box from the fourth report of a run on, and the
// "click here." link that asks for the detailed dialog instead.
class TErrorDialog : public QDialog {
public:
    static constexpr int Width = 419;

    // `operation` is the terminate-button operation (2 restart, 1 terminate);
    // the box shows only when `showOperationBox`, the link only when
    // `showDetailsLink`.
    TErrorDialog(const QString& message, bool showOperationBox, std::uint8_t operation,
                 const TReportTexts& texts, bool showDetailsLink = true, QWidget* parent = nullptr);

    // After exec(): OK or the close box with the box ticked.
    bool OperationRequested() const { return operationRequested_; }
    // After exec(): the link was clicked, the detailed dialog follows.
    bool DetailsRequested() const { return detailsRequested_; }

    QCheckBox* OperationBox() const { return operationBox_; }
    QLabel* Link() const { return link_; }
    QPushButton* OkButton() const { return ok_; }

    // Escape: ends the dialog without the operation.
    void reject() override { Finish(false); }

protected:
    // The close box ends the dialog as OK does.
    void closeEvent(QCloseEvent* event) override;

private:
    void Finish(bool ok);

    bool finished_ = false;
    QCheckBox* operationBox_ = nullptr;
    QLabel* link_ = nullptr;
    QPushButton* ok_ = nullptr;
    bool operationRequested_ = false;
    bool detailsRequested_ = false;
};

// Report texts are GBK; the widgets take Unicode.
QString ReportQString(const std::string& gbk);

// Centres `dialog` on the monitor of the active window (or the primary one).
void CentreOnActiveMonitor(QWidget* dialog);
