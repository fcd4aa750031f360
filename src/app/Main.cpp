#include "app/Main.h"

#include "app/DeviceList.h"
#include "app/DeviceListActions.h"
#include "discovery/Probe.h"
#include "discovery/Util.h"
#include "net/IdUDPListenerThread.h"
#include "platform/CodePage.h"
#include "ui/ColumnListBox.h"
#include "ui/FlatComboBox.h"
#include "ui/FlatStatusBar.h"
#include "ui/Font.h"
#include "ui/FrameGroupBox.h"
#include "ui/HotButton.h"
#include "ui/StyledLabel.h"

#include <QApplication>
#include <QFrame>
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
constexpr TColor ButtonFrameColor = 7617536;

TFont MakeFont(const char* face, int height, TColor color = clWindowText) {
    TFont font;
    font.Name = QString::fromUtf8(face);
    font.Height = height;
    font.Color = color;
    return font;
}

QFont FontOf(const char* face, int height) {
    return MakeFont(face, height).ToQFont();
}

QString Gbk(const std::string& text) {
    return QString::fromStdString(GbkToUtf8(text));
}

THotButton* MakeButton(QWidget* parent, const char* text, QRect geometry) {
    auto* button = new THotButton(parent);
    button->SetCaption(QString::fromUtf8(text));
    button->setGeometry(geometry);
    button->SetFont(MakeFont("宋体", 13));
    button->SetHotTrack(true);
    button->FrameColor = ButtonFrameColor;
    return button;
}

TStyledLabel* MakeLabel(QWidget* parent, const char* text, QPoint at, TColor color) {
    auto* label = new TStyledLabel(parent);
    label->move(at);
    label->SetFont(MakeFont("宋体", 13, color));
    label->SetCaption(QString::fromUtf8(text));
    return label;
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
    StatusLine = new TFlatStatusBar(this);
    StatusLine->SimpleStatus = true;
    StatusLine->SetBorders(TFrameStyleEx::fsFlat, TFrameStyleEx::fsNone, AllSides);
    setTabOrder(cbAdapters, btnRefreshNetCar);
    setTabOrder(btnRefreshNetCar, lbDevice);
    setTabOrder(lbDevice, btnSearch);
    setTabOrder(btnSearch, BtnExit);
}

void TMainForm::CreateTopPanel() {
    Panel1 = MakePanel(this);
    AdapterLabel = MakeLabel(Panel1, "网络适配器：", {12, 12}, clWindowText);
    cbAdapters = new TFlatComboBox(Panel1);
    cbAdapters->setGeometry(93, 7, 586, 24);
    cbAdapters->setFont(FontOf("MS Sans Serif", 13));
    cbAdapters->setAccessibleName(AdapterLabel->Caption());
    btnRefreshNetCar = MakeButton(Panel1, "刷新本机网卡", QRect(705, 7, 127, 25));
}

void TMainForm::CreateDeviceList() {
    rbDeviceList = new TFrameGroupBox(this);
    rbDeviceList->setFont(FontOf("宋体", 13));
    rbDeviceList->SetCaption(QString::fromUtf8("设备列表"));
    lbDevice = new TColumnListBox(rbDeviceList);
    lbDevice->setAccessibleName(rbDeviceList->Caption());
    SetUpDeviceList(*lbDevice);
    DeviceListActions = new TDeviceListActions(*lbDevice, ReplyTable());
    lbDevice->RowList().viewport()->installEventFilter(this);
}

void TMainForm::CreateBottomPanel() {
    Panel2 = MakePanel(this);
    Label1 = MakeLabel(Panel2, "若未找到设备，请重选适配器进行搜索", {582, 15}, clNavy);
    btnSearch = MakeButton(Panel2, "搜索设备", QRect(10, 4, 163, 33));
    BtnExit = MakeButton(Panel2, "退出", QRect(217, 4, 163, 33));
}

void TMainForm::WireHandlers() {
    connect(btnRefreshNetCar, &THotButton::OnClick, this, [this] { btnRefreshNetCarClick(); });
    // OnChange comes from the user only (a pick, a typed match, a wheel step,
    // a selection key); selecting by program does not run the handler.
    connect(cbAdapters, &TFlatComboBox::OnChange, this, [this] { cbAdaptersChange(); });
    connect(btnSearch, &THotButton::OnClick, this, [this] { btnSearchClick(); });
    connect(BtnExit, &THotButton::OnClick, this, [this] { BtnExitClick(); });
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
    const TRect area = rbDeviceList->ClientArea();
    lbDevice->setGeometry(area.Left, area.Top, std::max(0, area.Width()),
                          std::max(0, area.Height()));
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
    rowHeightRule_ = ReplyTable().RowHeight();
    FitRowHeight();
}

// One reply of thousands of lines must not make every row a screen high: a
// row is at most as tall as the list shows, and its text is clipped. The cap
// follows the list's size, so a reply that arrived while the window was small
// gets its full height back when the window grows; a row never gets shorter
// than one line.
void TMainForm::FitRowHeight() {
    if (rowHeightRule_ == 0)
        return;
    const int visible = lbDevice->RowList().viewport()->height();
    lbDevice->SetItemHeight(std::max(TReplyTable::LineHeight, std::min(rowHeightRule_, visible)));
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == lbDevice->RowList().viewport())
        FitRowHeight();
    return QWidget::eventFilter(watched, event);
}

void TMainForm::StatusText(const QString& text) {
    StatusLine->SetSimpleCaption(text);
}

void TMainForm::LockControls() {
    btnSearch->SetEnabled(false);
    cbAdapters->setEnabled(false);
    lbDevice->SetEnabled(false);
}

void TMainForm::UnlockControls() {
    btnSearch->SetEnabled(true);
    cbAdapters->setEnabled(true);
    lbDevice->SetEnabled(true);
}
