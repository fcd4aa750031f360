#include "ui/Gradient.h"

#include "ui/Canvas.h"

#include <QImage>
#include <QPainter>
#include <cstring>

namespace {

constexpr int kStripWidth = 8;

struct TFixedRgb {
    int Red, Green, Blue;

    TColor Color() const {
        return RGB(static_cast<std::uint8_t>(Red >> 16), static_cast<std::uint8_t>(Green >> 16),
                   static_cast<std::uint8_t>(Blue >> 16));
    }
};

// Rows are painted from the bottom up; a run of rows of one colour is one
// fill.
void PaintStrip(QImage& image, TColor bottom, TColor top) {
    const int height = image.height();
    const int width = std::min(kStripWidth, image.width());
    TFixedRgb value{RedOf(bottom) << 16, GreenOf(bottom) << 16, BlueOf(bottom) << 16};
    const TFixedRgb step{(RedOf(top) - RedOf(bottom)) * 65536 / height,
                         (GreenOf(top) - GreenOf(bottom)) * 65536 / height,
                         (BlueOf(top) - BlueOf(bottom)) * 65536 / height};
    QPainter painter(&image);
    TCanvas canvas(painter);
    int runEnd = height; // the run covers rows [y, runEnd)
    TColor runColor = value.Color();
    for (int y = height - 1; y >= 0; --y) {
        const TColor color = value.Color();
        if (color != runColor) {
            canvas.Brush.Color = runColor;
            canvas.FillRect({0, y + 1, width, runEnd});
            runEnd = y + 1;
            runColor = color;
        }
        value.Red += step.Red;
        value.Green += step.Green;
        value.Blue += step.Blue;
    }
    canvas.Brush.Color = runColor;
    canvas.FillRect({0, 0, width, runEnd});
}

// Copies the strip across the image, doubling the copied width each time.
void Widen(QImage& image) {
    const int bytesPerPixel = image.depth() / 8;
    for (int done = std::min(kStripWidth, image.width()); done < image.width(); done *= 2) {
        const int count = std::min(done, image.width() - done);
        for (int y = 0; y < image.height(); ++y) {
            uchar* line = image.scanLine(y);
            std::memcpy(line + done * bytesPerPixel, line, size_t(count) * bytesPerPixel);
        }
    }
}

} // namespace

void FillVerticalGradient(TCanvas& canvas, const TRect& rect, TColor bottom, TColor top) {
    if (rect.IsEmpty())
        return;
    QImage image(rect.Width(), rect.Height(), QImage::Format_RGB32);
    PaintStrip(image, ColorToRGB(bottom), ColorToRGB(top));
    Widen(image);
    canvas.Draw(rect.Left, rect.Top, image);
}
