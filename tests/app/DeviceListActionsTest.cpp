#include "app/DeviceListActions.h"

#include "discovery/Csv.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "ui/ColumnListBox.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

QString U(const char* text) {
    return QString::fromUtf8(text);
}

// Two listed replies; the neighbour table knows the first device, whose maker
// the registry knows.
class DeviceListActionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_);
        Write("arp", "IP address HW type Flags HW address Mask Device\n"
                     "198.51.100.2 0x1 0x2 00:1a:2b:3c:4d:5e * eth-a\n");
        Write("oui.csv", "Registry,Assignment,Organization Name,Organization Address\n"
                         "MA-L,001A2B,\"Phones, Inc.\",x\n");
        actions = new TDeviceListActions(list, table, THardwareLookup(Path("arp"), dir_.string()));
        actions->OpenUrl = [this](const QUrl& url) { opened.push_back(url.toString()); };
        Add("198.51.100.2", 6001, "型号: X3\n固件: \"2,1\"");
        Add("203.0.113.7", 6002, "a;b\r\nc");
        list.resize(400, 200);
        list.show();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    void Add(const std::string& ip, std::uint16_t port, const char* reply) {
        const TDEVICE_INFO1* record = table.Record(ip, port, Utf8ToGbk(reply));
        list.Items().Add(RowText(*record));
        actions->ReplyListed(*record);
    }

    QWidget* Viewport() { return list.RowList().viewport(); }
    QPoint PointOfRow(int row) { return {20, list.RowList().ItemRect(row).Top + 2}; }

    TColumnListBox list;
    TReplyTable table;
    TDeviceListActions* actions = nullptr; // owned by the list
    std::vector<QString> opened;

private:
    fs::path dir_ = fs::temp_directory_path() / ("df-actions-" + std::to_string(getpid()));
};

const char* const kRow0 =
    "198.51.100.2\t6001\t00-1A-2B-3C-4D-5E\tPhones, Inc.\t型号: X3\n固件: \"2,1\"";
const char* const kRow1 = "203.0.113.7\t6002\t\t\ta;b\r\nc";

} // namespace

TEST_F(DeviceListActionsTest, MenuActionsCopyAndOpenTheExactTexts) {
    const auto menu = actions->MakeMenu(0);
    QStringList texts;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            texts << action->text();
    EXPECT_EQ(texts,
              (QStringList{U("复制 IP 地址"), U("复制整行"), U("在浏览器中打开"), U("导出列表…")}));
    const std::pair<int, const char*> copies[] = {{0, "198.51.100.2"}, {1, kRow0}};
    for (const auto& [index, expected] : copies) {
        menu->actions()[index]->trigger();
        EXPECT_EQ(QApplication::clipboard()->text(), U(expected));
    }
    menu->actions()[2]->trigger();
    EXPECT_EQ(opened, std::vector<QString>{"http://198.51.100.2/"});
    // Below the rows: nothing to copy or open, the list can still be exported.
    const auto below = actions->MakeMenu(-1);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(below->actions()[i]->isEnabled());
    EXPECT_TRUE(below->actions().back()->isEnabled());
}

TEST_F(DeviceListActionsTest, RightClickSelectsCtrlCCopiesDoubleClickOpens) {
    // The menu opens on the clicked row, which it selects; it is closed again at once.
    QTimer::singleShot(0, [] {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    });
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, PointOfRow(1),
                                Viewport()->mapToGlobal(PointOfRow(1)));
    QCoreApplication::sendEvent(Viewport(), &menuEvent);
    EXPECT_EQ(list.RowList().ItemIndex(), 1);

    QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
    QCoreApplication::sendEvent(&list.RowList(), &copy);
    EXPECT_EQ(QApplication::clipboard()->text(), U(kRow1));

    QMouseEvent twice(QEvent::MouseButtonDblClick, PointOfRow(0),
                      Viewport()->mapToGlobal(PointOfRow(0)), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(Viewport(), &twice);
    EXPECT_EQ(opened, std::vector<QString>{"http://198.51.100.2/"});
}

TEST_F(DeviceListActionsTest, ExportWritesCsvThatReadsBackIntoTheRows) {
    actions->ChooseExportFile = [this] { return QString::fromStdString(Path("列表.csv")); };
    actions->MakeMenu(0)->actions().back()->trigger();
    std::ifstream in(Path("列表.csv"), std::ios::binary);
    const std::string csv(std::istreambuf_iterator<char>(in), {});
    ASSERT_TRUE(csv.starts_with("\xEF\xBB\xBF")) << "UTF-8 byte-order mark";
    EXPECT_EQ(ParseCsv(csv.substr(3)),
              (std::vector<CsvRecord>{{"设备IP", "端口", "设备MAC", "厂商", "信息"},
                                      {"198.51.100.2", "6001", "00-1A-2B-3C-4D-5E", "Phones, Inc.",
                                       "型号: X3\n固件: \"2,1\""},
                                      {"203.0.113.7", "6002", "", "", "a;b\r\nc"}}));

    actions->ChooseExportFile = [] { return QString(); };
    EXPECT_NO_THROW(actions->ExportList()) << "cancelled";
    EXPECT_THROW(actions->WriteCsv(QString::fromStdString(Path("missing/x.csv"))), Exception);
}

TEST_F(DeviceListActionsTest, FailedExportTellsTheFileAndReasonAndKeepsTheRows) {
    // A folder that is a regular file: unwritable even for root.
    Write("plain", "");
    const QString path = QString::fromStdString(Path("plain/列表.csv"));
    actions->ChooseExportFile = [path] { return path; };
    std::vector<QString> shown;
    actions->ShowExportFailure = [&shown](const QString& message) { shown.push_back(message); };
    EXPECT_NO_THROW(actions->MakeMenu(0)->actions().back()->trigger()) << "no crash report";
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].contains(path) && shown[0].endsWith("Not a directory"))
        << shown[0].toStdString();
    EXPECT_EQ(list.Items().Count(), 2);
}

// The MAC is taken shortly after listing, while the neighbour entry is there.
TEST_F(DeviceListActionsTest, ListedRepliesKeepTheMacTheirEntryHadThen) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    Write("arp", "IP address HW type Flags HW address Mask Device\n");
    EXPECT_EQ(actions->RowText(0), U(kRow0));
}

TEST_F(DeviceListActionsTest, HoverShowsTheMacAndMakerOnlyWhenTheMacIsKnown) {
    const QSize size = list.size();
    const std::pair<int, const char*> rows[] = {
        {1, ""}, {0, "设备MAC: 00-1A-2B-3C-4D-5E\n厂商: Phones, Inc."}};
    for (const auto& [row, expected] : rows) {
        QHelpEvent hover(QEvent::ToolTip, PointOfRow(row),
                         Viewport()->mapToGlobal(PointOfRow(row)));
        QCoreApplication::sendEvent(Viewport(), &hover);
        EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text() : QString(), U(expected)) << row;
    }
    EXPECT_EQ(list.size(), size);
}
