// Shows a device list as the main window has it, with a few multi-line
// Chinese replies, and saves a picture of it: device-list-shot FILE.png
#include "app/DeviceList.h"
#include "platform/CodePage.h"
#include "ui/ColumnListBox.h"

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>

namespace {

void Fill(TColumnListBox& list) {
    SetUpDeviceList(list);
    const char* replies[] = {
        "设备型号：IP话机 X3S\n固件版本：2.1.7\n设备MAC：00:1A:2B:3C:4D:5E",
        "设备型号：门口对讲机 D20\n固件版本：1.0.12\n状态：空闲",
        "设备型号：网络广播终端\n固件版本：3.4.0\n分机号：8001",
    };
    int host = 20;
    for (const char* reply : replies)
        list.Items().Add(";192.168.1." + std::to_string(host++) + ";;;" + Utf8ToGbk(reply) + ";");
    list.SetItemHeight(3 * 17);
    list.RowList().SetItemIndex(1);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.png\n", argv[0]);
        return 2;
    }
    TColumnListBox list;
    list.setWindowTitle(QString::fromUtf8("设备查找"));
    Fill(list);
    list.resize(844, 260);
    list.move(0, 0);
    list.show();
    list.SetFocus();
    QTimer::singleShot(500, [&] {
        const QPixmap shot = list.screen()->grabWindow(list.winId());
        app.exit(shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1);
    });
    return app.exec();
}
