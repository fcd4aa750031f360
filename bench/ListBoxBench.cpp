// Paint figures of the device list: 1000 realistic replies (address plus a
// three-line GBK text), one visible page painted, and a row-by-row scroll
// from the top to the bottom, each step painted.
#include "app/DeviceList.h"
#include "platform/CodePage.h"
#include "ui/ColumnListBox.h"

#include <QApplication>
#include <QScrollBar>
#include <chrono>
#include <cstdio>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Reply(int i) {
    return ";192.168." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1) + ";;;" +
           Utf8ToGbk("设备型号：IP话机 X" + std::to_string(i % 7) + "\n固件版本：2.1." +
                     std::to_string(i % 13) +
                     "\n设备MAC：00:1A:2B:3C:" + std::to_string(10 + i % 89) + ":5E") +
           ";";
}

void SetUp(TColumnListBox& list) {
    SetUpDeviceList(list);
    list.resize(844, 506);
    list.show();
    QApplication::processEvents();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TColumnListBox list;
    SetUp(list);

    constexpr int kRows = 1000;
    auto start = Clock::now();
    for (int i = 0; i < kRows; ++i)
        list.Items().Add(Reply(i));
    list.SetItemHeight(3 * 17);
    std::printf("add %d rows:            %8.2f ms\n", kRows, MillisecondsSince(start));

    QWidget* viewport = list.RowList().viewport();
    constexpr int kPaints = 200;
    viewport->repaint(); // warm up font caches
    start = Clock::now();
    for (int i = 0; i < kPaints; ++i)
        viewport->repaint();
    const double page = MillisecondsSince(start) / kPaints;
    const int visible = viewport->height() / list.ItemHeight() + 1;
    std::printf("paint one page (%d rows): %8.3f ms (mean of %d)\n", visible, page, kPaints);

    const int last = list.RowList().verticalScrollBar()->maximum();
    start = Clock::now();
    for (int top = 0; top <= last; ++top) {
        list.RowList().SetTopIndex(top);
        viewport->repaint();
    }
    const double scroll = MillisecondsSince(start);
    std::printf("scroll top to bottom:   %8.2f ms (%d steps of one row, %.3f ms each)\n", scroll,
                last + 1, scroll / (last + 1));
    return 0;
}
