#include "report/dialogs/ErrorDialog.h"

#include "platform/CodePage.h"
#include "report/dialogs/ErrorBand.h"
#include "report/text/ReportOptions.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {

constexpr int kMargin = 12;
constexpr int kGap = 8;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

} // namespace

QString ReportQString(const std::string& gbk) {
    return QString::fromStdString(GbkToUtf8(gbk));
}

void CentreOnActiveMonitor(QWidget* dialog) {
    QWidget* active = QApplication::activeWindow();
    QScreen* screen = active != nullptr ? active->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    QRect frame = dialog->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    dialog->move(frame.topLeft());
}

TErrorDialog::TErrorDialog(const QString& message, bool showOperationBox, std::uint8_t operation,
                           const TReportTexts& texts, bool showDetailsLink, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(ReportQString(texts[3]));
    auto* band = new TErrorBand(ReportQString(texts[26]), this);
    band->move(3, 3);

    const int textWidth = Width - 2 * kMargin;
    auto* messageLabel = new QLabel(message, this);
    messageLabel->setObjectName("message");
    messageLabel->setWordWrap(true);
    messageLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const int messageHeight = messageLabel->heightForWidth(textWidth);
    messageLabel->setGeometry(kMargin, 3 + TErrorBand::Height + kGap + 4, textWidth, messageHeight);
    int y = messageLabel->geometry().bottom() + 1 + kGap;

    if (showOperationBox && operation != kOperationNone) {
        operationBox_ =
            new QCheckBox(ReportQString(texts[operation == kOperationTerminate ? 28 : 27]), this);
        operationBox_->adjustSize();
        operationBox_->move(kMargin, y);
        y += operationBox_->height() + kGap;
    }

    // Plain text, then the link; the link is the only rich part.
    link_ = new QLabel(this);
    link_->setObjectName("detailsLink");
    link_->setTextFormat(Qt::RichText);
    link_->setText(ReportQString(texts[31]).toHtmlEscaped() + " <a href=\"details\">" +
                   ReportQString(texts[32]).toHtmlEscaped() + "</a>");
    link_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link_->setWordWrap(true);
    link_->setGeometry(kMargin, y, textWidth, link_->heightForWidth(textWidth));
    link_->setVisible(showDetailsLink);
    connect(link_, &QLabel::linkActivated, this, [this] {
        detailsRequested_ = true;
        Finish(false);
    });
    if (showDetailsLink)
        y = link_->geometry().bottom() + 1 + kGap;

    ok_ = new QPushButton(ReportQString(texts[17]), this);
    ok_->setGeometry(Width - kMargin - kButtonWidth, y, kButtonWidth, kButtonHeight);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, [this] { Finish(true); });

    setFixedSize(Width, y + kButtonHeight + kMargin);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ok_->setFocus();
    CentreOnActiveMonitor(this);
}

void TErrorDialog::Finish(bool ok) {
    if (finished_)
        return;
    finished_ = true;
    operationRequested_ = ok && operationBox_ != nullptr && operationBox_->isChecked();
    done(ok ? QDialog::Accepted : QDialog::Rejected);
}

void TErrorDialog::closeEvent(QCloseEvent* event) {
    Finish(true);
    event->accept();
}
