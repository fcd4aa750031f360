#pragma once

#include "platform/SystemColors.h"
#include "ui/Font.h"

#include <QString>
#include <QWidget>

// An opaque label: its parent's colour behind the text, sized to the text.
// UI thread only.
class TStyledLabel : public QWidget {
    Q_OBJECT

public:
    explicit TStyledLabel(QWidget* parent = nullptr);

    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    const TFont& Font() const { return font_; }
    void SetFont(const TFont& font);

    bool WordWrap = false;
    bool ShowAccelChar = true;
    int TextMargin = 0;
    bool FlyByEnabled = false;
    TColor FlyByColor = clHighlight;
    // Sized to its text after each caption or font change.
    bool AutoSize = true;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    unsigned TextFlags() const;
    void AdjustSize();

    QString caption_;
    TFont font_;
    bool mouseOver_ = false;
};
