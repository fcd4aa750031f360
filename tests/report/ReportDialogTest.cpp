#include "report/dialogs/ReportDialog.h"
#include "report/dialogs/ErrorDialog.h"
#include "report/dialogs/ReportPresenter.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <gtest/gtest.h>

namespace {

const TReportTexts kTexts;

QWidget* Child(QWidget* parent, const char* name) {
    return parent->findChild<QWidget*>(name);
}

// Runs `step` on the next modal dialog once it is shown.
void OnNextDialog(std::function<void(QWidget*)> step) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, step] {
        if (QWidget* dialog = QApplication::activeModalWidget(); dialog && dialog->isVisible()) {
            poll->stop();
            poll->deleteLater();
            step(dialog);
        }
    });
    poll->start(5);
}

TCrashReport SmallReport() {
    TCrashReport report;
    TCallStackEntry entry;
    entry.Address = 0x401000;
    entry.Module = "device-finder";
    entry.Procedure = "FormCreate";
    entry.Line = 12;
    entry.LineOffset = 3;
    report.CallStack = {entry, entry};
    report.Modules.resize(2);
    return report;
}

} // namespace

TEST(ErrorDialog, LayoutTextsAndBox) {
    for (const std::uint8_t operation : {kOperationRestart, kOperationTerminate}) {
        for (const bool box : {false, true}) {
            TErrorDialog dialog("Could not bind socket.", box, operation, kTexts);
            EXPECT_EQ(dialog.width(), 419);
            EXPECT_EQ(dialog.windowTitle(), "Error occurred");
            QWidget* icon = Child(&dialog, "errorIcon");
            ASSERT_NE(icon, nullptr);
            EXPECT_EQ(icon->mapTo(&dialog, QPoint(0, 0)), QPoint(372, 9));
            EXPECT_EQ(icon->size(), QSize(32, 32));
            EXPECT_EQ(static_cast<QLabel*>(Child(&dialog, "message"))->text(),
                      "Could not bind socket.");
            EXPECT_EQ(dialog.OperationBox() != nullptr, box);
            if (box) {
                EXPECT_EQ(dialog.OperationBox()->text(), operation == kOperationRestart
                                                             ? "Restart application."
                                                             : "Terminate application.");
            }
            EXPECT_TRUE(dialog.Link()->text().contains("click here."));
            EXPECT_TRUE(dialog.OkButton()->isDefault());
            EXPECT_EQ(dialog.OkButton()->text(), "&OK");
            EXPECT_GT(dialog.height(), dialog.OkButton()->geometry().bottom());
        }
    }
    TErrorDialog withoutLink("m", false, kOperationRestart, kTexts, false);
    EXPECT_FALSE(withoutLink.Link()->isVisibleTo(&withoutLink));
    EXPECT_LT(withoutLink.OkButton()->y(), withoutLink.Link()->y() + withoutLink.Link()->height());
}

TEST(ErrorDialog, HowItEndsDecidesTheRestart) {
    const struct {
        const char* what;
        std::function<void(TErrorDialog&)> end;
        bool restart, details;
    } cases[] = {
        {"OK", [](TErrorDialog& d) { d.OkButton()->click(); }, true, false},
        {"close box", [](TErrorDialog& d) { d.close(); }, true, false},
        {"Escape",
         [](TErrorDialog& d) {
             QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(&d, &escape);
         },
         false, false},
        {"link", [](TErrorDialog& d) { emit d.Link()->linkActivated("details"); }, false, true},
    };
    for (const auto& c : cases) {
        TErrorDialog dialog("m", true, kOperationRestart, kTexts);
        dialog.OperationBox()->setChecked(true);
        OnNextDialog([&](QWidget*) {
            EXPECT_EQ(QApplication::focusWidget(), dialog.OkButton()) << c.what;
            c.end(dialog);
        });
        dialog.exec();
        EXPECT_EQ(dialog.OperationRequested(), c.restart) << c.what;
        EXPECT_EQ(dialog.DetailsRequested(), c.details) << c.what;
    }
}

TEST(ReportDialog, PagesButtonsAndKeptGeometry) {
    QTemporaryDir folder;
    const TCrashReport report = SmallReport();
    TReportDialog::TSetup setup;
    setup.Message = "m";
    setup.Report = &report;
    setup.Texts = &kTexts;
    setup.SettingsFile = folder.filePath("Quoxa.ini");
    const struct {
        std::uint8_t logOptions;
        QStringList pages;
    } cases[] = {{0x30, {"General", "Call Stack", "Modules", "Processes", "Assembler", "CPU"}},
                 {0x00, {"General", "Call Stack"}}};
    for (const auto& c : cases) {
        setup.LogOptions = c.logOptions;
        TReportDialog dialog(setup);
        QStringList pages;
        for (int i = 0; i < dialog.Pages()->count(); ++i)
            pages << dialog.Pages()->tabText(i);
        EXPECT_EQ(pages, c.pages);
        EXPECT_EQ(dialog.Pages()->currentIndex(), 0);
    }

    setup.LogOptions = 0x30;
    {
        TReportDialog dialog(setup);
        EXPECT_FALSE(dialog.Expanded());
        EXPECT_FALSE(dialog.OperationButton()->isVisibleTo(&dialog)) << "before the fourth report";
        EXPECT_TRUE(dialog.DetailsButton()->isVisibleTo(&dialog));
        EXPECT_FALSE(dialog.CopyBox()->isChecked());
        dialog.DetailsButton()->click();
        EXPECT_TRUE(dialog.Expanded());
        auto* stack = static_cast<QTreeWidget*>(dialog.Pages()->widget(1));
        EXPECT_EQ(stack->topLevelItemCount(), 3) << "thread header and two frames";
        EXPECT_EQ(stack->topLevelItem(1)->text(5), "12[3]");
        stack->setColumnWidth(2, 77);
        dialog.setGeometry(50, 60, 700, 500);
    }
    setup.FromLink = true;
    setup.ShowOperationButton = true;
    TReportDialog dialog(setup);
    EXPECT_TRUE(dialog.Expanded());
    EXPECT_FALSE(dialog.DetailsButton()->isVisibleTo(&dialog));
    EXPECT_EQ(dialog.OperationButton()->text(), "&Restart");
    EXPECT_TRUE(dialog.OperationButton()->isVisibleTo(&dialog));
    EXPECT_EQ(static_cast<QTreeWidget*>(dialog.Pages()->widget(1))->columnWidth(2), 77);
    EXPECT_EQ(dialog.size(), QSize(700, 500));
    dialog.CopyBox()->setChecked(true);
    dialog.OperationButton()->click();
    EXPECT_TRUE(dialog.OperationRequested());
    EXPECT_TRUE(dialog.CopyToClipboard());
}

TEST(ReportDialog, ShowsWhatTheReportTextWrites) {
    TCrashReport report = SmallReport();
    TCallStackEntry stackless;
    stackless.Thread.Id = 2;
    stackless.NoFrames = true;
    report.CallStack.push_back(stackless);
    report.Modules[0].Version = "0.0.0.0";
    report.Modules[1].Version = "6.4.2.0";
    TReportDialog::TSetup setup;
    setup.Report = &report;
    setup.Texts = &kTexts;
    setup.LogOptions = 0x30;
    TReportDialog dialog(setup);
    auto* stack = static_cast<QTreeWidget*>(dialog.Pages()->widget(1));
    EXPECT_EQ(stack->topLevelItemCount(), 4) << "the stackless thread's header alone";
    auto* modules = static_cast<QTreeWidget*>(dialog.Pages()->widget(2));
    EXPECT_EQ(modules->topLevelItem(0)->text(3), "") << "no version";
    EXPECT_EQ(modules->topLevelItem(1)->text(3), "6.4.2.0");
}

TEST(ReportPresenter, LinkLeadsToTheExpandedDetailsWhoseRestartCounts) {
    QTemporaryDir folder;
    const TCrashReport report = SmallReport();
    const TReportOptions options;
    TPresentation presentation;
    presentation.Message = "bind failed";
    presentation.ShowOperationBox = true;
    presentation.Report = &report;
    presentation.Options = &options;
    QStringList seen;
    OnNextDialog([&](QWidget* plain) {
        seen << (dynamic_cast<TErrorDialog*>(plain) ? "plain" : "other");
        OnNextDialog([&](QWidget* detailed) {
            auto* details = dynamic_cast<TReportDialog*>(detailed);
            seen << (details ? "detailed" : "other");
            if (details == nullptr)
                return;
            seen << (details->Expanded() ? "expanded" : "compact");
            details->OperationButton()->click();
        });
        emit static_cast<TErrorDialog*>(plain)->Link()->linkActivated("details");
    });
    const TPresentationResult result =
        ShowReportDialogs(presentation, folder.filePath("Quoxa.ini"));
    EXPECT_EQ(seen, QStringList({"plain", "detailed", "expanded"}));
    EXPECT_TRUE(result.OperationRequested);
    EXPECT_FALSE(result.CopyToClipboard);
}
