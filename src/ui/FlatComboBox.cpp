#include "ui/FlatComboBox.h"

#include "platform/CodePage.h"

#include <QAbstractItemDelegate>
#include <QAbstractItemView>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QWheelEvent>
#include <cctype>

namespace {

constexpr int kPrefixResetMs = 1500;
// Wheel angle of one notch, in eighths of a degree.
constexpr int kWheelNotch = 120;
// Width of the drop-down button and of a vertical scroll bar.
constexpr int kScrollBarWidth = 17;

bool IsLeadByte(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

// ASCII letters folded to lower case; the bytes of a double-byte character
// stay as they are.
std::string FoldCase(const std::string& text) {
    std::string folded;
    folded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (IsLeadByte(byte) && i + 1 < text.size()) {
            folded += text[i];
            folded += text[++i];
        } else {
            folded += static_cast<char>(std::tolower(byte));
        }
    }
    return folded;
}

// Length of `text` without its last character, a double-byte one as a whole.
size_t WithoutLastCharacter(const std::string& text) {
    size_t last = 0;
    for (size_t i = 0; i < text.size();) {
        last = i;
        i += IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    }
    return last;
}

bool IsNavigationKey(int key) {
    switch (key) {
    case Qt::Key_Escape:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

void Edge(TCanvas& canvas, const TRect& r, TColor topLeft, TColor bottomRight) {
    canvas.Brush.Color = topLeft;
    canvas.FillRect({r.Left, r.Top, r.Right, r.Top + 1});
    canvas.FillRect({r.Left, r.Top, r.Left + 1, r.Bottom});
    canvas.Brush.Color = bottomRight;
    canvas.FillRect({r.Left, r.Bottom - 1, r.Right, r.Bottom});
    canvas.FillRect({r.Right - 1, r.Top, r.Right, r.Bottom});
}

// The application's style opens a menu over the control holding every entry;
// this control drops a list below itself, DropDownCount rows high, with a
// scroll bar when there are more.
class TListPopupStyle : public QProxyStyle {
public:
    TListPopupStyle() : QProxyStyle(QStyleFactory::create("Fusion")) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_ComboBox_Popup)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

// A row of the dropped list as the system list box draws it: flat, the
// chosen row filled with the highlight colour and its text in the
// highlight's text colour, two pixels from the left.
class TListRowPainter : public QAbstractItemDelegate {
public:
    using QAbstractItemDelegate::QAbstractItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool chosen = option.state & QStyle::State_Selected;
        painter->fillRect(option.rect,
                          option.palette.color(chosen ? QPalette::Highlight : QPalette::Base));
        painter->setPen(option.palette.color(chosen ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(option.font);
        painter->drawText(option.rect.adjusted(kTextInset, 0, 0, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QFontMetrics metrics(option.font);
        return {metrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 2 * kTextInset,
                metrics.height()};
    }

private:
    static constexpr int kTextInset = 2;
};

} // namespace

TFlatComboBox::TFlatComboBox(QWidget* parent) : QComboBox(parent) {
    auto* popupStyle = new TListPopupStyle;
    popupStyle->setParent(this);
    setStyle(popupStyle);
    // Rows drawn flat, the chosen one filled with the highlight colour, not
    // with the style's rounded gradient.
    setItemDelegate(new TListRowPainter(this));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMaxVisibleItems(DropDownCount);
    prefixTimer_.setSingleShot(true);
    prefixTimer_.setInterval(kPrefixResetMs);
    prefixTimer_.setTimerType(Qt::PreciseTimer);
    connect(&prefixTimer_, &QTimer::timeout, this, [this] { typedPrefix_.clear(); });
    connect(this, &QComboBox::activated, this, [this] {
        emit OnClick();
        emit OnChange();
    });
}

void TFlatComboBox::SetColor(TColor color) {
    if (FocusColor == restColor_)
        FocusColor = color;
    restColor_ = color;
    UpdateColor();
}

void TFlatComboBox::UpdateColor() {
    color_ = !isEnabled() ? DisabledColor : hasFocus_ ? FocusColor : restColor_;
    update();
}

int TFlatComboBox::DroppedWidth() const {
    if (DropDownWidth > 0)
        return DropDownWidth;
    const QFontMetrics metrics(font());
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(itemText(i)));
    const int scrollBar = count() > DropDownCount ? kScrollBarWidth : 0;
    return std::max(widest + scrollBar + 8, width());
}

void TFlatComboBox::showPopup() {
    setMaxVisibleItems(DropDownCount);
    view()->setMinimumWidth(DroppedWidth());
    QComboBox::showPopup();
    // The list opens on the control's last row; it belongs just under it.
    QWidget* popup = view()->window();
    if (popup->y() == mapToGlobal(QPoint(0, height() - 1)).y())
        popup->move(popup->x(), popup->y() + 1);
}

// The list's own look first (text area, selection, button), then the flat
// frame over its edge: two rings in the background colour, the outer one
// again in the frame colour on the frame's sides.
void TFlatComboBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TCanvas canvas(painter);
    const TRect r{0, 0, width(), height()};
    const TRect inner{2, 2, r.Right - 2, r.Bottom - 2};
    const TRect button{inner.Right - kScrollBarWidth, inner.Top, inner.Right, inner.Bottom};
    const TRect field{inner.Left, inner.Top, button.Left, inner.Bottom};
    canvas.Brush.Color = color_;
    canvas.FillRect(field);
    TRect text{field.Left + 1, field.Top + 1, field.Right - 1, field.Bottom - 1};
    canvas.Font.Name = font().family();
    canvas.Font.Height = font().pixelSize();
    canvas.Font.Color = isEnabled() ? clWindowText : clGrayText;
    if (hasFocus_ && isEnabled()) {
        canvas.Brush.Color = clHighlight;
        canvas.FillRect(text);
        canvas.Font.Color = clHighlightText;
    }
    canvas.Brush.Style = TBrushStyle::bsClear;
    TRect caption{text.Left + 2, text.Top, text.Right, text.Bottom};
    canvas.DrawText(Utf8ToGbk(currentText().toStdString()), caption,
                    DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    canvas.Brush.Style = TBrushStyle::bsSolid;

    canvas.Brush.Color = clBtnFace;
    canvas.FillRect(button);
    Edge(canvas, button, clBtnHighlight, clBtnShadow);
    canvas.Brush.Color = isEnabled() ? clBtnText : clGrayText;
    const int cx = (button.Left + button.Right) / 2, cy = (button.Top + button.Bottom) / 2 - 1;
    for (int row = 0; row < 4; ++row)
        canvas.FillRect({cx - 3 + row, cy + row, cx + 4 - row, cy + row + 1});

    Edge(canvas, r, color_, color_);
    Edge(canvas, {1, 1, r.Right - 1, r.Bottom - 1}, color_, color_);
    canvas.Brush.Color = FrameColor;
    if (FrameSides & sdLeft)
        canvas.FillRect({0, 0, 1, r.Bottom});
    if (FrameSides & sdTop)
        canvas.FillRect({0, 0, r.Right, 1});
    if (FrameSides & sdRight)
        canvas.FillRect({r.Right - 1, 0, r.Right, r.Bottom});
    if (FrameSides & sdBottom)
        canvas.FillRect({0, r.Bottom - 1, r.Right, r.Bottom});
}

void TFlatComboBox::Beep() const {
    if (BeepOnInvalidKey)
        QApplication::beep();
}

// The first entry that begins with `text`, letters compared without case.
bool TFlatComboBox::Search(const std::string& text) {
    const std::string wanted = FoldCase(text);
    for (int i = 0; i < count(); ++i) {
        if (FoldCase(Utf8ToGbk(itemText(i).toStdString())).starts_with(wanted)) {
            typedPrefix_ = text;
            Choose(i);
            return true;
        }
    }
    Beep();
    return false;
}

void TFlatComboBox::Choose(int index) {
    setCurrentIndex(index);
    emit OnClick();
    emit OnChange();
}

void TFlatComboBox::TypeByte(char byte) {
    Search(typedPrefix_ + byte);
    prefixTimer_.start();
}

void TFlatComboBox::Backspace() {
    prefixTimer_.start();
    if (typedPrefix_.empty()) {
        Beep();
        Search(typedPrefix_);
        return;
    }
    const std::string shorter = typedPrefix_.substr(0, WithoutLastCharacter(typedPrefix_));
    if (!shorter.empty()) {
        Search(shorter);
        return;
    }
    typedPrefix_.clear();
    Choose(0);
}

void TFlatComboBox::keyPressEvent(QKeyEvent* event) {
    if (ReadOnly)
        return;
    const int key = event->key();
    if (IsNavigationKey(key))
        typedPrefix_.clear();
    if (key == Qt::Key_Backspace) {
        Backspace();
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) &&
        text.front().unicode() >= 32 && text.front() != QChar(0x7F)) {
        for (const char byte : Utf8ToGbk(text.toStdString()))
            TypeByte(byte);
        return;
    }
    QComboBox::keyPressEvent(event);
}

void TFlatComboBox::WheelStep(bool down) {
    const int index = currentIndex();
    if (down) {
        if (count() > 0 && index < count() - 1)
            Choose(index + 1);
    } else if (index > 0) {
        Choose(index - 1);
    } else if (index < 0 && count() > 0) {
        setCurrentIndex(0);
    }
}

// Steps of a closed list; the open drop-down scrolls itself. A touchpad or a
// fine wheel sends parts of a notch (15, 30): they add up, and the list steps
// once per whole notch of 120. Turning back starts the sum afresh.
void TFlatComboBox::wheelEvent(QWheelEvent* event) {
    event->accept();
    const int delta = event->angleDelta().y();
    if (ReadOnly || delta == 0)
        return;
    if ((wheelSum_ < 0) != (delta < 0))
        wheelSum_ = 0;
    wheelSum_ += delta;
    const int steps = wheelSum_ / kWheelNotch;
    wheelSum_ -= steps * kWheelNotch;
    for (int i = 0; i < std::abs(steps); ++i)
        WheelStep(steps < 0);
}

void TFlatComboBox::focusInEvent(QFocusEvent* event) {
    QComboBox::focusInEvent(event);
    hasFocus_ = true;
    UpdateColor();
}

// The drop-down taking the focus does not count as leaving.
void TFlatComboBox::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    if (event->reason() == Qt::PopupFocusReason)
        return;
    hasFocus_ = false;
    typedPrefix_.clear();
    UpdateColor();
}

void TFlatComboBox::changeEvent(QEvent* event) {
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        UpdateColor();
}
