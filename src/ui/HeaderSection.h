#pragma once

#include <QString>

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

// One column of the header bar. The width always lies within
// [MinWidth, MaxWidth]; when the bounds cross, MinWidth wins.
class THeaderSection {
public:
    THeaderSection() = default;
    THeaderSection(QString text, int width, TAlignment alignment = TAlignment::taLeftJustify);

    QString Text;
    TAlignment Alignment = TAlignment::taLeftJustify;
    // False: a click on the section is not reported, and it is not pressed.
    bool AllowClick = true;

    int Width() const { return width_; }
    void SetWidth(int width) { width_ = ClampWidth(width); }
    // `width` brought within the bounds.
    int ClampWidth(int width) const;
    int MinWidth() const { return minWidth_; }
    // Bounds below 0 are taken as 0: a section never has a negative width.
    void SetMinWidth(int minWidth);
    int MaxWidth() const { return maxWidth_; }
    void SetMaxWidth(int maxWidth);

    bool operator==(const THeaderSection&) const = default;

private:
    int width_ = 50;
    int minWidth_ = 0;
    int maxWidth_ = 10000;
};
