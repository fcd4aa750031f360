#pragma once

#include "ui/BorderPanel.h"

#include <QPoint>
#include <QSize>
#include <QString>

// The status line: one simple text over the panel's flat border, and a grip
// of dots at the bottom right that resizes the window by dragging.
// UI thread only.
class TFlatStatusBar : public TBorderPanel {
    Q_OBJECT

public:
    explicit TFlatStatusBar(QWidget* parent = nullptr);

    const QString& SimpleCaption() const { return simpleCaption_; }
    // A text equal to the current one changes nothing.
    void SetSimpleCaption(const QString& text);

    bool ShowSizeGrip = true;
    bool SimpleStatus = false;
    void SetBorders(TFrameStyleEx outer, TFrameStyleEx inner, TSides sides);

    // The owning window can be resized and is not maximised; tested at each
    // paint.
    bool GripUsable() const { return gripUsable_; }
    // Where the simple text is drawn, and where its first line starts.
    TRect SimpleTextRect() const;
    QPoint SimpleTextOrigin() const;
    // The grip's hot area: the last 13 columns.
    TRect GripRect() const { return {width() - 13, 0, width(), height()}; }

protected:
    void Paint(TCanvas& canvas) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool WindowSizeable() const;
    void PaintGrip(TCanvas& canvas);
    bool OverGrip(const QPoint& point) const;

    QString simpleCaption_;
    bool gripUsable_ = false;
    // A drag of the grip that the window system does not take over.
    bool dragging_ = false;
    QPoint dragStart_;
    QSize sizeAtStart_;
};
