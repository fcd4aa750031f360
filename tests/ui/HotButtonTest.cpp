#include "ui/HotButton.h"
#include "ImageProbe.h"
#include "ui/Shading.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <gtest/gtest.h>

namespace {

// Row y (0 at the top) of a gradient `height` rows tall, as the fixed point
// steps give it. On a 33-pixel button the face's gradient has 27 rows and the
// rings 29, both from y = 2.
QRgb GradientRow(TColor bottom, TColor top, int y, int height) {
    auto channel = [&](int b, int t) {
        return b + ((height - 1 - y) * ((t - b) * 65536 / height) >> 16);
    };
    bottom = ColorToRGB(bottom);
    top = ColorToRGB(top);
    return qRgb(channel(RedOf(bottom), RedOf(top)), channel(GreenOf(bottom), GreenOf(top)),
                channel(BlueOf(bottom), BlueOf(top)));
}

// "搜索设备" as the main window has it, on a panel of button face.
class HotButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        QPalette face = panel.palette();
        face.setColor(QPalette::Window, QColor(240, 240, 240));
        panel.setPalette(face);
        panel.setAutoFillBackground(true);
        panel.resize(200, 60);
        button.setGeometry(10, 4, 163, 33);
        button.SetCaption(QString::fromUtf8("搜索设备"));
        button.SetFont({QString::fromUtf8("宋体"), 13});
        button.SetHotTrack(true);
        button.FrameColor = RGB(0, 60, 116);
        QObject::connect(&button, &THotButton::OnClick, [this] { ++clicks; });
        panel.show();
        panel.activateWindow();
        QApplication::processEvents();
        panel.setFocus();
        QApplication::processEvents();
    }

    // The button as it shows on the panel, in button coordinates.
    QImage Shot() {
        return panel.grab(QRect(10, 4, 163, 33)).toImage().convertToFormat(QImage::Format_RGB32);
    }

    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
        QMouseEvent event(type, at, this->button.mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(&this->button, &event);
    }

    void Key(QEvent::Type type, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent event(type, key, mods, key == Qt::Key_Space ? " " : "");
        QApplication::sendEvent(&button, &event);
    }

    void Hover(bool in) {
        if (in) {
            QEnterEvent event(QPointF(20, 10), QPointF(20, 10),
                              button.mapToGlobal(QPointF(20, 10)));
            QApplication::sendEvent(&button, &event);
        } else {
            QEvent event(QEvent::Leave);
            QApplication::sendEvent(&button, &event);
        }
    }

    void Focus() {
        button.setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(button.hasFocus());
    }

    QWidget panel;
    THotButton button{&panel};
    int clicks = 0;
};

const QRgb kPanel = qRgb(240, 240, 240);
const QRgb kFrame = qRgb(0, 60, 116);

TEST_F(HotButtonTest, RestingLookRoundedCornersOuterRingFrameAndFace) {
    const QImage shot = Shot();
    const int w = 163, h = 33;
    struct Probe {
        QPoint at;
        QRgb colour;
    } probes[] = {
        // three panel pixels at each corner
        {{0, 0}, kPanel},
        {{1, 0}, kPanel},
        {{0, 1}, kPanel},
        {{w - 1, 0}, kPanel},
        {{w - 2, 0}, kPanel},
        {{w - 1, 1}, kPanel},
        {{0, h - 1}, kPanel},
        {{1, h - 1}, kPanel},
        {{0, h - 2}, kPanel},
        {{w - 1, h - 1}, kPanel},
        {{w - 2, h - 1}, kPanel},
        {{w - 1, h - 2}, kPanel},
        // outer ring: dark top and left, light bottom and right
        {{0, 10}, Rgb(DarkenColor(clBtnFace, 20))},
        {{40, 0}, Rgb(DarkenColor(clBtnFace, 20))},
        {{w - 1, 10}, Rgb(LightenColor(clBtnFace, 20))},
        {{40, h - 1}, Rgb(LightenColor(clBtnFace, 20))},
        {{1, 1}, Rgb(DarkenColor(clBtnFace, 20))},
        {{w - 2, h - 2}, Rgb(LightenColor(clBtnFace, 20))},
        // frame with its corners left out
        {{1, 2}, kFrame},
        {{2, 1}, kFrame},
        {{w - 2, 20}, kFrame},
        {{40, h - 2}, kFrame},
        // face: gradient, then the two dark rows
        {{2, 2}, GradientRow(DarkenColor(clBtnFace, 10), LightenColor(clBtnFace, 30), 0, 27)},
        {{2, 28}, GradientRow(DarkenColor(clBtnFace, 10), LightenColor(clBtnFace, 30), 26, 27)},
        {{2, h - 4}, Rgb(DarkenColor(clBtnFace, 20))},
        {{2, h - 3}, Rgb(DarkenColor(clBtnFace, 30))},
    };
    for (const Probe& p : probes)
        EXPECT_EQ(shot.pixel(p.at), p.colour) << p.at.x() << "," << p.at.y();
    EXPECT_GT(OtherThan(shot, {5, 5, 153, 23}, shot.pixel(5, 5), shot.pixel(5, 27)), 0)
        << "the caption shows";
}

TEST_F(HotButtonTest, HoverDrawsTheTwoPixelHotRingAndLeavingRemovesIt) {
    Hover(true);
    QApplication::processEvents();
    QImage shot = Shot();
    const TColor top = MixColors(clWhite, RGB(240, 155, 20), 190);
    EXPECT_EQ(shot.pixel(2, 30), qRgb(240, 155, 20)) << "bottom row";
    EXPECT_EQ(shot.pixel(80, 30), qRgb(240, 155, 20));
    EXPECT_EQ(shot.pixel(80, 2), GradientRow(RGB(240, 155, 20), top, 0, 29));
    EXPECT_EQ(shot.pixel(80, 3), GradientRow(RGB(240, 155, 20), top, 1, 29));
    EXPECT_EQ(shot.pixel(3, 3), GradientRow(RGB(240, 155, 20), top, 1, 29)) << "two pixels wide";
    EXPECT_NE(shot.pixel(4, 10), GradientRow(RGB(240, 155, 20), top, 8, 29));
    EXPECT_EQ(shot.pixel(1, 10), kFrame);
    EXPECT_NEAR(qRed(shot.pixel(80, 2)), 251, 1);
    EXPECT_NEAR(qBlue(shot.pixel(80, 2)), 195, 8);
    Hover(false);
    QApplication::processEvents();
    shot = Shot();
    EXPECT_EQ(shot.pixel(2, 10),
              GradientRow(DarkenColor(clBtnFace, 10), LightenColor(clBtnFace, 30), 8, 27));
    EXPECT_EQ(shot.pixel(80, 30), Rgb(DarkenColor(clBtnFace, 30)));
}

TEST_F(HotButtonTest, DragOffShowsRestingFaceReleaseOutsideDoesNotClickInsideClicksOnce) {
    const QRgb pressed = Rgb(DarkenColor(clBtnFace, 10));
    Mouse(QEvent::MouseButtonPress, {20, 10});
    EXPECT_TRUE(button.hasFocus());
    EXPECT_TRUE(button.PressedLook());
    EXPECT_EQ(Shot().pixel(5, 28), pressed) << "flat darker face, no ring";
    Mouse(QEvent::MouseMove, {20, 33}); // the row just below is outside
    EXPECT_FALSE(button.PressedLook());
    EXPECT_NE(Shot().pixel(20, 10), pressed);
    Mouse(QEvent::MouseButtonRelease, {20, 33});
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(button.Tracking());

    Mouse(QEvent::MouseButtonPress, {20, 10});
    Mouse(QEvent::MouseMove, {-1, 10});
    Mouse(QEvent::MouseMove, {162, 32});
    EXPECT_TRUE(button.PressedLook());
    bool pressedDuringClick = true;
    QObject::connect(&button, &THotButton::OnClick,
                     [&] { pressedDuringClick = button.PressedLook(); });
    Mouse(QEvent::MouseButtonRelease, {162, 32});
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(pressedDuringClick);
    Mouse(QEvent::MouseButtonPress, {20, 10}, Qt::RightButton);
    EXPECT_FALSE(button.Tracking()) << "only the left button tracks";
}

TEST_F(HotButtonTest, FocusRingDottedBorderEnterAndSpace) {
    Focus();
    const QImage shot = Shot();
    const TColor h = clHighlight, l = LightenColor(clBtnFace, 30);
    EXPECT_EQ(shot.pixel(80, 30), Rgb(MixColors(h, l, 160)));
    EXPECT_EQ(shot.pixel(80, 2), GradientRow(MixColors(h, l, 160), MixColors(h, l, 60), 0, 29));
    for (int x = 3; x < 12; ++x)
        EXPECT_EQ(shot.pixel(x, 3) == qRgb(0, 0, 0), x % 2 == 0) << x;
    for (int y = 3; y < 12; ++y)
        EXPECT_EQ(shot.pixel(3, y) == qRgb(0, 0, 0), y % 2 == 0) << y;
    EXPECT_EQ(shot.pixel(158, 29), qRgb(0, 0, 0)) << "bottom edge";
    EXPECT_EQ(shot.pixel(159, 28), qRgb(0, 0, 0)) << "right edge";
    EXPECT_NE(shot.pixel(159, 29), qRgb(0, 0, 0));
    EXPECT_TRUE(button.DefaultLook());

    Key(QEvent::KeyPress, Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
    Key(QEvent::KeyPress, Qt::Key_Space);
    EXPECT_TRUE(button.PressedLook());
    EXPECT_EQ(clicks, 1);
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ", true);
    QApplication::sendEvent(&button, &repeat);
    EXPECT_EQ(clicks, 1) << "an auto-repeated release is no release";
    Key(QEvent::KeyRelease, Qt::Key_Space);
    EXPECT_FALSE(button.PressedLook());
    EXPECT_EQ(clicks, 2);
}

TEST_F(HotButtonTest, SpaceWithAltNeitherArmsNorPresses) {
    Focus();
    Key(QEvent::KeyPress, Qt::Key_Space, Qt::AltModifier);
    EXPECT_FALSE(button.PressedLook());
    EXPECT_FALSE(button.SpaceArmed());
    Key(QEvent::KeyRelease, Qt::Key_Space, Qt::AltModifier);
    EXPECT_EQ(clicks, 0);
}

TEST_F(HotButtonTest, DisabledLooksFlatGreyAndLosesTheFocus) {
    Focus();
    button.SetEnabled(false);
    EXPECT_FALSE(button.hasFocus());
    QApplication::processEvents();
    const QImage shot = Shot();
    EXPECT_EQ(shot.pixel(1, 10), Rgb(LightenColor(clBtnShadow, 30)));
    EXPECT_EQ(shot.pixel(0, 10), kPanel) << "the outer ring takes the panel's colour";
    EXPECT_TRUE(AllOf(shot, {2, 2, 159, 5}, kPanel)) << "flat face";
    EXPECT_EQ(OtherThan(shot, {2, 2, 159, 29}, kPanel, Rgb(clGrayText)), 0) << "grey text only";
    EXPECT_GT(InkBox(shot, {2, 2, 159, 29}, kPanel).width(), 20);
    Mouse(QEvent::MouseButtonPress, {20, 10});
    Mouse(QEvent::MouseButtonRelease, {20, 10});
    EXPECT_EQ(clicks, 0);
    button.SetEnabled(true);
    EXPECT_FALSE(button.hasFocus());
}

TEST_F(HotButtonTest, DefaultLookFollowsTheFocusedButtonOrTheDefaultFlag) {
    THotButton other(&panel);
    QWidget plain(&panel);
    plain.setFocusPolicy(Qt::StrongFocus);
    other.show();
    plain.show();
    Focus();
    EXPECT_TRUE(button.DefaultLook());
    other.setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(button.DefaultLook());
    EXPECT_TRUE(other.DefaultLook());
    button.SetDefault(true);
    plain.setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(button.DefaultLook()) << "no button focused: the default button";
    EXPECT_FALSE(other.DefaultLook());
    EXPECT_EQ(Shot().pixel(80, 30), Rgb(MixColors(clHighlight, LightenColor(clBtnFace, 30), 160)))
        << "the focus ring without the focus";
}

TEST_F(HotButtonTest, DefaultLookOutlastsTheApplicationsDeactivation) {
    Focus();
    const QRgb ring = Rgb(MixColors(clHighlight, LightenColor(clBtnFace, 30), 160));
    for (QWidget* active : {static_cast<QWidget*>(nullptr), static_cast<QWidget*>(&panel)}) {
        QApplication::setActiveWindow(active);
        QApplication::processEvents();
        EXPECT_EQ(Shot().pixel(80, 30), ring) << (active ? "activated again" : "deactivated");
    }
}

TEST_F(HotButtonTest, AccessibleAsAPressablePushButtonNamedByItsCaption) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&button);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->role(), QAccessible::Button);
    EXPECT_EQ(face->text(QAccessible::Name), QString::fromUtf8("搜索设备"));
    face->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(button.focusPolicy(), Qt::StrongFocus);
}

} // namespace
