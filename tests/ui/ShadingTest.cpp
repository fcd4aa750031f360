#include "ui/Shading.h"
#include "ui/Canvas.h"
#include "ui/Gradient.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

struct Shade {
    TColor (*function)(TColor, int);
    TColor color;
    int amount;
    TColor expected;
};

TEST(Shading, WorkedValuesAndEdges) {
    const Shade cases[] = {
        {DarkenColor, RGB(240, 240, 240), 10, RGB(230, 230, 230)},
        {LightenColor, RGB(240, 240, 240), 30, RGB(255, 255, 255)},
        {DarkenColor, clBtnFace, 10, RGB(230, 230, 230)}, // system colours resolve first
        {LightenColor, clBtnShadow, 30, RGB(192, 192, 192)},
        {DarkenColor, clBlack, 30, clBlack},
        {LightenColor, clWhite, 30, clWhite}, // luminance above 240 caps at 255
        {ShadeColor, RGB(240, 240, 240), -10, RGB(230, 230, 230)},
        {ShadeColor, RGB(240, 240, 240), 30, RGB(255, 255, 255)},
        {ShadeColor, clBtnFace, 0, clBtnFace}, // unchanged, still a system colour
    };
    for (const Shade& c : cases)
        EXPECT_EQ(c.function(c.color, c.amount), c.expected)
            << std::hex << c.color << " by " << std::dec << c.amount;

    EXPECT_EQ(MixColors(clWhite, RGB(240, 155, 20), 190), RGB(251, 230, 195));
    EXPECT_EQ(MixColors(RGB(1, 2, 3), RGB(200, 100, 50), 255), RGB(1, 2, 3));
    EXPECT_EQ(MixColors(RGB(1, 2, 3), RGB(200, 100, 50), 0), RGB(200, 100, 50));

    EXPECT_EQ(SplitHSL(RGB(255, 0, 0)), (THSL{0, 240, 120}));
    EXPECT_EQ(SplitHSL(RGB(0, 0, 255)), (THSL{160, 240, 120}));
    EXPECT_EQ(SplitHSL(RGB(128, 128, 128)), (THSL{0, 0, 120}));
    EXPECT_EQ(JoinHSL(0, 240, 120), RGB(255, 0, 0));
    EXPECT_EQ(JoinHSL(0, 0, 0), clBlack);
    EXPECT_EQ(JoinHSL(240, 240, 120), RGB(255, 6, 0)) << "hue 240 wraps to red";

    EXPECT_TRUE(ColorsNear(clBtnFace, RGB(230, 230, 230)));
    EXPECT_FALSE(ColorsNear(clBtnFace, clGrayText));
    EXPECT_FALSE(ColorsNear(RGB(255, 0, 0), RGB(0, 0, 255)));
    EXPECT_FALSE(VisualStylesOn());
}

// Row y (0 at the top) of a gradient `height` rows tall, computed the long way.
QRgb ReferenceRow(TColor bottom, TColor top, int height, int y) {
    auto channel = [&](int b, int t) {
        const int step = (t - b) * 65536 / height;
        return ((b << 16) + (height - 1 - y) * step) >> 16;
    };
    return qRgb(channel(RedOf(bottom), RedOf(top)), channel(GreenOf(bottom), GreenOf(top)),
                channel(BlueOf(bottom), BlueOf(top)));
}

TEST(Shading, GradientMatchesTheReferenceForManyColoursAndSizes) {
    const TColor colours[] = {
        clBlack,         clWhite,        RGB(240, 155, 20), RGB(251, 230, 195),
        RGB(0, 60, 116), RGB(7, 250, 3), RGB(200, 0, 255)};
    const QSize sizes[] = {{1, 1}, {7, 2}, {8, 29}, {9, 3}, {100, 255}, {33, 600}};
    for (TColor bottom : colours)
        for (TColor top : colours)
            for (QSize size : sizes) {
                QImage image(size.width() + 4, size.height() + 4, QImage::Format_RGB32);
                image.fill(qRgb(1, 2, 3));
                {
                    QPainter painter(&image);
                    TCanvas canvas(painter);
                    FillVerticalGradient(canvas, {2, 2, 2 + size.width(), 2 + size.height()},
                                         bottom, top);
                }
                int wrong = 0;
                for (int y = 0; y < image.height(); ++y)
                    for (int x = 0; x < image.width(); ++x) {
                        const bool inside =
                            x >= 2 && y >= 2 && x < 2 + size.width() && y < 2 + size.height();
                        const QRgb want = inside ? ReferenceRow(bottom, top, size.height(), y - 2)
                                                 : qRgb(1, 2, 3);
                        wrong += image.pixel(x, y) != want;
                    }
                EXPECT_EQ(wrong, 0) << std::hex << bottom << " to " << top << std::dec << " in "
                                    << size.width() << "x" << size.height();
            }
}

TEST(Shading, EmptyGradientDrawsNothing) {
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));
    {
        QPainter painter(&image);
        TCanvas canvas(painter);
        FillVerticalGradient(canvas, {2, 2, 2, 8}, clBlack, clWhite);
        FillVerticalGradient(canvas, {2, 5, 8, 5}, clBlack, clWhite);
    }
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(image.pixel(x, y), qRgb(1, 2, 3));
}

} // namespace
