#include "report/dialogs/ErrorBand.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QStyle>

namespace {

// The icon's place inside the dialog is (372, 9); the band starts at (3, 3).
constexpr int kIconLeft = 372 - 3;
constexpr int kIconTop = 9 - 3;
constexpr int kIconSize = 32;

} // namespace

TErrorBand::TErrorBand(const QString& text, QWidget* parent) : QWidget(parent) {
    setFixedSize(Width, Height);
    auto* label = new QLabel(text, this);
    label->setWordWrap(true);
    label->setGeometry(8, 4, kIconLeft - 16, Height - 8);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette black = label->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(black);
    auto* icon = new QLabel(this);
    icon->setObjectName("errorIcon");
    icon->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(kIconSize, kIconSize));
    icon->setGeometry(kIconLeft, kIconTop, kIconSize, kIconSize);
    icon->setAccessibleName(QApplication::translate("TErrorBand", "Error"));
}

void TErrorBand::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
