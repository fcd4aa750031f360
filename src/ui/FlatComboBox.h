#pragma once

#include "platform/SystemColors.h"
#include "ui/BorderPanel.h"
#include "ui/Canvas.h"

#include <QComboBox>
#include <QTimer>
#include <string>

// A drop-down list with a flat one-pixel frame instead of a 3D edge, its
// background following the enabled and focus state, a typed-prefix search
// that forgets the prefix 1500 ms after the last key, mouse-wheel stepping and
// a drop-down as wide as its widest entry. Painted completely by its own code;
// Qt keeps the list, the popup and the accessibility of a combo box.
// UI thread only.
class TFlatComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit TFlatComboBox(QWidget* parent = nullptr);

    TColor FrameColor = clBtnShadow;
    TSides FrameSides = AllSides;
    TColor DisabledColor = clBtnFace;
    TColor FocusColor = clWindow;
    bool BeepOnInvalidKey = true;
    bool ReadOnly = false;
    int DropDownCount = 8;
    // 0 sizes the drop-down to the entries.
    int DropDownWidth = 0;

    // The background while enabled and unfocused. Setting it moves the focus
    // colour along when the two were equal.
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TColor RestColor() const { return restColor_; }
    const std::string& TypedPrefix() const { return typedPrefix_; }
    // The width the drop-down opens with.
    int DroppedWidth() const;

    void showPopup() override;

signals:
    void OnClick();
    // A choice of the user: picked from the list, a typed match, a wheel step
    // or a selection key.
    void OnChange();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void UpdateColor();
    void Choose(int index);
    void TypeByte(char byte);
    void Backspace();
    bool Search(const std::string& text);
    void Beep() const;
    void WheelStep(bool down);

    TColor color_ = clWindow;
    TColor restColor_ = clWindow;
    bool hasFocus_ = false;
    std::string typedPrefix_;
    QTimer prefixTimer_;
    int wheelSum_ = 0; // wheel angle short of a whole notch, signed
};
