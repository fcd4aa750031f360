#pragma once

#include "report/text/ReportData.h"
#include "report/text/ReportTexts.h"

#include <QDialog>

class QCheckBox;
class QPushButton;
class QTabWidget;
class QTreeWidget;

// The detailed report dialog: the apology band and the message, and in the
// expanded view one page per part of the report (General, Call Stack, then
// Modules and Processes, Assembler and CPU as the log options ask). The
// window's place and size and the lists' column widths are kept in
// "Quoxa.ini", section "Coordinates".
class TReportDialog : public QDialog {
public:
    struct TSetup {
        QString Message;
        const TCrashReport* Report = nullptr;
        const TReportTexts* Texts = nullptr;
        std::uint8_t LogOptions = 0;
        int FirstTab = 0;
        bool ShowOperationButton = false; // from the fourth report on
        std::uint8_t Operation = 2;       // 2 restart, 1 terminate
        bool FromLink = false;            // opened from the plain dialog's link
        bool ShowDetails = true;          // the Details button may be shown
        bool ShowCopyBox = true;
        QString SettingsFile; // the ini file
    };

    explicit TReportDialog(const TSetup& setup, QWidget* parent = nullptr);
    ~TReportDialog() override;

    bool OperationRequested() const { return operationRequested_; }
    bool CopyToClipboard() const;
    bool Expanded() const;

    QTabWidget* Pages() const { return pages_; }
    QPushButton* OperationButton() const { return operation_; }
    QPushButton* DetailsButton() const { return details_; }
    QCheckBox* CopyBox() const { return copy_; }

private:
    QTreeWidget* AddList(const QString& title, const QString& key, const QStringList& columns);
    void AddText(const QString& title, const std::string& text);
    void SetExpanded(bool expanded);
    void Restore();
    void Save() const;

    QString settingsFile_;
    QRect expandedPlace_; // the window in the expanded view
    QTabWidget* pages_ = nullptr;
    QPushButton* operation_ = nullptr;
    QPushButton* details_ = nullptr;
    QCheckBox* copy_ = nullptr;
    std::vector<std::pair<QString, QTreeWidget*>> lists_;
    bool operationRequested_ = false;
    bool expanded_ = false;
};

// "$XDG_CONFIG_HOME/Quoxa/Quoxa.ini" (default ~/.config).
QString ReportSettingsFile();
