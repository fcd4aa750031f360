#include "app/DeviceToolTip.h"

QString DeviceToolTip(const TDeviceHardware& hardware) {
    if (hardware.mac.empty())
        return {};
    QString text = QString::fromUtf8("设备MAC: ") + QString::fromStdString(hardware.mac);
    if (!hardware.vendor.empty())
        text += QString::fromUtf8("\n厂商: ") + QString::fromStdString(hardware.vendor);
    return text;
}
