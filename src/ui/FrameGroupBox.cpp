#include "ui/FrameGroupBox.h"

#include "platform/CodePage.h"
#include "ui/WidgetAccessibility.h"

#include <QPainter>

namespace {

void Line(TCanvas& canvas, int x0, int y0, int x1, int y1) {
    canvas.MoveTo(x0, y0);
    canvas.LineTo(x1, y1);
}

} // namespace

TFrameGroupBox::TFrameGroupBox(QWidget* parent) : TBorderPanel(parent) {
    InstallWidgetAccessibility();
    BorderOuter = TFrameStyleEx::fsNone;
    resize(width(), 105);
}

void TFrameGroupBox::SetCaption(const QString& caption) {
    caption_ = caption;
    setAccessibleName(caption);
    update();
}

// The faces this window names have cells exactly one em tall; fontconfig's
// substitutes add leading, which would move the frame and the list below it.
int TFrameGroupBox::TextHeight() const {
    return font().pixelSize();
}

TRect TFrameGroupBox::ClientArea() const {
    TRect r{BorderWidth, BorderWidth, width() - BorderWidth, height() - BorderWidth};
    const int h = TextHeight();
    r.Top += (h / 2 - 1 >= BorderWidth) ? h - BorderWidth : h / 2 - 1;
    const int inset = GroupStyle == TGroupBoxStyle::gsStandard ? 2 : 1;
    return {r.Left + inset, r.Top + inset, r.Right - inset, r.Bottom - inset};
}

TRect TFrameGroupBox::CaptionRect() const {
    TFont font;
    font.Name = QWidget::font().family();
    font.Height = TextHeight();
    QImage scratch(1, 1, QImage::Format_RGB32);
    QPainter painter(&scratch);
    TCanvas canvas(painter);
    canvas.Font = font;
    const int width = canvas.TextExtent(Utf8ToGbk(caption_.toStdString())).width();
    if (layoutDirection() == Qt::RightToLeft)
        return {QWidget::width() - 8 - width, 0, QWidget::width() - 8, TextHeight()};
    return {8, 0, 8 + width, TextHeight()};
}

void TFrameGroupBox::Paint(TCanvas& canvas) {
    canvas.Font.Name = font().family();
    canvas.Font.Height = font().pixelSize();
    canvas.Brush.Color = Color;
    canvas.FillRect({0, 0, width(), height()});
    const TRect f{0, TextHeight() / 2 - 1, width(), height()};
    canvas.Pen.Color = FlatFrameColor();
    Line(canvas, f.Left, f.Top + 2, f.Left, f.Bottom - 2);
    Line(canvas, f.Left + 2, f.Top, f.Right - 2, f.Top);
    Line(canvas, f.Right - 1, f.Top + 2, f.Right - 1, f.Bottom - 2);
    Line(canvas, f.Left + 2, f.Bottom - 1, f.Right - 2, f.Bottom - 1);
    canvas.Brush.Color = FlatFrameColor();
    for (const QPoint p : {QPoint(f.Left + 1, f.Top + 1), QPoint(f.Right - 2, f.Top + 1),
                           QPoint(f.Right - 2, f.Bottom - 2), QPoint(f.Left + 1, f.Bottom - 2)})
        canvas.FillRect({p.x(), p.y(), p.x() + 1, p.y() + 1});
    if (caption_.isEmpty())
        return;
    TRect c = CaptionRect();
    canvas.Brush.Color = Color;
    canvas.FillRect(c);
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.Font.Color = isEnabled() ? clWindowText : clGrayText;
    canvas.DrawText(Utf8ToGbk(caption_.toStdString()), c, DT_LEFT | DT_SINGLELINE | DT_VCENTER);
    canvas.Brush.Style = TBrushStyle::bsSolid;
}
