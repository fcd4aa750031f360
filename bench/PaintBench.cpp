// Paint figures of the window's own look, on the offscreen platform: one
// paint of "搜索设备" at rest, under the mouse (hot ring) and disabled, and one
// paint of the whole window with its controls. Nothing is sent: the window is
// built but not started, so its endpoint stays closed.
// Run: QT_QPA_PLATFORM=offscreen build/release/bench/paint_bench
#include "app/Application.h"
#include "app/Main.h"
#include "ui/HotButton.h"

#include <QEnterEvent>
#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

// Mean milliseconds of one synchronous repaint of `widget`.
double PaintMs(QWidget& widget, int times) {
    widget.repaint(); // warm up font and pixmap caches
    const auto start = Clock::now();
    for (int i = 0; i < times; ++i)
        widget.repaint();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / times;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    TMainForm form;
    form.show();
    QApplication::processEvents();

    constexpr int kButtonPaints = 2000;
    constexpr int kWindowPaints = 200;
    THotButton& button = *form.btnSearch;
    std::printf("button paint, at rest:     %8.4f ms (mean of %d)\n",
                PaintMs(button, kButtonPaints), kButtonPaints);
    QEnterEvent enter(QPointF(20, 10), QPointF(20, 10), button.mapToGlobal(QPointF(20, 10)));
    QApplication::sendEvent(&button, &enter);
    std::printf("button paint, hot ring:    %8.4f ms (mean of %d)\n",
                PaintMs(button, kButtonPaints), kButtonPaints);
    button.SetEnabled(false);
    std::printf("button paint, disabled:    %8.4f ms (mean of %d)\n",
                PaintMs(button, kButtonPaints), kButtonPaints);
    button.SetEnabled(true);
    std::printf("full window paint:         %8.3f ms (mean of %d, %dx%d)\n",
                PaintMs(form, kWindowPaints), kWindowPaints, form.width(), form.height());
    return 0;
}
