#include "LabEnv.h"
#include "app/Application.h"
#include "app/DeviceListActions.h"
#include "app/Main.h"
#include "ui/ColumnListBox.h"
#include "ui/FlatComboBox.h"
#include "ui/FlatStatusBar.h"
#include "ui/FrameGroupBox.h"
#include "ui/HotButton.h"
#include "ui/StyledLabel.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>
#include <QWheelEvent>

#include <arpa/inet.h>
#include <cstdlib>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The whole tool in the network lab: the window's own handlers, real
// adapters, simulated devices on segment A (198.51.100.0/24) and B
// (203.0.113.0/24).
namespace {

TApplication& App() {
    return *static_cast<TApplication*>(QCoreApplication::instance());
}

QString U(const char* text) {
    return QString::fromUtf8(text);
}

// One simulated device with its own address on a segment.
std::unique_ptr<DeviceSim> Device(const std::string& ns, const std::string& ip,
                                  std::vector<std::string> options) {
    LabAddAddresses(ns, "eth0", ip, 1);
    options.insert(options.begin(), {"--devices", "1", "--first-ip", ip});
    return std::make_unique<DeviceSim>(ns, options);
}

std::vector<std::string> Rows(const TMainForm& form) {
    std::vector<std::string> rows;
    for (int i = 0; i < form.lbDevice->Items().Count(); ++i)
        rows.push_back(form.lbDevice->Items()[i]);
    std::sort(rows.begin(), rows.end());
    return rows;
}

void ProcessEventsFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class SearchLabTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!InLab())
            GTEST_SKIP() << "runs only inside the network lab (tests/lab/lab.sh)";
        App().SetOnException([this](const std::exception& e) { reported.push_back(e.what()); });
    }
    void TearDown() override { App().SetOnException(nullptr); }

    // Start-up as main() does it: the creation handler, its failure reported.
    void Create() {
        try {
            form.FormCreate();
        } catch (const std::exception& e) {
            App().HandleException(e);
        }
        form.show();
    }

    void ChooseAdapter(int index) {
        form.cbAdapters->setCurrentIndex(index);
        emit form.cbAdapters->activated(index);
    }

    TMainForm form;
    std::vector<std::string> reported;
};

} // namespace

TEST_F(SearchLabTest, StartUpListsTheAdaptersAndListensOnTheFirst) {
    Create();
    EXPECT_TRUE(reported.empty());
    ASSERT_EQ(form.cbAdapters->count(), 2);
    EXPECT_TRUE(form.cbAdapters->itemText(0).startsWith("1. eth-a"));
    EXPECT_TRUE(form.cbAdapters->itemText(1).startsWith("2. eth-b"));
    EXPECT_EQ(form.cbAdapters->currentIndex(), 0);
    EXPECT_TRUE(form.UDPServerTask.Active());
    EXPECT_EQ(form.UDPServerTask.Bindings.Count(), 1);
    EXPECT_EQ(form.UDPServerTask.Bindings[0].IP, LabFinderIpA());
    EXPECT_EQ(form.UDPServerTask.Bindings[0].Port, 60000);
    EXPECT_EQ(ProbeBytes().size(), 22u);
    EXPECT_EQ(form.lbDevice->Items().Count(), 0);
    EXPECT_EQ(form.StatusLine->SimpleCaption(), "");
}

TEST_F(SearchLabTest, SearchFindsTheChosenSegmentsDevicesThenTheOthers) {
    auto a1 = Device(LabNsDevA(), "198.51.100.21", {"--reply-text", "X3\n2.1.7"});
    auto a2 = Device(LabNsDevA(), "198.51.100.22", {"--reply-text", "abc"});
    auto b1 = Device(LabNsDevB(), "203.0.113.31", {"--reply-text", "M2"});
    Create();
    bool lockedDuringWait = false;
    QString statusDuringWait;
    QTimer::singleShot(1000, [&] {
        lockedDuringWait = !form.btnSearch->isEnabled() && !form.cbAdapters->isEnabled() &&
                           !form.lbDevice->Enabled() && form.BtnExit->isEnabled();
        statusDuringWait = form.StatusLine->SimpleCaption();
    });
    form.btnSearchClick();
    EXPECT_TRUE(lockedDuringWait);
    EXPECT_EQ(statusDuringWait, U("正在搜索设备，请稍后..."));
    EXPECT_EQ(form.StatusLine->SimpleCaption(), U("设备搜索完成！"));
    EXPECT_TRUE(form.btnSearch->isEnabled());
    EXPECT_TRUE(form.lbDevice->Enabled());
    EXPECT_EQ(Rows(form),
              (std::vector<std::string>{";198.51.100.21;;;X3\n2.1.7;", ";198.51.100.22;;;abc;"}));
    EXPECT_EQ(form.lbDevice->ItemHeight(), 34);
    EXPECT_EQ(ReplyTable().NextIndex(), 2);
    EXPECT_EQ(ReplyTable()[0].Port, "6001");

    ChooseAdapter(1);
    EXPECT_EQ(form.UDPServerTask.Bindings[0].IP, LabFinderIpB());
    EXPECT_EQ(form.UDPServerTask.Bindings[0].Port, 60000);
    EXPECT_EQ(form.cbAdapters->count(), 2);
    form.btnSearchClick();
    EXPECT_EQ(Rows(form), (std::vector<std::string>{";203.0.113.31;;;M2;"}));
    EXPECT_EQ(ReplyTable().NextIndex(), 1) << "a new search discards the old replies";
    EXPECT_EQ(form.lbDevice->ItemHeight(), 17);
    EXPECT_TRUE(reported.empty());
}

TEST_F(SearchLabTest, TypedPrefixAndWheelRebindButChoosingByProgramDoesNot) {
    Create();
    QKeyEvent two(QEvent::KeyPress, Qt::Key_2, Qt::NoModifier, "2");
    QApplication::sendEvent(form.cbAdapters, &two);
    EXPECT_EQ(form.cbAdapters->currentIndex(), 1);
    EXPECT_EQ(form.UDPServerTask.Bindings[0].IP, LabFinderIpB());
    QWheelEvent up(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(form.cbAdapters, &up);
    EXPECT_EQ(form.UDPServerTask.Bindings[0].IP, LabFinderIpA());
    form.cbAdapters->setCurrentIndex(1);
    EXPECT_EQ(form.UDPServerTask.Bindings[0].IP, LabFinderIpA());
    EXPECT_TRUE(form.UDPServerTask.Active());
    EXPECT_TRUE(reported.empty());
}

TEST_F(SearchLabTest, RepliesAfterTheWaitAreStillListed) {
    auto slow = Device(LabNsDevA(), "198.51.100.23", {"--reply-text", "late", "--delay", "4500"});
    Create();
    form.btnSearchClick();
    EXPECT_EQ(form.lbDevice->Items().Count(), 0);
    ProcessEventsFor(1500);
    EXPECT_EQ(Rows(form), (std::vector<std::string>{";198.51.100.23;;;late;"}));
}

TEST_F(SearchLabTest, RefreshDuringTheWaitRebindsAndLaterRepliesCount) {
    auto device = Device(LabNsDevA(), "198.51.100.24", {"--reply-text", "d", "--delay", "1500"});
    Create();
    QTimer::singleShot(300, [&] { form.btnRefreshNetCarClick(); });
    form.btnSearchClick();
    EXPECT_TRUE(form.UDPServerTask.Active());
    EXPECT_EQ(Rows(form), (std::vector<std::string>{";198.51.100.24;;;d;"}));
    EXPECT_TRUE(reported.empty());
}

// Start-up with the port held by another program: the failure is reported,
// and once the port is free a refresh and a search work as usual. The probe
// is cleared first, as in a process that has just started.
TEST_F(SearchLabTest, TakenPortAtStartThenFreedRefreshAndSearchFindTheDevice) {
    auto device = Device(LabNsDevA(), "198.51.100.25", {"--reply-text", "after"});
    const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(60000);
    inet_pton(AF_INET, LabFinderIpA().c_str(), &address.sin_addr);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ProbeBytes().clear();
    Create();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "Could not bind socket. Address and port are already in use.");
    EXPECT_EQ(form.cbAdapters->count(), 2) << "the list still shows the choice";
    EXPECT_FALSE(form.UDPServerTask.Active());
    EXPECT_TRUE(form.isVisible());
    ::close(holder);
    form.btnRefreshNetCarClick();
    EXPECT_TRUE(form.UDPServerTask.Active()) << "a later refresh binds";
    form.btnSearchClick();
    const auto heard = device->WaitForLogLines(1, std::chrono::seconds(2));
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].ip, LabFinderIpA());
    EXPECT_EQ(heard[0].port, 60000);
    EXPECT_EQ(heard[0].bytes, "~who has voip device?~");
    EXPECT_EQ(Rows(form), (std::vector<std::string>{";198.51.100.25;;;after;"}));
    EXPECT_EQ(reported.size(), 1u);
}

TEST_F(SearchLabTest, ExitDuringTheWaitEndsTheApplicationAfterTheWait) {
    Create();
    QElapsedTimer timer;
    qint64 exitPressedAt = -1;
    QTimer::singleShot(0, [&] { form.btnSearchClick(); });
    QTimer::singleShot(500, [&] {
        exitPressedAt = timer.elapsed();
        form.BtnExitClick();
    });
    timer.start();
    App().exec();
    EXPECT_GE(exitPressedAt, 0);
    EXPECT_GE(timer.elapsed(), 4000) << "the loop ended only after the wait";
    EXPECT_EQ(form.StatusLine->SimpleCaption(), U("设备搜索完成！"));
}

TEST_F(SearchLabTest, CopiedRowCarriesTheMacOfTheDevicesResolution) {
    for (const std::string& ns : {LabNsFinder(), LabNsDevA()})
        ASSERT_EQ(std::system(("ip -n " + ns + " neigh flush all").c_str()), 0);
    ASSERT_EQ(
        std::system(
            ("ip -n " + LabNsDevA() + " link set dev eth0 address 02:00:5e:00:53:25").c_str()),
        0);
    auto device = Device(LabNsDevA(), "198.51.100.27", {"--reply-text", "x"});
    Create();
    form.btnSearchClick();
    ASSERT_EQ(form.lbDevice->Items().Count(), 1);
    EXPECT_EQ(form.DeviceListActions->RowText(0), "198.51.100.27\t6001\t02-00-5E-00-53-25\t\tx");
}

// Last of this suite: segment A's adapter stays switched off, and an adapter
// that is up without an address (it would listen on 0.0.0.0) stays too.
TEST_F(SearchLabTest, ASwitchedOffAdapterIsNotListedAndTheNextOneIsBound) {
    ASSERT_EQ(std::system("ip link set dev eth-a down"), 0);
    ASSERT_EQ(std::system(kUpWithoutAddress), 0);
    Create();
    EXPECT_TRUE(reported.empty());
    ASSERT_EQ(form.cbAdapters->count(), 1);
    EXPECT_TRUE(form.cbAdapters->itemText(0).startsWith("1. eth-b"));
    EXPECT_EQ(form.UDPServerTask.Bindings[0].IP, LabFinderIpB());
}

// The ways a search or a refresh fails, each in a lab of its own (see
// tests/app/CMakeLists.txt): what the user is told and that the window stays
// usable.
namespace {

// Runs a command in the lab's finder namespace; fails the test when it fails.
void InFinder(const std::string& command) {
    ASSERT_EQ(std::system(("ip netns exec " + LabNsFinder() + " " + command).c_str()), 0)
        << command;
}

class SearchFailureLabTest : public SearchLabTest {
protected:
    // The search handler run from the event loop, as a click runs it: a
    // failure leaves the handler and reaches the top-level handler.
    void ClickSearch() {
        QTimer::singleShot(0, [this] { form.btnSearchClick(); });
        ProcessEventsFor(100);
    }

    bool ControlsEnabled() const {
        return form.btnSearch->isEnabled() && form.cbAdapters->isEnabled() &&
               form.lbDevice->Enabled();
    }
};

using BareLabTest = SearchFailureLabTest;

} // namespace

TEST_F(SearchFailureLabTest, AFirewallRefusingTheProbeIsReportedAndTheWindowStaysUsable) {
    auto device = Device(LabNsDevA(), "198.51.100.26", {"--reply-text", "fw"});
    Create();
    InFinder("nft add table inet dftest");
    InFinder("nft add chain inet dftest out '{ type filter hook output priority 0; }'");
    InFinder("nft add rule inet dftest out udp dport 6001 drop");
    ClickSearch();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "Socket Error # 10013\r\nAccess denied.");
    EXPECT_TRUE(ControlsEnabled());
    EXPECT_EQ(form.StatusLine->SimpleCaption(), "");
    InFinder("nft delete table inet dftest");
    form.btnSearchClick();
    EXPECT_EQ(Rows(form), (std::vector<std::string>{";198.51.100.26;;;fw;"}));
}

TEST_F(SearchFailureLabTest, AFailedRefreshKeepsTheListEmptiesTheDropDownAndKeepsTheEndpoint) {
    Create();
    // The last test of its lab: the adapters go for good.
    InFinder("ip link del dev eth-a");
    InFinder("ip link del dev eth-b");
    try {
        form.btnRefreshNetCarClick();
        ADD_FAILURE() << "a refresh without adapters must fail";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), "System Error.  Code: 232.\r\nThe pipe is being closed.");
    }
    EXPECT_EQ(form.Adapters().size(), 2u) << "the old list is kept";
    EXPECT_EQ(form.cbAdapters->count(), 0);
    EXPECT_TRUE(form.UDPServerTask.Active());
    ASSERT_EQ(form.UDPServerTask.Bindings.Count(), 1);
    EXPECT_EQ(form.UDPServerTask.Bindings[0].IP, LabFinderIpA());
    EXPECT_EQ(form.UDPServerTask.Bindings[0].Port, 60000);
}

// Start-up on a host without adapters: the failure is reported, the lists are
// empty, and a search sends nothing yet runs its wait and unlocks the controls.
TEST_F(BareLabTest, WithoutAnAdapterTheSearchSendsNothingAndUnlocksTheControls) {
    Create();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "System Error.  Code: 232.\r\nThe pipe is being closed.");
    EXPECT_EQ(form.cbAdapters->count(), 0);
    EXPECT_EQ(form.lbDevice->Items().Count(), 0);
    EXPECT_EQ(ProbeBytes().size(), 22u);
    ClickSearch();
    for (int round = 0; round < 100 && form.StatusLine->SimpleCaption() != U("设备搜索完成！");
         ++round)
        ProcessEventsFor(100);
    EXPECT_EQ(form.StatusLine->SimpleCaption(), U("设备搜索完成！"));
    EXPECT_EQ(reported.size(), 1u) << reported.back();
    EXPECT_FALSE(form.UDPServerTask.Active()) << "no socket was opened, so nothing was sent";
    EXPECT_TRUE(ControlsEnabled());
    EXPECT_EQ(form.lbDevice->Items().Count(), 0);
}
