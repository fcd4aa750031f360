#pragma once

class TColumnListBox;

// Gives a columned list the main window's device list look: the five
// sections (device name, IP, MAC, version, information; only IP and
// information have a width), its fonts, colour and row and header heights.
void SetUpDeviceList(TColumnListBox& list);
