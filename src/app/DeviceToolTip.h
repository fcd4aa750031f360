#pragma once

#include "discovery/HardwareLookup.h"

#include <QString>

// A device row's tooltip: "设备MAC: 00-1A-2B-3C-4D-5E" and, on a second line,
// "厂商: …" when the maker is known. Empty when the MAC is unknown, so no
// tooltip shows.
QString DeviceToolTip(const TDeviceHardware& hardware);
