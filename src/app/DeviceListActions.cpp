#include "app/DeviceListActions.h"

#include "app/DeviceToolTip.h"
#include "discovery/Csv.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "ui/ColumnListBox.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QToolTip>
#include <QUrl>

namespace {

// Long enough for a burst of replies to be listed first, short enough that
// the neighbour entries they came with are still there.
constexpr int LookUpDelayMs = 100;

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString Gbk(const std::string& text) {
    return QString::fromStdString(GbkToUtf8(text));
}

} // namespace

TDeviceListActions::TDeviceListActions(TColumnListBox& list, const TReplyTable& replies,
                                       THardwareLookup hardware)
    : QObject(&list), list_(list), rows_(list.RowList()), replies_(replies),
      hardware_(std::move(hardware)) {
    ChooseExportFile = [this] {
        return QFileDialog::getSaveFileName(list_.window(), Text("导出列表"), Text("设备列表.csv"),
                                            Text("CSV 文件 (*.csv)"));
    };
    ShowExportFailure = [this](const QString& message) {
        QMessageBox::warning(list_.window(), Text("导出列表"), message);
    };
    OpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    rows_.installEventFilter(this);
    rows_.viewport()->installEventFilter(this);
    lookUpTimer_.setSingleShot(true);
    lookUpTimer_.setInterval(LookUpDelayMs);
    connect(&lookUpTimer_, &QTimer::timeout, this, [this] { LookUpListed(); });
}

TDeviceListActions::~TDeviceListActions() = default;

void TDeviceListActions::ReplyListed(const TDEVICE_INFO1& record) {
    listed_.push_back(record.IP);
    if (!lookUpTimer_.isActive())
        lookUpTimer_.start();
}

void TDeviceListActions::LookUpListed() {
    LookUp(listed_);
    listed_.clear();
}

void TDeviceListActions::LookUp(const std::vector<std::string>& ips) {
    const std::vector<TDeviceHardware> found = hardware_.FindAll(ips);
    for (size_t i = 0; i < ips.size(); ++i)
        known_[ips[i]] = found[i];
}

bool TDeviceListActions::HasMac(const std::string& ip) const {
    const auto found = known_.find(ip);
    return found != known_.end() && !found->second.mac.empty();
}

TDeviceHardware TDeviceListActions::HardwareOf(const TDEVICE_INFO1& record) {
    if (!HasMac(record.IP))
        LookUp({record.IP});
    return known_[record.IP];
}

bool TDeviceListActions::IsRow(int row) const {
    return row >= 0 && row < list_.Items().Count() && row < replies_.NextIndex();
}

std::unique_ptr<QMenu> TDeviceListActions::MakeMenu(int row) {
    auto menu = std::make_unique<QMenu>(&list_);
    const bool isRow = IsRow(row);
    menu->addAction(Text("复制 IP 地址"), [this, row] { CopyAddress(row); })->setEnabled(isRow);
    menu->addAction(Text("复制整行"), [this, row] { CopyRow(row); })->setEnabled(isRow);
    menu->addAction(Text("在浏览器中打开"), [this, row] { OpenInBrowser(row); })->setEnabled(isRow);
    menu->addSeparator();
    menu->addAction(Text("导出列表…"), [this] { ExportList(); })
        ->setEnabled(list_.Items().Count() > 0);
    return menu;
}

void TDeviceListActions::CopyAddress(int row) {
    if (IsRow(row))
        QApplication::clipboard()->setText(Gbk(replies_[row].IP));
}

void TDeviceListActions::CopyRow(int row) {
    if (IsRow(row))
        QApplication::clipboard()->setText(RowText(row));
}

void TDeviceListActions::OpenInBrowser(int row) {
    if (IsRow(row))
        OpenUrl(QUrl("http://" + Gbk(replies_[row].IP) + "/"));
}

QString TDeviceListActions::RowText(int row) {
    const TDEVICE_INFO1& record = replies_[row];
    const TDeviceHardware hardware = HardwareOf(record);
    return QStringList{Gbk(record.IP), Gbk(record.Port), QString::fromStdString(hardware.mac),
                       QString::fromStdString(hardware.vendor), Gbk(record.Info)}
        .join('\t');
}

QString TDeviceListActions::ToolTipText(int row) {
    return IsRow(row) ? DeviceToolTip(HardwareOf(replies_[row])) : QString();
}

QByteArray TDeviceListActions::CsvText() {
    // The mark tells spreadsheet programs the text is UTF-8, so the Chinese shows.
    std::string csv = "\xEF\xBB\xBF" + CsvLine({"设备IP", "端口", "设备MAC", "厂商", "信息"});
    std::vector<std::string> withoutMac;
    for (int row = 0; IsRow(row); ++row)
        if (!HasMac(replies_[row].IP))
            withoutMac.push_back(replies_[row].IP);
    LookUp(withoutMac);
    for (int row = 0; IsRow(row); ++row) {
        const TDEVICE_INFO1& record = replies_[row];
        const TDeviceHardware& hardware = known_[record.IP];
        csv += CsvLine({GbkToUtf8(record.IP), record.Port, hardware.mac, hardware.vendor,
                        GbkToUtf8(record.Info)});
    }
    return QByteArray::fromStdString(csv);
}

void TDeviceListActions::WriteCsv(const QString& path) {
    const QByteArray csv = CsvText();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(csv) != csv.size() ||
        !file.flush())
        throw Exception(Utf8ToGbk("无法写入文件 " + path.toStdString() + ": " +
                                  file.errorString().toStdString()));
}

// A folder the user may not write to or a full disk is an ordinary outcome:
// it is told in a message and the list stays, nothing for the crash reporting.
void TDeviceListActions::ExportList() {
    const QString path = ChooseExportFile();
    if (path.isEmpty())
        return;
    try {
        WriteCsv(path);
    } catch (const Exception& failure) {
        ShowExportFailure(Gbk(failure.Message()));
    }
}

void TDeviceListActions::ShowMenu(int row, const QPoint& globalPos) {
    if (IsRow(row))
        rows_.SetItemIndex(row);
    MakeMenu(row)->exec(globalPos);
}

// Touches the list only for the four events it handles: the others include
// those sent while the list is being destroyed.
bool TDeviceListActions::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ContextMenu: {
        if (watched != rows_.viewport())
            break;
        const auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        const int row = menuEvent->reason() == QContextMenuEvent::Mouse
                            ? rows_.ItemAt(menuEvent->pos().y())
                            : rows_.ItemIndex();
        ShowMenu(row, menuEvent->globalPos());
        return true;
    }
    case QEvent::MouseButtonDblClick: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (watched != rows_.viewport() || mouse->button() != Qt::LeftButton)
            break;
        OpenInBrowser(rows_.ItemAt(mouse->position().toPoint().y()));
        return true;
    }
    case QEvent::ToolTip: {
        if (watched != rows_.viewport())
            break;
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString text = ToolTipText(rows_.ItemAt(help->pos().y()));
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, rows_.viewport());
        return true;
    }
    case QEvent::KeyPress:
        if (watched != &rows_ || !static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy))
            break;
        CopyRow(rows_.ItemIndex());
        return true;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
