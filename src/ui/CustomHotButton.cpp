#include "ui/CustomHotButton.h"

#include "platform/CodePage.h"
#include "ui/Shading.h"
#include "ui/WidgetAccessibility.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

TCustomHotButton::TCustomHotButton(QWidget* parent) : QWidget(parent) {
    InstallWidgetAccessibility();
    setFocusPolicy(Qt::StrongFocus);
    resize(115, 17);
    if (parent != nullptr) { // the parent's font until one is set
        font_.Name = parent->font().family();
        font_.Height = parent->font().pixelSize() > 0 ? parent->font().pixelSize() : font_.Height;
    }
    focusWatch_ = connect(qApp, &QApplication::focusChanged, this,
                          [this](QWidget*, QWidget* now) { OnFocusChanged(now); });
}

// Destroying a widget moves the focus; by then this is no button any more.
TCustomHotButton::~TCustomHotButton() {
    disconnect(focusWatch_);
}

void TCustomHotButton::SetHotTrack(bool on) {
    hotTrack_ = on;
    update();
}

void TCustomHotButton::SetCaption(const QString& caption) {
    caption_ = caption;
    setAccessibleName(caption);
    update();
}

void TCustomHotButton::SetFont(const TFont& font) {
    font_ = font;
    setFont(font.ToQFont());
    update();
}

void TCustomHotButton::SetDefault(bool on) {
    default_ = on;
    OnFocusChanged(QApplication::focusWidget());
}

// The focus widget of the window, not only the focus of an active window:
// a click's activation may still be on its way.
void TCustomHotButton::SetEnabled(bool enabled) {
    if (!enabled && window()->focusWidget() == this)
        window()->setFocus(Qt::OtherFocusReason);
    setEnabled(enabled);
    repaint();
}

void TCustomHotButton::Click() {
    emit OnClick();
}

// Mouse and Space clicks show the released look before the handler runs.
void TCustomHotButton::ClickRoutine() {
    repaint();
    Click();
}

TCustomHotButton::TLook TCustomHotButton::Look() const {
    if (!isEnabled())
        return TLook::Disabled;
    if (pressedLook_)
        return TLook::Pressed;
    if (hovering_ && hotTrack_)
        return TLook::Hot;
    if (defaultLook_ || hasFocus())
        return TLook::Focused;
    return TLook::Normal;
}

bool TCustomHotButton::Inside(const QPoint& point) const {
    return point.x() >= 0 && point.x() < width() && point.y() >= 0 && point.y() < height();
}

void TCustomHotButton::DrawCaptionText(TCanvas& canvas, const std::string& text, TRect rect,
                                       unsigned flags, TColor color, int dx, int dy) {
    rect = {rect.Left + dx, rect.Top + dy, rect.Right + dx, rect.Bottom + dy};
    canvas.Font.Color = color;
    canvas.DrawText(text, rect, flags);
}

void TCustomHotButton::PaintCaption(TCanvas& canvas, const TRect& client) {
    TRect text{client.Left + 5, client.Top + 5, client.Right - 5, client.Bottom - 5};
    if (!hotTrack_ && pressedLook_)
        text = {text.Left + 1, text.Top + 1, text.Right + 1, text.Bottom + 1};
    canvas.Font = font_;
    canvas.Brush.Style = TBrushStyle::bsClear;
    const std::string gbk = Utf8ToGbk(caption_.toStdString());
    TRect measured = text;
    const int h = canvas.DrawText(
        gbk, measured, DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK | DT_VCENTER | DT_CENTER);
    switch (AlignmentVertical) {
    case TAlignmentVertical::avCenter:
        text.Top = (text.Top + text.Bottom - h) / 2;
        text.Bottom = text.Top + h;
        break;
    case TAlignmentVertical::avTop:
        text.Bottom = text.Top + h;
        break;
    case TAlignmentVertical::avBottom:
        text.Top = text.Bottom - h - 1;
        break;
    }
    const unsigned align = Alignment == TAlignment::taLeftJustify    ? DT_LEFT
                           : Alignment == TAlignment::taRightJustify ? DT_RIGHT
                                                                     : DT_CENTER;
    const unsigned flags = align | DT_EXPANDTABS | DT_WORDBREAK;
    if (!isEnabled()) {
        DrawCaptionText(canvas, gbk, text, flags,
                        ColorsNear(Color, clGrayText) ? cl3DDkShadow : clGrayText, 0, 0);
    } else {
        const int shift = Alignment == TAlignment::taRightJustify ? -TextShadowDepth : 0;
        switch (TextStyle) {
        case TTextStyle::tsRaised:
            DrawCaptionText(canvas, gbk, text, flags, TextHighlightColor, shift - 1, -1);
            DrawCaptionText(canvas, gbk, text, flags, TextShadowColor, shift + 1, 1);
            break;
        case TTextStyle::tsRecessed:
            DrawCaptionText(canvas, gbk, text, flags, TextShadowColor, shift - 1, -1);
            DrawCaptionText(canvas, gbk, text, flags, TextHighlightColor, shift + 1, 1);
            break;
        case TTextStyle::tsShadow:
            DrawCaptionText(canvas, gbk, text, flags, TextShadowColor, shift + TextShadowDepth,
                            TextShadowDepth);
            break;
        case TTextStyle::tsNormal:
            break;
        }
        DrawCaptionText(canvas, gbk, text, flags, font_.Color,
                        TextStyle == TTextStyle::tsNormal ? 0 : shift, 0);
    }
    canvas.Brush.Style = TBrushStyle::bsSolid;
}

void TCustomHotButton::enterEvent(QEnterEvent* event) {
    SetHovering(true);
    QWidget::enterEvent(event);
}

void TCustomHotButton::leaveEvent(QEvent* event) {
    SetHovering(false);
    QWidget::leaveEvent(event);
}

void TCustomHotButton::SetHovering(bool over) {
    if (over == hovering_)
        return;
    hovering_ = over;
    if (over)
        emit OnMouseEnter();
    else
        emit OnMouseLeave();
    update();
}

void TCustomHotButton::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton || !isEnabled())
        return;
    // A click activates the window; the focus counts as held once it is the
    // window's focus widget, even while the activation is still on its way.
    if (!window()->isActiveWindow())
        window()->activateWindow();
    setFocus(Qt::MouseFocusReason);
    if (window()->focusWidget() != this)
        return;
    pressedLook_ = true;
    repaint();
    tracking_ = true;
}

void TCustomHotButton::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    if (!tracking_)
        return;
    const bool inside = Inside(event->position().toPoint());
    // The button holds the mouse while it tracks, so no Leave or Enter
    // arrives: the pointer's place decides whether it is over the button.
    SetHovering(inside);
    if (inside != pressedLook_) {
        pressedLook_ = inside;
        repaint();
    }
}

void TCustomHotButton::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (!tracking_)
        return;
    tracking_ = false;
    pressedLook_ = false;
    const bool inside = Inside(event->position().toPoint());
    SetHovering(inside);
    if (inside)
        ClickRoutine();
    repaint();
}

void TCustomHotButton::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const int key = event->key();
    if (key == Qt::Key_Space && !(event->modifiers() & Qt::AltModifier)) {
        spaceArmed_ = true;
        pressedLook_ = true;
        repaint();
        return;
    }
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (mods == Qt::NoModifier && ((enter && defaultLook_) || (key == Qt::Key_Escape && Cancel))) {
        Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

// Qt reports a held key as repeated press and release pairs; only the real
// release counts.
void TCustomHotButton::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space || event->isAutoRepeat()) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    pressedLook_ = false;
    if (spaceArmed_)
        ClickRoutine();
    repaint();
}

void TCustomHotButton::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    repaint();
}

void TCustomHotButton::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    spaceArmed_ = false;
    pressedLook_ = false;
    repaint();
}

void TCustomHotButton::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        update();
}

// Only a focus change inside the window counts. When the application is
// deactivated the focus goes to no widget, but the window keeps its focus
// widget, which gets the focus back on reactivation: the look stays.
void TCustomHotButton::OnFocusChanged(QWidget* now) {
    if (now == nullptr)
        now = window()->focusWidget();
    if (now != nullptr && now->window() != window())
        return;
    const bool button = qobject_cast<TCustomHotButton*>(now) != nullptr ||
                        qobject_cast<QAbstractButton*>(now) != nullptr;
    const bool look = button ? now == this : default_;
    if (look != defaultLook_) {
        defaultLook_ = look;
        update();
    }
}
