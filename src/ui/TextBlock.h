#pragma once

#include "ui/Rect.h"

#include <QFont>
#include <QString>
#include <QTextLayout>
#include <memory>
#include <vector>

class QPaintDevice;
class QPainter;

// The lines of one DrawText call, broken and measured for a given width: line
// breaks at CR, LF and CR LF (unless DT_SINGLELINE), word wrapping under
// DT_WORDBREAK, "&" prefixes unless DT_NOPREFIX, tab stops every eight average
// characters under DT_EXPANDTABS (tabs take no room otherwise), and ellipses
// on lines that do not fit. Lines are one font line height apart.
class TTextBlock {
public:
    // Unwrapped lines that start `visibleHeight` or more below the top are
    // counted but not laid out: a reply of thousands of lines costs no more
    // to draw into a small cell than the lines that show.
    TTextBlock(const QString& text, unsigned flags, const QFont& font, QPaintDevice* device,
               int width, int visibleHeight);

    int LineHeight() const { return lineHeight_; }
    int Height() const { return lineHeight_ * (static_cast<int>(lines_.size()) + hiddenLines_); }
    int Width() const;

    // Draws the lines into `rect` with the pen's colour; with a non-null
    // `background`, each line's extent is filled with it first. The caller
    // clips.
    void Draw(QPainter& painter, const TRect& rect, const QColor* background) const;

private:
    struct Line {
        const QTextLayout* Layout;
        int Index; // of the line within its layout
        int Width;
    };

    void AddParagraph(QString text, int underline, int width, int visibleHeight);
    QTextLayout& NewLayout(const QString& text, int underline);
    QString Elide(const QString& text, int width) const;
    int Measure(const QString& text) const;
    int LineTop(int index, const TRect& rect) const;
    int LineLeft(int width, const TRect& rect) const;

    unsigned flags_;
    QFont font_;
    QPaintDevice* device_;
    QTextOption option_;
    int lineHeight_;
    int ascent_;
    std::vector<std::unique_ptr<QTextLayout>> layouts_;
    std::vector<Line> lines_;
    int hiddenLines_ = 0;
};
