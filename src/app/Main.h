#pragma once

#include "adapters/LGetAdapterInfo.h"
#include "discovery/ReplyTable.h"
#include "net/IdUDPServer.h"

#include <QWidget>
#include <vector>

class QFrame;
class TColumnListBox;
class TDeviceListActions;
class TFlatComboBox;
class TFlatStatusBar;
class TFrameGroupBox;
class THotButton;
class TStyledLabel;
class TIdUDPListenerThread;

// The one window the user works with: the adapter drop-down list, the device
// list and the search. Everything runs in the UI thread; the endpoint's
// receiving thread reaches UDPServerTaskUDPRead only through the hand-over.
class TMainForm : public QWidget {
public:
    TMainForm();
    ~TMainForm() override;

    // Prepares the probe and refreshes the adapters. A failed refresh ends it
    // early; the caller reports it and shows the window all the same.
    void FormCreate();

    void btnRefreshNetCarClick();
    void cbAdaptersChange();
    void btnSearchClick();
    void BtnExitClick();
    void UDPServerTaskUDPRead(TIdUDPListenerThread& thread, const TIdBytes& data,
                              TIdSocketHandle& binding);

    void StatusText(const QString& text);
    void LockControls();
    void UnlockControls();

    // The controls, named as the user and the tests know them.
    QFrame* Panel1;
    TStyledLabel* AdapterLabel;
    TFlatComboBox* cbAdapters;
    THotButton* btnRefreshNetCar;
    TFrameGroupBox* rbDeviceList;
    TColumnListBox* lbDevice;
    TDeviceListActions* DeviceListActions; // owned by lbDevice
    QFrame* Panel2;
    TStyledLabel* Label1;
    THotButton* btnSearch;
    THotButton* BtnExit;
    TFlatStatusBar* StatusLine;
    TIdUDPServer UDPServerTask{"UDPServerTask"};

    const std::vector<TAdapterInfo>& Adapters() const { return adapters_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreateTopPanel();
    void CreateDeviceList();
    void CreateBottomPanel();
    void WireHandlers();
    void Dock();
    void FitRowHeight();

    std::vector<TAdapterInfo> adapters_;
    // The row height the replies ask for; 0 until the first reply.
    int rowHeightRule_ = 0;
};

// The search's state, shared by the window's handlers for the life of the
// process: the replies of the current search and the probe bytes.
TReplyTable& ReplyTable();
TIdBytes& ProbeBytes();
