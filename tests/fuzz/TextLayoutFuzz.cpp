#include "FuzzCheck.h"
#include "platform/CodePage.h"
#include "ui/Canvas.h"
#include "ui/TextBlock.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>

// Fonts need an application object. It lives until the process ends and is
// never destroyed: libFuzzer leaves through exit(), after Qt's own globals.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(*argc, *argv);
    return 0;
}

// Input: two bytes of DrawText flags, one byte of width, then a reply's GBK
// text, laid out and drawn as a list cell would be.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const unsigned known = DT_CENTER | DT_RIGHT | DT_VCENTER | DT_WORDBREAK | DT_SINGLELINE |
                           DT_EXPANDTABS | DT_NOPREFIX | DT_EDITCONTROL | DT_PATH_ELLIPSIS |
                           DT_END_ELLIPSIS;
    const unsigned flags = (data[0] | data[1] << 8) & known;
    const int width = data[2];
    const std::string gbk(reinterpret_cast<const char*>(data + 3), size - 3);
    QImage image(64, 48, QImage::Format_RGB32);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(13);
    const TTextBlock block(QString::fromStdString(GbkToUtf8(gbk)), flags, font, &image, width, 48);
    FUZZ_CHECK(block.Height() >= 0);
    FUZZ_CHECK(block.Width() >= 0);
    QPainter painter(&image);
    const QColor background(Qt::white);
    block.Draw(painter, TRect{0, 0, width, 48}, &background);
    return 0;
}
