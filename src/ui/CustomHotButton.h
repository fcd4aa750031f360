#pragma once

#include "platform/SystemColors.h"
#include "ui/Canvas.h"
#include "ui/Font.h"
#include "ui/HeaderSection.h"
#include "ui/Rect.h"

#include <QString>
#include <QWidget>

enum class THotTrackColorType { htctComplement, htctActual };
enum class TAlignmentVertical { avTop, avCenter, avBottom };
enum class TTextStyle { tsNormal, tsRaised, tsRecessed, tsShadow };

// A push button drawn by its own code: the look follows the mouse (hover,
// press and drag), the keyboard (Space, Enter, focus) and the enabled state.
// Qt delivers the events; every pixel is painted through the canvas.
// UI thread only.
class TCustomHotButton : public QWidget {
    Q_OBJECT

public:
    explicit TCustomHotButton(QWidget* parent = nullptr);
    ~TCustomHotButton() override;

    // Look settings; a change shows at the next paint.
    THotTrackColorType HotTrackColorType = THotTrackColorType::htctActual;
    TColor HotTrackColor = RGB(240, 155, 20);
    TColor HighlightColor = clHighlight;
    TAlignmentVertical AlignmentVertical = TAlignmentVertical::avCenter;
    TAlignment Alignment = TAlignment::taCenter;
    TTextStyle TextStyle = TTextStyle::tsNormal;
    int TextShadowDepth = 2;
    TColor TextShadowColor = clBtnShadow;
    TColor TextHighlightColor = clBtnHighlight;
    TColor Color = clBtnFace;
    bool ShowFocusRect = true;
    // A transparent button shows its parent where its rounded corners leave
    // pixels undrawn; an opaque one fills them with `Color`.
    bool Transparent = false;

    bool HotTrack() const { return hotTrack_; }
    virtual void SetHotTrack(bool on);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    const TFont& Font() const { return font_; }
    void SetFont(const TFont& font);
    // The button Enter clicks while the focus is on no other push button.
    bool Default() const { return default_; }
    void SetDefault(bool on);
    bool Cancel = false;

    // Disabling takes the focus away from the button, to the window itself,
    // so no other control inherits it by accident.
    void SetEnabled(bool enabled);

    bool Hovering() const { return hovering_; }
    bool Tracking() const { return tracking_; }
    bool PressedLook() const { return pressedLook_; }
    bool SpaceArmed() const { return spaceArmed_; }
    bool DefaultLook() const { return defaultLook_; }

    // Fires OnClick.
    void Click();

signals:
    void OnClick();
    void OnMouseEnter();
    void OnMouseLeave();

protected:
    // The look a paint chooses, first match wins.
    enum class TLook { Disabled, Pressed, Hot, Focused, Normal };
    TLook Look() const;
    // The caption, placed and coloured for the current look.
    void PaintCaption(TCanvas& canvas, const TRect& client);

    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ClickRoutine();
    void OnFocusChanged(QWidget* now);
    // Emits OnMouseEnter or OnMouseLeave and repaints when it changes.
    void SetHovering(bool over);
    bool Inside(const QPoint& point) const;
    void DrawCaptionText(TCanvas& canvas, const std::string& text, TRect rect, unsigned flags,
                         TColor color, int dx, int dy);

    QString caption_;
    TFont font_;
    QMetaObject::Connection focusWatch_;
    bool hotTrack_ = false;
    bool default_ = false;
    bool hovering_ = false;
    bool tracking_ = false;
    bool pressedLook_ = false;
    bool spaceArmed_ = false;
    bool defaultLook_ = false;
};
