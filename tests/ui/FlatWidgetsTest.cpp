#include "ImageProbe.h"
#include "platform/CodePage.h"
#include "ui/FlatComboBox.h"
#include "ui/FlatStatusBar.h"
#include "ui/FrameGroupBox.h"
#include "ui/Shading.h"
#include "ui/StyledLabel.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace {

const QRgb kFace = qRgb(240, 240, 240);
const QRgb kWhite = qRgb(255, 255, 255);

QString U(const char* text) {
    return QString::fromUtf8(text);
}

QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// cbAdapters as the main window has it, with three adapters.
class FlatComboBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        combo.setGeometry(0, 0, 586, 24);
        combo.setFont(TFont{QStringLiteral("MS Sans Serif"), 13}.ToQFont());
        combo.addItems({U("1. eth-a"), U("2. eth-b"), U("3. 无线网卡")});
        combo.setCurrentIndex(0);
        QObject::connect(&combo, &TFlatComboBox::OnChange, [this] { ++changes; });
        combo.show();
        QApplication::processEvents();
    }

    void Type(const QString& text) {
        for (const QChar c : text) {
            QKeyEvent event(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(&combo, &event);
        }
    }

    void Key(int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&combo, &event);
    }

    void Wheel(int delta) {
        QWheelEvent event(QPointF(10, 10), combo.mapToGlobal(QPointF(10, 10)), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&combo, &event);
    }

    TFlatComboBox combo;
    int changes = 0;
};

TEST_F(FlatComboBoxTest, OnePixelGreyFrameThenBackgroundRingWhiteOrFaceWhenDisabled) {
    combo.clearFocus(); // focused, the text area shows the selection colour
    for (const bool enabled : {true, false}) {
        combo.setEnabled(enabled);
        const QImage shot = Grab(combo);
        const QRgb background = enabled ? kWhite : kFace;
        const QRgb frame = Rgb(clBtnShadow);
        const QRect edges[] = {{0, 0, 1, 24}, {0, 0, 586, 1}, {585, 0, 1, 24}, {0, 23, 586, 1}};
        for (const QRect& edge : edges)
            EXPECT_TRUE(AllOf(shot, edge, frame)) << enabled;
        EXPECT_TRUE(AllOf(shot, {1, 1, 584, 1}, background)) << enabled;
        EXPECT_TRUE(AllOf(shot, {1, 1, 1, 22}, background)) << enabled;
        EXPECT_TRUE(AllOf(shot, {1, 22, 584, 1}, background)) << enabled;
        EXPECT_TRUE(AllOf(shot, {300, 2, 200, 20}, background)) << "the text area " << enabled;
        EXPECT_EQ(combo.Color(), enabled ? clWindow : clBtnFace);
    }
}

TEST_F(FlatComboBoxTest, TypedPrefixSelectsFiresOnChangePerMatchAndBeepsOnNone) {
    Type("2");
    EXPECT_EQ(combo.currentIndex(), 1);
    Type(".");
    EXPECT_EQ(changes, 2) << "once per matching keystroke";
    Type("x");
    EXPECT_EQ(combo.currentIndex(), 1);
    EXPECT_EQ(combo.TypedPrefix(), "2.");
    EXPECT_EQ(changes, 2);
    Type("3. 无");
    EXPECT_EQ(combo.currentIndex(), 1) << "\"2.3\" matches nothing";
    Key(Qt::Key_Escape);
    EXPECT_EQ(combo.TypedPrefix(), "");
    Type("3. 无");
    EXPECT_EQ(combo.currentIndex(), 2);
    EXPECT_EQ(combo.TypedPrefix(), Utf8ToGbk("3. 无"));
    Key(Qt::Key_Backspace);
    EXPECT_EQ(combo.TypedPrefix(), "3. ") << "a double-byte character goes as a whole";
    Key(Qt::Key_Backspace);
    Key(Qt::Key_Backspace);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(combo.currentIndex(), 0) << "nothing left selects the first entry";
    EXPECT_EQ(combo.TypedPrefix(), "");
    changes = 0;
    combo.setCurrentIndex(1);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(combo.currentIndex(), 0) << "an empty prefix searches the empty text";
    EXPECT_EQ(changes, 1);
}

TEST_F(FlatComboBoxTest, PrefixIsForgottenAfter1500Ms) {
    Type("2.");
    ASSERT_EQ(combo.currentIndex(), 1);
    QElapsedTimer timer;
    timer.start();
    while (!combo.TypedPrefix().empty() && timer.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(combo.TypedPrefix(), "");
    EXPECT_GE(timer.elapsed(), 1400);
    Type("3");
    EXPECT_EQ(combo.currentIndex(), 2) << "a new search, not \"2.3\"";
}

TEST_F(FlatComboBoxTest, WheelStepsAndFiresNothingAtEitherEnd) {
    Wheel(120);
    EXPECT_EQ(combo.currentIndex(), 0);
    EXPECT_EQ(changes, 0);
    Wheel(-120);
    EXPECT_EQ(combo.currentIndex(), 1);
    Wheel(-240);
    EXPECT_EQ(combo.currentIndex(), 2);
    EXPECT_EQ(changes, 2);
    Wheel(-120);
    EXPECT_EQ(combo.currentIndex(), 2);
    EXPECT_EQ(changes, 2);
    Wheel(120);
    EXPECT_EQ(combo.currentIndex(), 1);
    EXPECT_EQ(changes, 3);
    combo.setCurrentIndex(-1);
    Wheel(120);
    EXPECT_EQ(combo.currentIndex(), 0) << "no selection: the first entry, without events";
    EXPECT_EQ(changes, 3);
    Key(Qt::Key_Down);
    EXPECT_EQ(combo.currentIndex(), 1);
    EXPECT_EQ(changes, 4) << "a selection key is a choice too";
    combo.ReadOnly = true;
    Wheel(-120);
    Type("3");
    EXPECT_EQ(combo.currentIndex(), 1);
}

TEST_F(FlatComboBoxTest, FineWheelStepsOncePerWholeNotch) {
    for (int i = 0; i < 8; ++i)
        Wheel(-15);
    EXPECT_EQ(changes, 1);
    Wheel(-60);
    Wheel(30);
    Wheel(90);
    EXPECT_EQ(combo.currentIndex(), 0) << "turning back forgets the part notch";
    EXPECT_EQ(changes, 2);
}

TEST_F(FlatComboBoxTest, DropDownIsAsWideAsTheWidestEntry) {
    EXPECT_EQ(combo.DroppedWidth(), 586) << "never narrower than the control";
    const QString wide = QString(120, u'W');
    combo.addItem(wide);
    const int text = QFontMetrics(combo.font()).horizontalAdvance(wide);
    ASSERT_GT(text + 8, 586);
    EXPECT_EQ(combo.DroppedWidth(), text + 8);
    for (int i = 0; i < 5; ++i)
        combo.addItem(U("x"));
    EXPECT_EQ(combo.DroppedWidth(), text + 8 + 17) << "nine entries need the scroll bar";
    combo.showPopup();
    EXPECT_GE(combo.view()->width(), text + 8);
    combo.hidePopup();
    combo.DropDownWidth = 300;
    EXPECT_EQ(combo.DroppedWidth(), 300);
}

// The status line at the bottom of a sizeable window.
class FlatStatusBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(846, 40);
        window.setFont(TFont{U("宋体"), 12}.ToQFont());
        bar.setGeometry(0, 21, 846, 19);
        bar.SimpleStatus = true;
        bar.SetBorders(TFrameStyleEx::fsFlat, TFrameStyleEx::fsNone, AllSides);
        bar.SetSimpleCaption(U("设备搜索完成！"));
        window.show();
        QApplication::processEvents();
    }

    void Mouse(QEvent::Type type, QPoint at) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, bar.mapToGlobal(QPointF(at)), Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(&bar, &event);
    }

    QWidget window;
    TFlatStatusBar bar{&window};
};

TEST_F(FlatStatusBarTest, BorderTextAtFourAndGrip) {
    const QImage shot = Grab(bar);
    const QRgb border = Rgb(LightenColor(clBtnShadow, 30));
    const QRect edges[] = {{0, 0, 1, 19}, {0, 0, 846, 1}, {845, 0, 1, 19}, {0, 18, 846, 1}};
    for (const QRect& edge : edges)
        EXPECT_TRUE(AllOf(shot, edge, border));
    EXPECT_EQ(bar.SimpleTextRect(), (TRect{2, 2, 844, 17}));
    EXPECT_EQ(bar.SimpleTextOrigin(), QPoint(4, 3));
    const QRect ink = InkBox(shot, {1, 1, 800, 17}, kFace);
    EXPECT_GE(ink.left(), 4);
    EXPECT_LE(ink.left(), 6);
    EXPECT_GE(ink.top(), 2);
    EXPECT_LE(ink.bottom(), 16);
    EXPECT_TRUE(bar.GripUsable());
    // X = 844, Y = 18: highlight squares from (840, 6), shadow one up and left
    EXPECT_EQ(shot.pixel(841, 7), kWhite);
    EXPECT_EQ(shot.pixel(839, 5), Rgb(clBtnShadow));
    EXPECT_EQ(shot.pixel(833, 15), kWhite);
    EXPECT_EQ(shot.pixel(831, 13), Rgb(clBtnShadow));
    EXPECT_EQ(shot.pixel(833, 7), kFace) << "six squares, not nine";
    EXPECT_EQ(shot.pixel(842, 8), kFace);
}

TEST_F(FlatStatusBarTest, GripCursorAndDraggingResizeTheWindow) {
    Mouse(QEvent::MouseMove, {840, 10});
    EXPECT_EQ(bar.cursor().shape(), Qt::SizeFDiagCursor);
    Mouse(QEvent::MouseMove, {832, 10});
    EXPECT_NE(bar.cursor().shape(), Qt::SizeFDiagCursor);
    Mouse(QEvent::MouseButtonPress, {840, 10});
    Mouse(QEvent::MouseMove, {870, 30});
    Mouse(QEvent::MouseButtonRelease, {870, 30});
    EXPECT_EQ(window.size(), QSize(876, 60));
}

TEST_F(FlatStatusBarTest, NoGripWhileMaximised) {
    window.showMaximized();
    QApplication::processEvents();
    const QImage shot = Grab(bar);
    EXPECT_FALSE(bar.GripUsable());
    EXPECT_TRUE(AllOf(shot, {830, 2, 14, 15}, kFace));
    Mouse(QEvent::MouseMove, {840, 10});
    EXPECT_NE(bar.cursor().shape(), Qt::SizeFDiagCursor);
}

TEST(FrameGroupBox, TopLineAtFiveBrokenByTheCaptionAndClientArea) {
    TFrameGroupBox box;
    box.resize(846, 521);
    box.setFont(TFont{U("宋体"), 13}.ToQFont());
    box.SetCaption(U("设备列表"));
    const QImage shot = Grab(box);
    const QRgb frame = Rgb(LightenColor(clBtnShadow, 30));
    const TRect caption = box.CaptionRect();
    EXPECT_EQ(caption.Left, 8);
    EXPECT_GT(caption.Width(), 30);
    EXPECT_TRUE(AllOf(shot, {2, 5, 6, 1}, frame));
    EXPECT_EQ(OtherThan(shot, {8, 5, caption.Width(), 1}, kFace, qRgb(0, 0, 0)), 0) << "the gap";
    EXPECT_TRUE(AllOf(shot, {caption.Right, 5, 844 - caption.Right, 1}, frame));
    EXPECT_GT(OtherThan(shot, {8, 0, caption.Width(), 13}, kFace, kFace), 20) << "caption ink";
    EXPECT_TRUE(AllOf(shot, {0, 7, 1, 512}, frame));
    EXPECT_TRUE(AllOf(shot, {845, 7, 1, 512}, frame));
    EXPECT_TRUE(AllOf(shot, {2, 520, 842, 1}, frame));
    EXPECT_EQ(shot.pixel(1, 6), frame);
    EXPECT_EQ(shot.pixel(0, 5), kFace) << "rounded corner";
    EXPECT_EQ(shot.pixel(0, 6), kFace);
    EXPECT_EQ(box.ClientArea(), (TRect{1, 14, 845, 520}));
}

TEST(StyledLabel, ParentColourBehindFontColourOrGreyText) {
    TBorderPanel panel;
    panel.BorderOuter = TFrameStyleEx::fsNone;
    panel.Color = RGB(10, 20, 30);
    panel.resize(300, 40);
    TStyledLabel label(&panel);
    label.SetFont({U("宋体"), 13, 0, clNavy});
    label.SetCaption(U("若未找到设备，请重选适配器进行搜索"));
    EXPECT_EQ(label.height(), 13);
    EXPECT_GT(label.width(), 150);
    for (const bool enabled : {true, false}) {
        label.setEnabled(enabled);
        const QImage shot = Grab(label);
        EXPECT_EQ(shot.pixel(0, 0), qRgb(10, 20, 30));
        const QRgb text = enabled ? qRgb(0, 0, 128) : Rgb(clGrayText);
        EXPECT_EQ(OtherThan(shot, shot.rect(), qRgb(10, 20, 30), text), 0) << enabled;
        EXPECT_GT(InkBox(shot, shot.rect(), qRgb(10, 20, 30)).width(), 150) << enabled;
    }
}

TEST(WidgetAccessibility, RolesAndNames) {
    TFlatStatusBar bar;
    bar.SetSimpleCaption(U("设备搜索完成！"));
    TFrameGroupBox box;
    box.SetCaption(U("设备列表"));
    TStyledLabel label;
    label.SetCaption(U("网络适配器："));
    const struct {
        QWidget* widget;
        QAccessible::Role role;
        QString name;
    } cases[] = {{&bar, QAccessible::StatusBar, U("设备搜索完成！")},
                 {&box, QAccessible::Grouping, U("设备列表")},
                 {&label, QAccessible::StaticText, U("网络适配器：")}};
    for (const auto& c : cases) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(c.widget);
        ASSERT_NE(face, nullptr);
        EXPECT_EQ(face->role(), c.role);
        EXPECT_EQ(face->text(QAccessible::Name), c.name);
    }
}

} // namespace
