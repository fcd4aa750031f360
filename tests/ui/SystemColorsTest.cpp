#include "platform/SystemColors.h"

#include <gtest/gtest.h>

namespace {

TEST(SystemColors, ResolveThroughTheFixedScheme) {
    EXPECT_EQ(ColorToRGB(clWindow), RGB(255, 255, 255));
    EXPECT_EQ(ColorToRGB(clBtnFace), RGB(240, 240, 240));
    EXPECT_EQ(ColorToRGB(clHighlight), RGB(0, 120, 215));
    EXPECT_EQ(ColorToRGB(clInactiveCaption), RGB(191, 205, 219));
    EXPECT_EQ(ColorToRGB(clGrayText), RGB(109, 109, 109));
    EXPECT_EQ(ColorToRGB(cl3DDkShadow), RGB(105, 105, 105));
    EXPECT_EQ(ColorToRGB(clInfoBk), RGB(255, 255, 225));
    EXPECT_EQ(clWindow, static_cast<TColor>(0xFF000005));
}

TEST(SystemColors, RgbValuesPassAndUnknownIndicesAreBlack) {
    EXPECT_EQ(ColorToRGB(7617536), 7617536); // the buttons' frame, (0, 60, 116)
    EXPECT_EQ(RedOf(7617536), 0);
    EXPECT_EQ(GreenOf(7617536), 60);
    EXPECT_EQ(BlueOf(7617536), 116);
    EXPECT_EQ(clNavy, 128 * 65536);
    EXPECT_EQ(ColorToRGB(SystemColor(200)), clBlack);
    EXPECT_EQ(ColorToRGB(static_cast<TColor>(0x1F00FF00)), RGB(0, 255, 0));
    EXPECT_FALSE(IsSystemColor(clSilver));
}

} // namespace
