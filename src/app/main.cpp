#include "app/Main.h"
#include "app/Application.h"
#include "net/IdSync.h"
#include "net/IdThread.h"
#include "platform/CodePage.h"
#include "report/ReportStartup.h"
#include "report/Restart.h"
#include "report/dialogs/ReportPresenter.h"
#include "report/fatal/FatalFaultHandler.h"
#include "report/fatal/ReporterProcess.h"

#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <xcb/xcb.h>

namespace {

// A failed library step, told in a box when there is a screen for one.
void StageFailureBox(const std::string& title, const std::string& text) {
    if (QApplication::instance() == nullptr) {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
        return;
    }
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

const char* const kTitle = "设备查找";

TReportFrontEnd FrontEnd() {
    TReportFrontEnd frontEnd;
    frontEnd.Routines = TApplication::HookedRoutines();
    frontEnd.Description = Utf8ToGbk(kTitle);
    frontEnd.Version = DF_VERSION ".0";
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        frontEnd.DisplayMode = QString("%1 x %2, %3 bit")
                                   .arg(screen->size().width())
                                   .arg(screen->size().height())
                                   .arg(screen->depth())
                                   .toStdString();
        frontEnd.DisplayDpi = QString::number(qRound(screen->logicalDotsPerInch())).toStdString();
    }
    frontEnd.Present = &PresentReport;
    frontEnd.CopyToClipboard = &CopyReportToClipboard;
    // The UI thread waiting for its own report shows the report's dialogs.
    frontEnd.Pump = [] { CheckSynchronize(); };
    return frontEnd;
}

// The program's icon on every window it opens (task bar, Alt+Tab, the report
// dialogs), drawn from the same picture the desktop entry shows, and the
// desktop entry's name, by which a Wayland compositor matches the windows to
// it.
void SetProgramIdentity() {
    QSvgRenderer picture(QStringLiteral(":/device-finder.svg"));
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        picture.render(&painter);
        icon.addPixmap(pixmap);
    }
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("device-finder"));
}

// A report with no dialog to show it in goes to standard error.
TPresentationResult WriteReport(const TPresentation& presentation) {
    const std::string text = GbkToUtf8(ShownMessage(presentation) + "\r\n" + presentation.Text);
    std::fprintf(stderr, "device-finder: %s\n", text.c_str());
    return {};
}

using TXConnection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;

// The platform the reporter's toolkit is asked for, an X display where none
// is named.
std::string ReporterPlatform() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    return platform != nullptr && *platform != '\0' ? platform : "xcb";
}

// Whether the reporter can show a dialog: the toolkit ends a program whose
// display is gone, so an X display is tried first; the offscreen and
// minimal platforms show nothing anyone could answer. The X connection tried
// is kept in `probe`: an X server that loses its last client resets and drops
// the connections being made meanwhile, the toolkit's among them.
bool CanShowDialogs(const std::string& platform, TXConnection& probe) {
    if (platform.starts_with("offscreen") || platform.starts_with("minimal"))
        return false;
    if (!platform.starts_with("xcb"))
        return true;
    probe.reset(xcb_connect(nullptr, nullptr));
    return xcb_connection_has_error(probe.get()) == 0;
}

// The reporter of a crashed instance: the plain dialog on a screen of its
// own, or the report on standard error where there is no screen, so the
// crashed process never waits for a dialog nobody can see.
int RunReporter(char** argv) {
    const std::string platform = ReporterPlatform();
    TXConnection probe(nullptr, &xcb_disconnect);
    if (!CanShowDialogs(platform, probe)) {
        TReportFrontEnd frontEnd = FrontEnd();
        frontEnd.Present = &WriteReport;
        return RunReporterProcess(frontEnd);
    }
    // A display gone since the probe leaves the toolkit on the offscreen
    // platform instead of ending the reporter before the report is saved.
    std::string option = "-platform", fallback = platform + ";offscreen";
    char* arguments[] = {argv[0], argv[1], option.data(), fallback.data(), nullptr};
    int count = 4;
    QApplication application(count, arguments);
    probe.reset();
    SetProgramIdentity();
    TReportFrontEnd frontEnd = FrontEnd();
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        frontEnd.Present = &WriteReport;
    return RunReporterProcess(frontEnd);
}

// The display connection's socket, for the fatal-fault handler to let go
// of the display's grabs.
void PrepareDisplayRelease() {
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
        SetFatalFaultDisplaySocket(xcb_get_file_descriptor(x11->connection()));
}

} // namespace

int main(int argc, char** argv) {
    if (IsReporterProcess(argc, argv))
        return RunReporter(argv);
    // A report copied before a restart comes back to the clipboard.
    const std::string handedOver = TakeHandedOverClipboard();
    // The code page conversion stands in for the run-time library's start-up.
    RunLibraryStep(
        "SysUtils Initialization", [] { GbkToUtf8(""); }, StageFailureBox);
    std::unique_ptr<TApplication> application;
    if (!RunLibraryStep(
            "Classes Initialization",
            [&] { application = std::make_unique<TApplication>(argc, argv); }, StageFailureBox))
        return 1;
    application->SetTitle(QString::fromUtf8(kTitle));
    SetProgramIdentity();
    StartCrashReporting(FrontEnd());
    InstallFatalFaultHandler();
    PrepareDisplayRelease();
    if (!handedOver.empty())
        CopyReportToClipboard(handedOver);
    TIdThread::SetExceptionHook([](TIdThread&, const std::exception& failure) {
        return ExceptionManager(ExceptionRecordOf(failure, kDisplayThread));
    });

    int result = 0;
    {
        TMainForm form;
        try {
            form.FormCreate();
        } catch (const std::exception& failure) {
            application->HandleException(failure);
        }
        form.show();
        result = application->exec();
    }
    RunLibraryStep(
        "Classes Finalization", [&] { application.reset(); }, StageFailureBox);
    return result;
}
