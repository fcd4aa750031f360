#include "ui/Canvas.h"
#include "ImageProbe.h"
#include "platform/CodePage.h"

#include <QFontMetrics>
#include <QPainter>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);

// A white 120 x 60 image drawn on through a canvas.
QImage Draw(const std::function<void(TCanvas&)>& paint, QSize size = {120, 60}, int scale = 1) {
    QImage image(size * scale, QImage::Format_RGB32); // `scale` device pixels a pixel
    image.setDevicePixelRatio(scale);
    image.fill(kWhite);
    QPainter painter(&image);
    TCanvas canvas(painter);
    paint(canvas);
    return image;
}

int CalcHeight(std::string_view text, unsigned flags, int width = 100) {
    int height = 0;
    Draw([&](TCanvas& canvas) {
        TRect rect{0, 0, width, 0};
        height = canvas.DrawText(text, rect, flags | DT_CALCRECT);
    });
    return height;
}

int LineHeight() {
    return QFontMetrics(TFont{}.ToQFont()).height();
}

TEST(Canvas, LinesLeaveOutTheirEndPoint) {
    const QImage image = Draw([](TCanvas& canvas) {
        canvas.MoveTo(2, 2);
        canvas.LineTo(6, 2); // x 2..5
        canvas.LineTo(6, 6); // y 2..5
        canvas.MoveTo(20, 10);
        canvas.LineTo(16, 10); // reversed: x 20..17
        canvas.MoveTo(30, 0);
        canvas.LineTo(34, 4); // diagonal: (30,0) .. (33,3)
    });
    EXPECT_EQ(InkBox(image, {0, 2, 10, 1}, kWhite), QRect(2, 2, 5, 1));
    EXPECT_EQ(InkBox(image, {6, 0, 1, 10}, kWhite), QRect(6, 2, 1, 4));
    EXPECT_EQ(InkBox(image, {10, 10, 20, 1}, kWhite), QRect(17, 10, 4, 1));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(image.pixel(30 + i, i), kBlack);
    EXPECT_EQ(image.pixel(34, 4), kWhite);
}

TEST(Canvas, PenStylesPatternAndClearPenOnlyMoves) {
    const QImage image = Draw([](TCanvas& canvas) {
        canvas.Pen.Style = TPenStyle::psDot;
        canvas.MoveTo(0, 0);
        canvas.LineTo(12, 0);
        canvas.Pen.Style = TPenStyle::psClear;
        canvas.MoveTo(0, 5);
        canvas.LineTo(50, 5);
        canvas.Pen.Style = TPenStyle::psSolid;
        canvas.LineTo(50, 8); // starts where the clear line ended
    });
    for (int x = 0; x < 12; ++x)
        EXPECT_EQ(image.pixel(x, 0), (x % 6) < 3 ? kBlack : kWhite) << x;
    EXPECT_TRUE(AllOf(image, {0, 5, 50, 1}, kWhite));
    EXPECT_EQ(InkBox(image, {0, 4, 120, 10}, kWhite), QRect(50, 5, 1, 3));
}

TEST(Canvas, FillRectAndRectangleAreHalfOpen) {
    const QImage image = Draw([](TCanvas& canvas) {
        canvas.Brush.Color = clHighlight;
        canvas.FillRect({2, 2, 6, 5});
        canvas.FillRect({10, 2, 10, 5}); // empty
        canvas.Pen.Color = clNavy;
        canvas.Rectangle({20, 0, 26, 4}); // outline on x 20..25, y 0..3
        canvas.Pen.Style = TPenStyle::psClear;
        canvas.Rectangle({40, 0, 44, 4}); // brush only, [40, 43) x [0, 3)
        canvas.Pen.Style = TPenStyle::psSolid;
        canvas.Brush.Style = TBrushStyle::bsClear;
        canvas.Rectangle({60, 0, 64, 4}); // outline only
    });
    EXPECT_EQ(InkBox(image, {0, 0, 20, 10}, kWhite), QRect(2, 2, 4, 3));
    EXPECT_EQ(image.pixel(2, 2), Rgb(clHighlight));
    EXPECT_EQ(InkBox(image, {18, 0, 12, 10}, kWhite), QRect(20, 0, 6, 4));
    EXPECT_EQ(image.pixel(20, 0), Rgb(clNavy));
    EXPECT_EQ(image.pixel(25, 3), Rgb(clNavy));
    EXPECT_EQ(image.pixel(22, 2), Rgb(clHighlight));
    EXPECT_EQ(InkBox(image, {38, 0, 10, 10}, kWhite), QRect(40, 0, 3, 3));
    EXPECT_EQ(InkBox(image, {58, 0, 10, 10}, kWhite), QRect(60, 0, 4, 4));
    EXPECT_EQ(image.pixel(61, 1), kWhite);
}

TEST(Canvas, FocusRectInvertsEverySecondEdgePixelAndUndoesItself) {
    const TRect rect{3, 2, 11, 7};
    const auto paint = [&](TCanvas& canvas) {
        canvas.Brush.Color = clHighlight;
        canvas.FillRect({0, 0, 20, 10});
        canvas.DrawFocusRect(rect);
    };
    const QImage once = Draw(paint);
    const QRgb inverted = qRgb(255, 135, 40);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool edge =
                x >= rect.Left && x < rect.Right && y >= rect.Top && y < rect.Bottom &&
                (x == rect.Left || x == rect.Right - 1 || y == rect.Top || y == rect.Bottom - 1);
            const bool dot = edge && (x + y - rect.Left - rect.Top) % 2 == 0;
            EXPECT_EQ(once.pixel(x, y), dot ? inverted : Rgb(clHighlight)) << x << "," << y;
        }
    EXPECT_TRUE(Draw(paint, {120, 60}, 2).copy() == once.scaled(240, 120)) << "dots at 200 %";
    const QImage twice = Draw([&](TCanvas& canvas) {
        canvas.DrawFocusRect(rect);
        canvas.DrawFocusRect(rect);
    });
    EXPECT_TRUE(AllOf(twice, twice.rect(), kWhite));
}

TEST(Canvas, DrawTextBreaksLinesAndMeasures) {
    const int line = LineHeight();
    EXPECT_EQ(CalcHeight("one", 0), line);
    EXPECT_EQ(CalcHeight("a\nb\rc\r\nd", 0), 4 * line);
    EXPECT_EQ(CalcHeight("a\n", 0), 2 * line);
    EXPECT_EQ(CalcHeight("a\nb\rc", DT_SINGLELINE), line);
    EXPECT_EQ(CalcHeight("", 0), 0);
    EXPECT_GE(CalcHeight("many short words in a row", DT_WORDBREAK, 40), 3 * line);
    EXPECT_EQ(CalcHeight("many short words in a row", 0, 40), line);
    Draw([&](TCanvas& canvas) { // lines below a small rectangle still count
        TRect rect{0, 0, 50, line};
        EXPECT_EQ(canvas.DrawText("1\n2\n3\n4\n5", rect, 0), 5 * line);
    });

    int width = 0;
    int expanded = 0;
    int ampersands = 0;
    int prefixed = 0;
    Draw([&](TCanvas& canvas) {
        const auto measure = [&canvas](std::string_view text, unsigned flags) {
            TRect rect{5, 5, 5, 5};
            canvas.DrawText(text, rect, flags | DT_CALCRECT);
            return rect.Width();
        };
        width = measure("ab", 0);
        EXPECT_EQ(measure("a\tb", 0), width); // a tab takes no room unless expanded
        expanded = measure("a\tb", DT_EXPANDTABS);
        ampersands = measure("&&", DT_NOPREFIX);
        prefixed = measure("&&", 0);
        EXPECT_EQ(measure("&a", 0), measure("a", 0));
    });
    EXPECT_GE(expanded, width + 8 * QFontMetrics(TFont{}.ToQFont()).averageCharWidth() - 10);
    EXPECT_NEAR(prefixed * 2, ampersands, 1); // widths are rounded up
    EXPECT_LT(prefixed, ampersands);
}

TEST(Canvas, DrawTextAlignsEachLineAndClipsToTheRectangle) {
    const int line = LineHeight();
    const TRect box{10, 4, 110, 4 + 2 * line - 3}; // the second line is partly outside
    const auto ink = [&](unsigned flags, std::string_view text) {
        const QImage image = Draw([&](TCanvas& canvas) {
            TRect rect = box;
            canvas.Brush.Style = TBrushStyle::bsClear;
            canvas.DrawText(text, rect, flags);
        });
        EXPECT_TRUE(AllOf(image, {0, 0, 120, box.Top}, kWhite));
        EXPECT_TRUE(AllOf(image, {0, box.Bottom, 120, 60 - box.Bottom}, kWhite));
        EXPECT_EQ(OtherThan(image, image.rect(), kWhite, kBlack), 0);
        return InkBox(image, image.rect(), kWhite);
    };
    const QRect left = ink(DT_LEFT, "Hi");
    const QRect right = ink(DT_RIGHT, "Hi");
    const QRect centre = ink(DT_CENTER, "Hi");
    EXPECT_LE(left.left() - box.Left, 3); // glyphs have side bearings
    EXPECT_LE(box.Right - 1 - right.right(), 3);
    EXPECT_EQ(right.width(), left.width());
    EXPECT_NEAR(centre.center().x(), (box.Left + box.Right) / 2, 2);
    EXPECT_GE(ink(DT_LEFT, "Hi\nHi").bottom(), box.Top + line); // second line, cut
    EXPECT_LT(ink(DT_LEFT | DT_EDITCONTROL, "Hi\nHi").bottom(), box.Top + line);
    EXPECT_TRUE(ink(DT_LEFT, "Hi").top() >= box.Top);
    const QRect centred = ink(DT_SINGLELINE | DT_VCENTER, "Hi");
    EXPECT_GT(centred.top(), left.top());
}

TEST(Canvas, DrawTextWithSolidBrushFillsTheLineExtent) {
    const QImage image = Draw([](TCanvas& canvas) {
        canvas.Brush.Color = clInfoBk;
        TRect rect{10, 10, 110, 50};
        canvas.DrawText("x", rect, 0);
    });
    const QRect filled = InkBox(image, image.rect(), kWhite);
    EXPECT_EQ(filled.topLeft(), QPoint(10, 10));
    EXPECT_EQ(filled.height(), LineHeight());
    EXPECT_EQ(image.pixel(10, 10), Rgb(clInfoBk));
}

TEST(Canvas, EllipsesShortenLinesThatDoNotFit) {
    const std::string path = "C:\\a long folder name\\another folder\\file.txt";
    Draw([&](TCanvas& canvas) {
        const auto width = [&canvas](std::string_view text, unsigned flags, int room) {
            TRect rect{0, 0, room, 0};
            canvas.DrawText(text, rect, flags | DT_CALCRECT);
            return rect.Width();
        };
        const int tail = width("...\\file.txt", 0, 1000);
        EXPECT_GT(width(path, 0, 120), 120);
        EXPECT_LE(width(path, DT_END_ELLIPSIS, 120), 120);
        EXPECT_LE(width(path, DT_PATH_ELLIPSIS, 120), 120);
        EXPECT_GE(width(path, DT_PATH_ELLIPSIS, 120), tail);
        EXPECT_EQ(width("short", DT_END_ELLIPSIS, 120), width("short", 0, 120));
    });
}

TEST(Canvas, DrawTextTakesAnyBytes) {
    std::string noise(8192, '\0');
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i * 7919) % 256);
    const std::string chinese = Utf8ToGbk("设备名");
    const std::string invalid("\x81\x20\xFF\x80\xC9", 5);
    // Each text is drawn inside its rectangle and reports at least one line.
    const QRect box(20, 20, 120, 60);
    for (const unsigned flags : {0u, DT_WORDBREAK | DT_EXPANDTABS, DT_END_ELLIPSIS,
                                 DT_PATH_ELLIPSIS | DT_SINGLELINE | DT_VCENTER}) {
        for (const std::string& text : {noise, chinese, invalid, std::string(3, '\0')}) {
            int height = 0;
            const QImage image = Draw(
                [&](TCanvas& canvas) {
                    TRect rect{box.left(), box.top(), box.right() + 1, box.bottom() + 1};
                    height = canvas.DrawText(text, rect, flags);
                },
                {160, 100});
            EXPECT_GE(height, LineHeight()) << flags << " " << text.size();
            const QRect ink = InkBox(image, image.rect(), kWhite);
            EXPECT_TRUE(box.contains(ink)) << flags << " " << text.size();
            if (text != std::string(3, '\0')) {
                EXPECT_FALSE(ink.isNull()) << flags << " " << text.size();
            }
        }
    }
}

} // namespace
