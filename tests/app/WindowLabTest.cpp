#include "LabEnv.h"
#include "app/Application.h"
#include "app/Main.h"
#include "ui/ColumnListBox.h"
#include "ui/FlatComboBox.h"
#include "ui/FlatStatusBar.h"
#include "ui/HotButton.h"
#include "ui/Shading.h"

#include <QAbstractItemView>
#include <QCursor>
#include <QElapsedTimer>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

// The real window on a real X server (Xvfb) inside the network lab: the
// pointer, the click and the pixels go through the X server, and the search
// broadcasts only into the lab.
extern char** environ;

// The X platform plugin's D-Bus library keeps one buffer to the end of the
// process; it is none of ours. Read by LeakSanitizer when it runs.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

// A display number of its own, away from a desktop's :0 and other tests'.
constexpr const char* kDisplay = ":12";

QString U(const char* text) {
    return QString::fromUtf8(text);
}

QRgb Rgb(TColor color) {
    const TColor rgb = ColorToRGB(color);
    return qRgb(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class WindowLabTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!InLab())
            return;
        const std::string display = kDisplay;
        const std::string socket = "/tmp/.X11-unix/X" + display.substr(1);
        const bool shared = std::getenv("WINDOW_LAB_SHOT") != nullptr; // a copy uses ours
        if (std::filesystem::exists(socket) && !shared)
            return; // another server holds the display
        char* args[] = {const_cast<char*>("Xvfb"),        const_cast<char*>(kDisplay),
                        const_cast<char*>("-screen"),     const_cast<char*>("0"),
                        const_cast<char*>("1024x768x24"), const_cast<char*>("-nolisten"),
                        const_cast<char*>("tcp"),         nullptr};
        if (!shared && posix_spawnp(&xvfb_, "Xvfb", nullptr, nullptr, args, environ) != 0) {
            xvfb_ = -1;
            return;
        }
        for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i)
            usleep(50000);
        if (!std::filesystem::exists(socket))
            return; // the server did not come up; the tests skip
        setenv("DISPLAY", kDisplay, 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        app_ = new TApplication(argc_, argv_);
        app_->SetTitle(U("设备查找"));
    }

    static void TearDownTestSuite() {
        delete app_;
        app_ = nullptr;
        if (xvfb_ > 0) {
            kill(xvfb_, SIGTERM);
            waitpid(xvfb_, nullptr, 0);
        }
    }

    void SetUp() override {
        if (!InLab())
            GTEST_SKIP() << "runs only inside the network lab (tests/lab/lab.sh)";
        if (app_ == nullptr)
            GTEST_SKIP() << "Xvfb could not be started on " << kDisplay;
        form = std::make_unique<TMainForm>();
        form->FormCreate();
        form->show();
        ASSERT_TRUE(WaitFor([&] { return form->windowHandle()->isExposed(); }, 5000));
        WaitFor([] { return false; }, 300);
    }

    // What the X server shows of `area` of `widget`.
    QImage OnScreen(const QWidget& widget, QRect area) const {
        const QPoint at = widget.mapToGlobal(area.topLeft());
        return form->screen()
            ->grabWindow(0, at.x(), at.y(), area.width(), area.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    QImage SearchButtonOnScreen() const { return OnScreen(*form->btnSearch, {0, 0, 163, 33}); }

    std::unique_ptr<TMainForm> form;
    static inline pid_t xvfb_ = -1;
    static inline TApplication* app_ = nullptr;
    static inline int argc_ = 1;
    static inline char name_[18] = "window_lab_tests";
    static inline char* argv_[2] = {name_, nullptr};
};

} // namespace

TEST_F(WindowLabTest, HoverShowsTheHotRingClickSearchesAndTheWaitLooksDisabled) {
    auto device = std::make_unique<DeviceSim>(
        LabNsDevA(), std::vector<std::string>{"--devices", "1", "--first-ip", LabDevIpA(),
                                              "--reply-text", "X3"});
    THotButton& button = *form->btnSearch;
    QCursor::setPos(button.mapToGlobal(QPoint(80, 16)));
    ASSERT_TRUE(WaitFor([&] { return button.Hovering(); }, 3000));
    WaitFor([] { return false; }, 300);
    QImage shot = SearchButtonOnScreen();
    EXPECT_EQ(shot.pixel(80, 30), qRgb(240, 155, 20)) << "bottom row of the hot ring";
    EXPECT_EQ(shot.pixel(2, 20), shot.pixel(3, 20)) << "two pixels wide";
    EXPECT_NEAR(qRed(shot.pixel(80, 2)), 251, 1) << "top row";
    EXPECT_NEAR(qGreen(shot.pixel(80, 2)), 230, 4);
    EXPECT_EQ(shot.pixel(1, 10), qRgb(0, 60, 116));

    QImage duringWait;
    bool focusedDuringWait = true, enabledDuringWait = true, exitFocused = true;
    QTimer::singleShot(1500, [&] {
        duringWait = SearchButtonOnScreen();
        focusedDuringWait = button.hasFocus();
        enabledDuringWait = button.isEnabled();
        exitFocused = form->BtnExit->hasFocus();
    });
    ASSERT_EQ(std::system("xdotool click 1"), 0);
    EXPECT_TRUE(
        WaitFor([&] { return form->StatusLine->SimpleCaption() == U("设备搜索完成！"); }, 10000));
    ASSERT_FALSE(duringWait.isNull());
    EXPECT_FALSE(enabledDuringWait);
    EXPECT_FALSE(focusedDuringWait);
    EXPECT_FALSE(exitFocused) << "the window takes the focus, not the next button";
    EXPECT_EQ(duringWait.pixel(5, 5), qRgb(240, 240, 240)) << "flat face";
    EXPECT_EQ(duringWait.pixel(150, 28), qRgb(240, 240, 240));
    EXPECT_EQ(duringWait.pixel(1, 10), Rgb(LightenColor(clBtnShadow, 30)));
    EXPECT_EQ(form->lbDevice->Items().Count(), 1);
    EXPECT_TRUE(button.isEnabled());
    EXPECT_FALSE(button.hasFocus()) << "enabled again without the focus";
}

TEST_F(WindowLabTest, ButtonPressedAndDraggedOffShowsTheFocusRingNotTheHotRing) {
    THotButton& button = *form->btnSearch;
    QCursor::setPos(button.mapToGlobal(QPoint(80, 16)));
    ASSERT_TRUE(WaitFor([&] { return button.Hovering(); }, 3000));
    ASSERT_EQ(std::system("xdotool mousedown 1"), 0);
    ASSERT_TRUE(WaitFor([&] { return button.PressedLook(); }, 3000));
    QCursor::setPos(button.mapToGlobal(QPoint(80, 33 + 20)));
    WaitFor([] { return false; }, 500);
    const TColor focusRing = MixColors(clHighlight, LightenColor(clBtnFace, 30), 160);
    EXPECT_EQ(SearchButtonOnScreen().pixel(80, 30), Rgb(focusRing)) << "its bottom row";
    ASSERT_EQ(std::system("xdotool mouseup 1"), 0);
}

TEST_F(WindowLabTest, RowsTakeTheirHeightBackWhenTheWindowGrowsAfterASearch) {
    DeviceSim device(LabNsDevA(),
                     {"--devices", "1", "--first-ip", LabDevIpA(), "--reply-text", "X\nY\nZ"});
    form->resize(846, 120);
    WaitFor([] { return false; }, 300);
    form->btnSearchClick();
    form->resize(846, 625);
    form->lbDevice->RowList().SetItemIndex(0);
    WaitFor([] { return false; }, 500);
    const QWidget& rows = *form->lbDevice->RowList().viewport();
    const QImage shot = OnScreen(rows, {rows.width() - 10, 0, 1, 60});
    EXPECT_EQ(shot.pixel(0, 50), Rgb(clHighlight)) << "the selected row, three lines high";
    EXPECT_EQ(shot.pixel(0, 51), Rgb(clWindow));
}

TEST_F(WindowLabTest, TenAdaptersDropAListOfEightRowsBelowTheControl) {
    TFlatComboBox& combo = *form->cbAdapters;
    if (combo.count() != 10)
        GTEST_SKIP() << "needs the lab with ten adapters; has " << combo.count();
    QCursor::setPos(combo.mapToGlobal(QPoint(300, 12)));
    ASSERT_EQ(std::system("xdotool click 1"), 0);
    const QAbstractItemView& list = *combo.view();
    ASSERT_TRUE(WaitFor([&] { return list.isVisible(); }, 3000));
    WaitFor([] { return false; }, 300);
    EXPECT_EQ(list.window()->y(), combo.mapToGlobal(QPoint(0, combo.height())).y());
    EXPECT_TRUE(list.verticalScrollBar()->isVisible());
    const QRect first = list.visualRect(list.model()->index(0, 0));
    EXPECT_EQ(list.viewport()->height() / first.height(), 8);
    EXPECT_EQ(OnScreen(*list.viewport(), first).pixel(first.width() - 3, 0), qRgb(0, 120, 215));
    std::system("xdotool key Escape");
}

// A copy of this program under KDE's dark colours, read by the toolkit's KDE
// platform theme, saves the window as it shows it.
TEST_F(WindowLabTest, DarkDesktopChangesNoPixel) {
    const QImage usual = OnScreen(*form, form->rect());
    if (const char* path = std::getenv("WINDOW_LAB_SHOT")) { // we are the copy
        ASSERT_TRUE(usual.save(path));
        return;
    }
    const std::string dir = std::filesystem::temp_directory_path() / "window-lab-dark";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/kdeglobals") << "[Colors:Window]\nBackgroundNormal=35,38,41\n[Colors:"
                                          "Button]\nBackgroundNormal=49,54,59\n";
    form->hide();
    form->UDPServerTask.SetActive(false); // the copy binds the same address
    const std::string shot = dir + "/dark.png";
    const std::string copy = "WINDOW_LAB_SHOT=" + shot + " XDG_CURRENT_DESKTOP=KDE" +
                             " KDE_SESSION_VERSION=5 XDG_CONFIG_HOME=" + dir + " /proc/" +
                             std::to_string(getpid()) + "/exe --gtest_filter=*DarkDesktop*";
    ASSERT_EQ(std::system(copy.c_str()), 0);
    EXPECT_TRUE(QImage(QString::fromStdString(shot)).convertToFormat(QImage::Format_RGB32) == usual)
        << "see " << shot;
}
