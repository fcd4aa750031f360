#pragma once

#include <QPalette>

// The application's palette, every role of every colour group taken from the
// fixed system-colour table, so that neither the desktop's palette nor its
// style's shows through anywhere Qt draws for us (frames, pop-ups, scroll
// bars). Disabled text is grey text; everything else is the same in every
// group, so activating the window changes nothing.
QPalette SystemPalette();
