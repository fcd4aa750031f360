#pragma once

#include "discovery/HardwareLookup.h"
#include "discovery/ReplyTable.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class QMenu;
class QUrl;
class QWidget;
class TColumnListBox;
class TColumnRowList;

// What the user can do with the device list beyond looking at it: a context
// menu on a row ("复制 IP 地址", "复制整行", "在浏览器中打开", "导出列表…"),
// Ctrl+C to copy the selected row and a double-click to open the device's web
// page; hovering over a row shows its MAC and maker. Row i of the list is record i of the reply
// table, as the search adds them. Every text given out is UTF-8 with the device's MAC and maker.
// Lives in the UI thread, as the list does.
class TDeviceListActions : public QObject {
public:
    TDeviceListActions(TColumnListBox& list, const TReplyTable& replies,
                       THardwareLookup hardware = THardwareLookup());
    ~TDeviceListActions() override;

    // Called as each reply is listed. The MAC is taken shortly after, while
    // the neighbour entry that came with the reply is fresh: the replies
    // listed meanwhile are looked up together, so a burst from a thousand
    // devices costs one read of the neighbour table, not one per reply.
    void ReplyListed(const TDEVICE_INFO1& record);

    // The context menu for row `row` (-1 when the click was below the rows).
    std::unique_ptr<QMenu> MakeMenu(int row);

    void CopyAddress(int row);
    void CopyRow(int row);
    void OpenInBrowser(int row);
    // Asks for a file name and writes every row to it as CSV. A file that
    // cannot be written is told in a message naming it and the system's reason.
    void ExportList();

    // The tooltip of row `row`: its MAC and maker, empty when the MAC is unknown.
    QString ToolTipText(int row);

    // "address TAB port TAB MAC TAB maker TAB reply" of row `row`.
    QString RowText(int row);
    // The whole list as CSV: byte-order mark, the heading, one line a row.
    QByteArray CsvText();
    // Writes CsvText to `path`; raises Exception when the file cannot be written.
    void WriteCsv(const QString& path);

    // Asks the user for the export's file name; empty cancels. A save dialog
    // unless replaced (the tests replace it).
    std::function<QString()> ChooseExportFile;
    // Tells the user why the export failed: a message box unless replaced.
    std::function<void(const QString&)> ShowExportFailure;
    // Opens a web page: the desktop's URL handler unless replaced.
    std::function<void(const QUrl&)> OpenUrl;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool IsRow(int row) const;
    bool HasMac(const std::string& ip) const;
    // Looks `ips` up in one pass and keeps what it finds.
    void LookUp(const std::vector<std::string>& ips);
    void LookUpListed();
    TDeviceHardware HardwareOf(const TDEVICE_INFO1& record);
    void ShowMenu(int row, const QPoint& globalPos);

    TColumnListBox& list_;
    TColumnRowList& rows_;
    const TReplyTable& replies_;
    THardwareLookup hardware_;
    std::unordered_map<std::string, TDeviceHardware> known_; // by address
    std::vector<std::string> listed_;                        // listed, not looked up yet
    QTimer lookUpTimer_;                                     // runs LookUpListed
};
