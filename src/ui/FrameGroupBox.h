#pragma once

#include "ui/BorderPanel.h"

#include <QString>

enum class TGroupBoxStyle { gsStandard, gsCustom, gsTopLine, gsFlat, gsBanner, gsUnderline };

// A group box with a flat, rounded one-pixel frame whose top line runs
// through the middle of the caption; the caption sits on a gap at left 8.
// UI thread only.
class TFrameGroupBox : public TBorderPanel {
    Q_OBJECT

public:
    explicit TFrameGroupBox(QWidget* parent = nullptr);

    TGroupBoxStyle GroupStyle = TGroupBoxStyle::gsFlat;
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);

    // Where the child controls go.
    TRect ClientArea() const;
    // The caption's gap in the top line.
    TRect CaptionRect() const;

protected:
    void Paint(TCanvas& canvas) override;

private:
    int TextHeight() const;

    QString caption_;
};
