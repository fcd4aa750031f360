#include "app/DeviceList.h"

#include "ui/ColumnListBox.h"

void SetUpDeviceList(TColumnListBox& list) {
    list.SetFont({QStringLiteral("MS Sans Serif"), 13});
    list.SetColor(clWindow);
    list.SetHeaderFont({QString::fromUtf8("宋体"), 12});
    list.SetHeaderHeight(17);
    list.SetItemHeight(16);
    list.SetHeaderSections({{QString::fromUtf8("设备名"), 0},
                            {QString::fromUtf8("设备IP"), 200},
                            {QString::fromUtf8("设备MAC"), 0},
                            {QString::fromUtf8("版本"), 0},
                            {QString::fromUtf8("信息"), 360}});
}
