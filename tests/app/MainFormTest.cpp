#include "app/ActiveControls.h"
#include "app/Application.h"
#include "app/Main.h"
#include "net/IdException.h"
#include "net/IdUDPListenerThread.h"
#include "platform/Exception.h"
#include "ui/ColumnListBox.h"
#include "ui/FlatComboBox.h"
#include "ui/FlatStatusBar.h"
#include "ui/FrameGroupBox.h"
#include "ui/HotButton.h"
#include "ui/StyledLabel.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TApplication& App() {
    return *static_cast<TApplication*>(QCoreApplication::instance());
}

QString U(const char* text) {
    return QString::fromUtf8(text);
}

// A window whose endpoint listens on 127.0.0.1, so the read handler records
// what it is given; nothing is sent.
class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        TIdSocketHandle& binding = form.UDPServerTask.Bindings.Add();
        binding.IP = "127.0.0.1";
        form.UDPServerTask.SetActive(true);
        ReplyTable().Reset();
        form.show();
    }

    // A reply as the receiving thread would hand it over.
    void Reply(const std::string& ip, std::uint16_t port, const std::string& text) {
        TIdSocketHandle sender(0);
        sender.SenderIP = ip;
        sender.SenderPort = port;
        TIdUDPListenerThread thread(sender, form.UDPServerTask);
        form.UDPServerTaskUDPRead(thread, TIdBytes(text.begin(), text.end()), sender);
    }

    TMainForm form;
};

} // namespace

TEST_F(MainFormTest, LayoutTextsAndFontsAtStart) {
    EXPECT_EQ(form.windowTitle(), U("设备查找"));
    EXPECT_EQ(App().Title(), U("设备查找"));
    EXPECT_EQ(form.size(), QSize(846, 625));
    EXPECT_EQ(form.Panel1->geometry(), QRect(0, 0, 846, 41));
    EXPECT_EQ(form.AdapterLabel->geometry(), QRect(12, 12, 78, 13));
    EXPECT_EQ(form.AdapterLabel->Caption(), U("网络适配器："));
    EXPECT_EQ(form.cbAdapters->geometry(), QRect(93, 7, 586, 24));
    EXPECT_EQ(form.btnRefreshNetCar->geometry(), QRect(705, 7, 127, 25));
    EXPECT_EQ(form.btnRefreshNetCar->Caption(), U("刷新本机网卡"));
    EXPECT_EQ(form.rbDeviceList->geometry(), QRect(0, 41, 846, 521));
    EXPECT_EQ(form.rbDeviceList->Caption(), U("设备列表"));
    EXPECT_EQ(form.lbDevice->geometry(), QRect(1, 14, 844, 506));
    EXPECT_EQ(form.Panel2->geometry(), QRect(0, 562, 846, 44));
    EXPECT_EQ(form.Label1->geometry(), QRect(582, 15, 221, 13));
    EXPECT_EQ(form.Label1->Caption(), U("若未找到设备，请重选适配器进行搜索"));
    EXPECT_EQ(form.btnSearch->geometry(), QRect(10, 4, 163, 33));
    EXPECT_EQ(form.btnSearch->Caption(), U("搜索设备"));
    EXPECT_EQ(form.BtnExit->geometry(), QRect(217, 4, 163, 33));
    EXPECT_EQ(form.BtnExit->Caption(), U("退出"));
    EXPECT_EQ(form.StatusLine->geometry(), QRect(0, 606, 846, 19));
    EXPECT_EQ(form.StatusLine->SimpleCaption(), "");
    EXPECT_EQ(form.font().family(), U("宋体"));
    EXPECT_EQ(form.font().pixelSize(), 12);
    EXPECT_EQ(form.btnSearch->Font().Height, 13);
}

TEST_F(MainFormTest, DeviceListStartsEmptyWithFiveSections) {
    EXPECT_EQ(form.lbDevice->Items().Count(), 0);
    EXPECT_EQ(form.lbDevice->ItemHeight(), 16);
    EXPECT_EQ(form.lbDevice->HeaderHeight(), 17);
    const auto& sections = form.lbDevice->HeaderSections();
    ASSERT_EQ(sections.size(), 5u);
    const char* captions[] = {"设备名", "设备IP", "设备MAC", "版本", "信息"};
    const int widths[] = {0, 200, 0, 0, 360};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(sections[i].Text, U(captions[i]));
        EXPECT_EQ(sections[i].Width(), widths[i]);
    }
}

TEST_F(MainFormTest, ResizingGivesEverythingButThePanelsToTheList) {
    form.resize(1000, 800);
    EXPECT_EQ(form.Panel1->geometry(), QRect(0, 0, 1000, 41));
    EXPECT_EQ(form.StatusLine->geometry(), QRect(0, 781, 1000, 19));
    EXPECT_EQ(form.Panel2->geometry(), QRect(0, 737, 1000, 44));
    EXPECT_EQ(form.rbDeviceList->geometry(), QRect(0, 41, 1000, 696));
    EXPECT_EQ(form.lbDevice->geometry(), QRect(1, 14, 998, 681));
    // Too small for the panels: the status line stays at the bottom and the
    // list gets nothing rather than a negative height.
    form.resize(200, 90);
    EXPECT_EQ(form.StatusLine->geometry(), QRect(0, 71, 200, 19));
    EXPECT_EQ(form.Panel2->geometry(), QRect(0, 27, 200, 44));
    EXPECT_EQ(form.rbDeviceList->height(), 0);
    EXPECT_EQ(form.lbDevice->height(), 0);
}

TEST_F(MainFormTest, ReplyBecomesRecordAndRow) {
    Reply("192.168.1.20", 6001, "abc");
    EXPECT_EQ(ReplyTable().NextIndex(), 1);
    EXPECT_EQ(ReplyTable()[0].IP, "192.168.1.20");
    EXPECT_EQ(ReplyTable()[0].Port, "6001");
    EXPECT_EQ(ReplyTable()[0].Info, "abc");
    ASSERT_EQ(form.lbDevice->Items().Count(), 1);
    EXPECT_EQ(form.lbDevice->Items()[0], ";192.168.1.20;;;abc;");
    EXPECT_EQ(form.lbDevice->ItemHeight(), 17);
    Reply("192.168.1.20", 6001, "abc");
    EXPECT_EQ(form.lbDevice->Items().Count(), 2) << "two replies from one device, two rows";
}

TEST_F(MainFormTest, RowHeightFollowsTheReplyWithTheMostLineFeeds) {
    Reply("10.0.0.1", 6001, "a\nb\nc\nd");
    EXPECT_EQ(form.lbDevice->ItemHeight(), 68);
    Reply("10.0.0.2", 6001, "plain");
    EXPECT_EQ(form.lbDevice->ItemHeight(), 68);
    // A reply of thousands of lines makes a row no taller than the list shows.
    Reply("10.0.0.3", 6001, std::string(5000, '\n'));
    const int visible = form.lbDevice->RowList().viewport()->height();
    EXPECT_GT(visible, 68);
    EXPECT_EQ(form.lbDevice->ItemHeight(), visible);
}

TEST_F(MainFormTest, RepliesToAnInactiveEndpointAndBeyondTheThousandthAreDropped) {
    for (int i = 0; i < 1000; ++i)
        Reply("10.0.0.1", 6001, "r");
    Reply("10.0.0.9", 6001, "late");
    EXPECT_EQ(form.lbDevice->Items().Count(), 1000);
    form.UDPServerTask.SetActive(false);
    ReplyTable().Reset();
    form.lbDevice->Clear();
    Reply("10.0.0.1", 6001, "while inactive");
    EXPECT_EQ(form.lbDevice->Items().Count(), 0);
    EXPECT_EQ(ReplyTable().NextIndex(), 0);
}

TEST_F(MainFormTest, LockingCoversSearchButtonAdapterListAndDeviceList) {
    form.LockControls();
    EXPECT_FALSE(form.btnSearch->isEnabled());
    EXPECT_FALSE(form.cbAdapters->isEnabled());
    EXPECT_FALSE(form.lbDevice->Enabled());
    EXPECT_TRUE(form.BtnExit->isEnabled());
    EXPECT_TRUE(form.btnRefreshNetCar->isEnabled());
    form.UnlockControls();
    EXPECT_TRUE(form.btnSearch->isEnabled());
    EXPECT_TRUE(form.cbAdapters->isEnabled());
    EXPECT_TRUE(form.lbDevice->Enabled());
}

// A report names our own classes, also where the focus goes when a search begins.
TEST_F(MainFormTest, ActiveControlsNameOurOwnClasses) {
    QApplication::setActiveWindow(&form);
    form.btnSearch->setFocus();
    TReportInput clicked, searched;
    DescribeActiveControls(QApplication::activeWindow(), QApplication::focusWidget(), clicked);
    form.LockControls();
    DescribeActiveControls(QApplication::activeWindow(), QApplication::focusWidget(), searched);
    EXPECT_EQ(clicked.FormClass + " " + clicked.ControlClass, "TMainForm THotButton");
    EXPECT_EQ(searched.FormClass + " " + searched.ControlClass.substr(0, 1), "TMainForm T");
}

TEST(ApplicationExceptions, MessageTextGetsAFullStopOnlyWhenItEndsHigher) {
    EXPECT_EQ(TApplication::MessageText(EIdCouldNotBindSocket()),
              U("Could not bind socket. Address and port are already in use."));
    EXPECT_EQ(TApplication::MessageText(Exception("Range check error")), U("Range check error."));
    EXPECT_EQ(TApplication::MessageText(Exception("List index out of bounds (0)")),
              U("List index out of bounds (0)"))
        << "\")\" sorts before \".\"";
    EXPECT_EQ(TApplication::MessageText(Exception("Socket Error # 1\r\n")),
              U("Socket Error # 1\r\n"));
    EXPECT_EQ(TApplication::MessageText(Exception("\xC9\xE8\xB1\xB8")), U("设备."));
    EXPECT_EQ(TApplication::MessageText(Exception("")), U(""));
}

TEST(ApplicationExceptions, HandlerFailuresReachHandleExceptionAndTheLoopGoesOn) {
    std::vector<std::string> reported;
    App().SetOnException([&](const std::exception& e) { reported.push_back(e.what()); });
    bool later = false;
    QTimer::singleShot(0, [] { throw EIdCouldNotBindSocket(); });
    QTimer::singleShot(0, [] { throw EAbort(); });
    QTimer::singleShot(5, [&] { later = true; });
    QElapsedTimer timer;
    timer.start();
    while (!later && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    App().SetOnException(nullptr);
    EXPECT_TRUE(later);
    ASSERT_EQ(reported.size(), 1u) << "the silent abort is not reported";
    EXPECT_EQ(reported[0], "Could not bind socket. Address and port are already in use.");
}
