#pragma once

#include "platform/SystemColors.h"
#include "ui/Rect.h"

class TCanvas;

// Fills `rect` from `bottom` on its last row towards `top` on its first: each
// channel moves by (top - bottom) * 65536 / height per row in 16.16 fixed
// point, so the first row stops one step short of `top`. An empty rectangle
// draws nothing. The gradient is painted as one 8-pixel strip, a fill per run
// of equal rows, then widened by doubling copies, and drawn in one piece.
void FillVerticalGradient(TCanvas& canvas, const TRect& rect, TColor bottom, TColor top);
