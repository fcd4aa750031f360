#include "report/dialogs/ReportDialog.h"

#include "report/dialogs/ErrorBand.h"
#include "report/dialogs/ErrorDialog.h"
#include "report/text/CpuSectionText.h"
#include "report/text/ReportOptions.h"
#include "report/text/ReportText.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr const char* kSection = "Coordinates";

QStringList Columns(const TReportTexts& texts, int first, int count) {
    QStringList columns;
    for (int i = first; i < first + count; ++i)
        columns << ReportQString(texts[i]);
    return columns;
}

QString Hex(std::uint64_t value) {
    return QString::fromStdString(Hex16(value));
}

void AddRow(QTreeWidget* list, const QStringList& cells) {
    new QTreeWidgetItem(list, cells);
}

// As the report text writes it: no version is shown as none.
QString VersionText(const std::string& version) {
    return version == "0.0.0.0" ? QString() : ReportQString(version);
}

// The call stack as rows, each thread opened by its header across the row.
void FillCallStack(QTreeWidget* list, const std::vector<TCallStackEntry>& entries,
                   const TReportTexts& texts) {
    const TCallStackEntry* previous = nullptr;
    for (const TCallStackEntry& entry : entries) {
        if (previous == nullptr || previous->Thread.Id != entry.Thread.Id ||
            previous->Kind != entry.Kind || entry.StackStart) {
            auto* header = new QTreeWidgetItem(
                list, {ReportQString(ThreadHeaderText(entry.Kind, entry.Thread, texts))});
            header->setFirstColumnSpanned(true);
        }
        previous = &entry;
        if (entry.NoFrames) // a thread whose stack could not be taken: its header alone
            continue;
        const QString line =
            entry.Line == 0 ? QString() : QString("%1[%2]").arg(entry.Line).arg(entry.LineOffset);
        AddRow(list, {Hex(entry.Address), ReportQString(entry.Module), ReportQString(entry.Unit),
                      ReportQString(entry.Class), ReportQString(entry.Procedure), line});
    }
}

} // namespace

QString ReportSettingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/Quoxa/Quoxa.ini";
}

TReportDialog::TReportDialog(const TSetup& setup, QWidget* parent)
    : QDialog(parent), settingsFile_(setup.SettingsFile) {
    const TReportTexts& texts = *setup.Texts;
    const TCrashReport& report = *setup.Report;
    setWindowTitle(ReportQString(texts[3]));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 8);
    layout->addWidget(new TErrorBand(ReportQString(texts[26]), this), 0, Qt::AlignHCenter);
    auto* message = new QLabel(setup.Message, this);
    message->setObjectName("message");
    message->setWordWrap(true);
    message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message->setContentsMargins(9, 6, 9, 6);
    layout->addWidget(message);

    pages_ = new QTabWidget(this);
    layout->addWidget(pages_, 1);
    AddText(ReportQString(texts[5]), GeneralText(report.General));
    FillCallStack(AddList(ReportQString(texts[7]), "CallStack", Columns(texts, 92, 6)),
                  report.CallStack, texts);
    if (setup.LogOptions & kLogModulesProcesses) {
        QTreeWidget* modules = AddList(ReportQString(texts[9]), "Modules", Columns(texts, 126, 7));
        for (const TModuleInfo& m : report.Modules)
            AddRow(modules, {Hex(m.Handle), ReportQString(m.Name), ReportQString(m.Description),
                             VersionText(m.Version), QString::number(m.Size),
                             ReportQString(m.Modified), ReportQString(m.Path)});
        QTreeWidget* processes =
            AddList(ReportQString(texts[11]), "Processes", Columns(texts, 133, 8));
        for (const TProcessInfo& p : report.Processes)
            AddRow(processes,
                   {QString::number(p.Id), ReportQString(p.Name), ReportQString(p.Description),
                    VersionText(p.Version), QString::number(p.Memory),
                    QString::fromStdString(PriorityClassName(p.Priority)),
                    p.Threads == 0 ? QString("??") : QString::number(p.Threads),
                    ReportQString(p.Path)});
    }
    if (setup.LogOptions & kLogAssemblerCpu) {
        AddText(ReportQString(texts[13]), report.Disassembly);
        AddText(ReportQString(texts[15]),
                CpuSectionText(report.Context, report.Stack, report.Memory, texts));
    }
    pages_->setCurrentIndex(std::min(setup.FirstTab, pages_->count() - 1));

    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    copy_ = new QCheckBox(ReportQString(texts[24]), this);
    copy_->setVisible(setup.ShowCopyBox);
    buttons->addWidget(copy_);
    buttons->addStretch(1);
    auto* ok = new QPushButton(ReportQString(texts[17]), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(ok);
    operation_ = new QPushButton(ReportQString(texts[setup.Operation == 1 ? 18 : 19]), this);
    operation_->setVisible(setup.ShowOperationButton && setup.Operation != 0);
    connect(operation_, &QPushButton::clicked, this, [this] {
        operationRequested_ = true;
        accept();
    });
    buttons->addWidget(operation_);
    details_ = new QPushButton(ReportQString(texts[20]), this);
    details_->setCheckable(true);
    details_->setVisible(!setup.FromLink && setup.ShowDetails);
    connect(details_, &QPushButton::toggled, this, &TReportDialog::SetExpanded);
    buttons->addWidget(details_);

    Restore();
    SetExpanded(setup.FromLink);
    ok->setFocus();
}

TReportDialog::~TReportDialog() {
    Save();
}

bool TReportDialog::CopyToClipboard() const {
    return copy_->isVisibleTo(this) && copy_->isChecked();
}

bool TReportDialog::Expanded() const {
    return expanded_;
}

QTreeWidget* TReportDialog::AddList(const QString& title, const QString& key,
                                    const QStringList& columns) {
    auto* list = new QTreeWidget(this);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setHeaderLabels(columns);
    list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    list->setAccessibleName(title);
    pages_->addTab(list, title);
    lists_.emplace_back(key, list);
    return list;
}

void TReportDialog::AddText(const QString& title, const std::string& text) {
    auto* page = new QPlainTextEdit(ReportQString(text), this);
    page->setReadOnly(true);
    page->setLineWrapMode(QPlainTextEdit::NoWrap);
    page->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    page->setAccessibleName(title);
    pages_->addTab(page, title);
}

void TReportDialog::SetExpanded(bool expanded) {
    if (expanded_ && !expanded)
        expandedPlace_ = geometry();
    expanded_ = expanded;
    pages_->setVisible(expanded);
    details_->setChecked(expanded);
    if (expanded) {
        setGeometry(expandedPlace_);
    } else {
        layout()->activate();
        resize(TErrorBand::Width + 6, minimumSizeHint().height());
    }
}

void TReportDialog::Restore() {
    QSettings settings(settingsFile_, QSettings::IniFormat);
    settings.beginGroup(kSection);
    expandedPlace_ = settings.value("Window").toRect();
    if (!expandedPlace_.isValid()) {
        resize(640, 480);
        CentreOnActiveMonitor(this);
        expandedPlace_ = geometry();
    }
    for (const auto& [key, list] : lists_) {
        const QStringList widths = settings.value(key + "Columns").toStringList();
        for (int i = 0; i < widths.size() && i < list->columnCount(); ++i)
            list->setColumnWidth(i, widths[i].toInt());
        if (widths.isEmpty())
            for (int i = 0; i < list->columnCount(); ++i)
                list->resizeColumnToContents(i);
    }
}

void TReportDialog::Save() const {
    QSettings settings(settingsFile_, QSettings::IniFormat);
    settings.beginGroup(kSection);
    settings.setValue("Window", Expanded() ? geometry() : expandedPlace_);
    for (const auto& [key, list] : lists_) {
        QStringList widths;
        for (int i = 0; i < list->columnCount(); ++i)
            widths << QString::number(list->columnWidth(i));
        settings.setValue(key + "Columns", widths);
    }
}
