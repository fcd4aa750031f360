#include "ui/TextBlock.h"

#include "ui/Canvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextCharFormat>
#include <algorithm>
#include <cmath>

namespace {

const QString kEllipsis = QStringLiteral("...");

// Removes "&" prefixes: "&&" becomes "&", "&x" becomes an underlined x whose
// position is returned through `underline` (the last one wins). A trailing "&"
// stays as it is.
QString StripPrefixes(const QString& text, int& underline) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != u'&')
                underline = static_cast<int>(out.size());
        }
        out += text[i];
    }
    return out;
}

// Paragraph boundaries: CR LF, CR or LF.
std::vector<QString> SplitParagraphs(const QString& text) {
    std::vector<QString> paragraphs;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        paragraphs.push_back(text.mid(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    paragraphs.push_back(text.mid(start));
    return paragraphs;
}

// Cuts before a low surrogate so no character is split in two.
qsizetype CharBoundary(const QString& text, qsizetype at) {
    return at > 0 && at < text.size() && text[at].isLowSurrogate() ? at - 1 : at;
}

} // namespace

TTextBlock::TTextBlock(const QString& text, unsigned flags, const QFont& font, QPaintDevice* device,
                       int width, int visibleHeight)
    : flags_(flags), font_(font), device_(device) {
    const QFontMetrics metrics(font_, device_);
    lineHeight_ = metrics.height();
    ascent_ = metrics.ascent();
    option_.setWrapMode((flags_ & DT_WORDBREAK) && !(flags_ & DT_SINGLELINE) ? QTextOption::WordWrap
                                                                             : QTextOption::NoWrap);
    option_.setTabStopDistance(8.0 * metrics.averageCharWidth());

    int underline = -1;
    QString shown = (flags_ & DT_NOPREFIX) ? text : StripPrefixes(text, underline);
    if (!(flags_ & DT_EXPANDTABS))
        shown.remove(u'\t');
    if (shown.isEmpty())
        return;
    if (flags_ & DT_SINGLELINE) {
        shown.remove(u'\r').remove(u'\n');
        AddParagraph(shown, underline, width, visibleHeight);
        return;
    }
    int offset = 0;
    for (QString& paragraph : SplitParagraphs(shown)) {
        const int length = static_cast<int>(paragraph.size());
        const bool inside = underline >= offset && underline < offset + length;
        AddParagraph(std::move(paragraph), inside ? underline - offset : -1, width, visibleHeight);
        offset += length + 1;
    }
}

int TTextBlock::Width() const {
    int widest = 0;
    for (const Line& line : lines_)
        widest = std::max(widest, line.Width);
    return widest;
}

void TTextBlock::AddParagraph(QString text, int underline, int width, int visibleHeight) {
    if (option_.wrapMode() == QTextOption::NoWrap && Height() >= visibleHeight) {
        ++hiddenLines_;
        return;
    }
    if (option_.wrapMode() == QTextOption::NoWrap &&
        (flags_ & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS)) && Measure(text) > width) {
        text = Elide(text, width);
        underline = -1;
    }
    QTextLayout& layout = NewLayout(text, underline);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(width, 0)); // lays the line out; NoWrap keeps it whole
        line.setPosition(QPointF(0, 0));
        lines_.push_back(
            {&layout, line.lineNumber(), static_cast<int>(std::ceil(line.naturalTextWidth()))});
    }
    layout.endLayout();
}

QTextLayout& TTextBlock::NewLayout(const QString& text, int underline) {
    auto layout = std::make_unique<QTextLayout>(text, font_, device_);
    layout->setTextOption(option_);
    if (underline >= 0) {
        QTextLayout::FormatRange range;
        range.start = underline;
        range.length = 1;
        range.format.setFontUnderline(true);
        layout->setFormats({range});
    }
    layouts_.push_back(std::move(layout));
    return *layouts_.back();
}

int TTextBlock::Measure(const QString& text) const {
    QTextLayout layout(text, font_, device_);
    layout.setTextOption(option_);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(0);
    layout.endLayout();
    return line.isValid() ? static_cast<int>(std::ceil(line.naturalTextWidth())) : 0;
}

// End ellipsis: the longest head that fits with "..." after it. Path
// ellipsis: the part from the last backslash on is kept whole and the text
// before it shortened instead; without a backslash it acts as end ellipsis.
QString TTextBlock::Elide(const QString& text, int width) const {
    const qsizetype slash = (flags_ & DT_PATH_ELLIPSIS) ? text.lastIndexOf(u'\\') : -1;
    const QString tail = kEllipsis + (slash >= 0 ? text.mid(slash) : QString());
    const QString head = slash >= 0 ? text.left(slash) : text;
    qsizetype low = 0;
    qsizetype high = head.size();
    while (low < high) { // the longest head whose shortened text fits
        const qsizetype middle = (low + high + 1) / 2;
        if (Measure(head.left(CharBoundary(head, middle)) + tail) <= width)
            low = middle;
        else
            high = middle - 1;
    }
    return head.left(CharBoundary(head, low)) + tail;
}

int TTextBlock::LineTop(int index, const TRect& rect) const {
    int top = rect.Top;
    if ((flags_ & DT_SINGLELINE) && (flags_ & DT_VCENTER))
        top = (rect.Top + rect.Bottom - lineHeight_) / 2;
    return top + index * lineHeight_;
}

int TTextBlock::LineLeft(int width, const TRect& rect) const {
    if (flags_ & DT_RIGHT)
        return rect.Right - width;
    if (flags_ & DT_CENTER)
        return (rect.Left + rect.Right - width) / 2;
    return rect.Left;
}

void TTextBlock::Draw(QPainter& painter, const TRect& rect, const QColor* background) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        const int top = LineTop(static_cast<int>(i), rect);
        if (top >= rect.Bottom)
            break;
        // Like a multi-line edit control: no partly visible last line.
        if ((flags_ & DT_EDITCONTROL) && i > 0 && top + lineHeight_ > rect.Bottom)
            break;
        const int left = LineLeft(line.Width, rect);
        if (background)
            painter.fillRect(QRect(left, top, line.Width, lineHeight_), *background);
        const QTextLine textLine = line.Layout->lineAt(line.Index);
        textLine.draw(&painter, QPointF(left, top + ascent_ - textLine.ascent()));
    }
}
