#include "app/Main.h"

#include "app/DeviceList.h"
#include "app/DeviceListActions.h"
#include "discovery/Probe.h"
#include "discovery/Util.h"
#include "net/IdUDPListenerThread.h"
#include "platform/CodePage.h"
#include "ui/ColumnListBox.h"
#include "ui/Font.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {

constexpr std::uint16_t ListenPort = 60000;
constexpr int ProbePort = 6001;
constexpr int SearchWaitMs = 4000;

constexpr int ClientWidth = 846;
constexpr int ClientHeight = 625;
constexpr int TopPanelHeight = 41;
constexpr int BottomPanelHeight = 44;
constexpr int StatusHeight = 19;

// The frame colour of the three buttons: red 0, green 60, blue 116.
const char* const ButtonStyle = "QPushButton { border: 1px solid rgb(0, 60, 116); "
                                "background: rgb(240, 240, 240); }"
                                "QPushButton:hover { background: rgb(229, 241, 251); }"
                                "QPushButton:disabled { color: rgb(109, 109, 109); }";

QFont FontOf(const char* face, int height) {
    TFont font;
    font.Name = QString::fromUtf8(face);
    font.Height = height;
    return font.ToQFont();
}

QString Gbk(const std::string& text) {
    return QString::fromStdString(GbkToUtf8(text));
}

QPushButton* MakeButton(QWidget* parent, const char* text, QRect geometry) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setGeometry(geometry);
    button->setFont(FontOf("宋体", 13));
    button->setStyleSheet(ButtonStyle);
    return button;
}

QFrame* MakePanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(1);
    return panel;
}

} // namespace

TReplyTable& ReplyTable() {
    static TReplyTable table;
    return table;
}

TIdBytes& ProbeBytes() {
    static TIdBytes probe;
    return probe;
}

TMainForm::TMainForm() {
    setWindowTitle(QString::fromUtf8("设备查找"));
    setFont(FontOf("宋体", 12));
    setAutoFillBackground(true);
    QPalette face = palette();
    face.setColor(QPalette::Window, QColor(240, 240, 240));
    setPalette(face);
    CreateControls();
    WireHandlers();
    resize(ClientWidth, ClientHeight);
    Dock();
    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TMainForm::~TMainForm() {
    UDPServerTask.SetActive(false);
}

void TMainForm::CreateControls() {
    CreateTopPanel();
    CreateDeviceList();
    CreateBottomPanel();
    StatusLine = new QLabel(this);
    StatusLine->setFrameStyle(QFrame::Box | QFrame::Plain);
    StatusLine->setFont(FontOf("宋体", 12));
    setTabOrder(cbAdapters, btnRefreshNetCar);
    setTabOrder(btnRefreshNetCar, lbDevice);
    setTabOrder(lbDevice, btnSearch);
    setTabOrder(btnSearch, BtnExit);
}

void TMainForm::CreateTopPanel() {
    Panel1 = MakePanel(this);
    AdapterLabel = new QLabel(QString::fromUtf8("网络适配器："), Panel1);
    AdapterLabel->setGeometry(12, 12, 78, 13);
    AdapterLabel->setFont(FontOf("宋体", 13));
    cbAdapters = new QComboBox(Panel1);
    cbAdapters->setGeometry(93, 7, 586, 24);
    cbAdapters->setFont(FontOf("MS Sans Serif", 13));
    btnRefreshNetCar = MakeButton(Panel1, "刷新本机网卡", QRect(705, 7, 127, 25));
}

void TMainForm::CreateDeviceList() {
    rbDeviceList = new QGroupBox(QString::fromUtf8("设备列表"), this);
    rbDeviceList->setFont(FontOf("宋体", 13));
    lbDevice = new TColumnListBox(rbDeviceList);
    SetUpDeviceList(*lbDevice);
    DeviceListActions = new TDeviceListActions(*lbDevice, ReplyTable());
}

void TMainForm::CreateBottomPanel() {
    Panel2 = MakePanel(this);
    Label1 = new QLabel(QString::fromUtf8("若未找到设备，请重选适配器进行搜索"), Panel2);
    Label1->setGeometry(582, 15, 221, 13);
    Label1->setFont(FontOf("宋体", 13));
    Label1->setStyleSheet("color: rgb(0, 0, 128);");
    btnSearch = MakeButton(Panel2, "搜索设备", QRect(10, 4, 163, 33));
    BtnExit = MakeButton(Panel2, "退出", QRect(217, 4, 163, 33));
}

void TMainForm::WireHandlers() {
    connect(btnRefreshNetCar, &QPushButton::clicked, this, [this] { btnRefreshNetCarClick(); });
    // `activated` comes from the user only (click, wheel, keys); selecting by
    // program does not run the handler.
    connect(cbAdapters, &QComboBox::activated, this, [this] { cbAdaptersChange(); });
    connect(btnSearch, &QPushButton::clicked, this, [this] { btnSearchClick(); });
    connect(BtnExit, &QPushButton::clicked, this, [this] { BtnExitClick(); });
    UDPServerTask.OnUDPRead = [this](TIdUDPListenerThread& thread, const TIdBytes& data,
                                     TIdSocketHandle& binding) {
        UDPServerTaskUDPRead(thread, data, binding);
    };
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Dock();
}

// The top panel, the bottom panel and the status line keep their heights;
// the device list takes the rest.
void TMainForm::Dock() {
    const int w = width(), h = height();
    Panel1->setGeometry(0, 0, w, TopPanelHeight);
    StatusLine->setGeometry(0, h - StatusHeight, w, StatusHeight);
    Panel2->setGeometry(0, h - StatusHeight - BottomPanelHeight, w, BottomPanelHeight);
    const int listHeight = std::max(0, h - TopPanelHeight - BottomPanelHeight - StatusHeight);
    rbDeviceList->setGeometry(0, TopPanelHeight, w, listHeight);
    lbDevice->setGeometry(1, 14, std::max(0, w - 2), std::max(0, listHeight - 15));
}

// The probe is made first: a refresh that fails (port taken, no adapter)
// must not leave every later search sending nothing.
void TMainForm::FormCreate() {
    ProbeBytes() = PrepareProbe();
    btnRefreshNetCarClick();
}

void TMainForm::btnRefreshNetCarClick() {
    cbAdapters->clear();
    adapters_ = EnumerateAdapters();
    for (size_t i = 0; i < adapters_.size(); ++i)
        cbAdapters->addItem(QString("%1. %2").arg(i + 1).arg(Gbk(adapters_[i].description)));
    cbAdapters->setCurrentIndex(0);
    UDPServerTask.SetActive(false);
    UDPServerTask.Bindings.Clear();
    TIdSocketHandle& binding = UDPServerTask.Bindings.Add();
    binding.IP = adapters_[0].ipAddress;
    binding.Port = ListenPort;
    UDPServerTask.SetActive(true);
}

void TMainForm::cbAdaptersChange() {
    const int index = std::max(0, cbAdapters->currentIndex());
    UDPServerTask.SetActive(false);
    TIdSocketHandle& binding = UDPServerTask.Bindings[0];
    binding.IP = adapters_.at(static_cast<size_t>(index)).ipAddress;
    binding.Port = ListenPort;
    UDPServerTask.SetActive(true);
}

void TMainForm::btnSearchClick() {
    ReplyTable().Reset();
    lbDevice->Clear();
    // Without a chosen adapter (no adapter at start-up) there is no binding,
    // and the probe would leave from every address onto whatever network the
    // routing table picks. Nothing is sent then; the wait still runs.
    if (UDPServerTask.Bindings.Count() > 0)
        UDPServerTask.SendBroadcast(ProbeBytes(), ProbePort);
    StatusText(QString::fromUtf8("正在搜索设备，请稍后..."));
    LockControls();
    WaitWithMessages(SearchWaitMs);
    UnlockControls();
    StatusText(QString::fromUtf8("设备搜索完成！"));
}

void TMainForm::BtnExitClick() {
    // Ends the application once the running handler, and with it a running
    // search wait, has returned.
    QCoreApplication::exit(0);
}

void TMainForm::UDPServerTaskUDPRead(TIdUDPListenerThread&, const TIdBytes& data,
                                     TIdSocketHandle& binding) {
    if (!UDPServerTask.Active())
        return;
    const TDEVICE_INFO1* record =
        ReplyTable().Record(binding.SenderIP, binding.SenderPort, BytesToText(data, 1));
    if (record == nullptr)
        return;
    lbDevice->Items().Add(RowText(*record));
    DeviceListActions->ReplyListed(*record);
    // One reply of thousands of lines must not make every row a screen high:
    // a row is at most as tall as the list shows, and its text is clipped.
    const int visible = lbDevice->RowList().viewport()->height();
    lbDevice->SetItemHeight(std::min(ReplyTable().RowHeight(), std::max(visible, 1)));
}

void TMainForm::StatusText(const QString& text) {
    StatusLine->setText(text);
}

void TMainForm::LockControls() {
    btnSearch->setEnabled(false);
    cbAdapters->setEnabled(false);
    lbDevice->SetEnabled(false);
}

void TMainForm::UnlockControls() {
    btnSearch->setEnabled(true);
    cbAdapters->setEnabled(true);
    lbDevice->SetEnabled(true);
}
