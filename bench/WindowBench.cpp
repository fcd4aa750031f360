// The window's figures, measured inside the network lab on the offscreen
// platform: start-up to window shown, resident memory after start and after
// a search with 1000 replies, CPU and time used by one idle 4000 ms search wait,
// replies listed of 100 and 1000 devices answering at once, and then, beside
// the reference receiver, replies listed of 1000 sent back to back or spread
// over 5 and 20 ms, with the endpoint's receive queue at the usual system cap
// (212992 bytes) and at its own request.
// Run: tests/lab/lab.sh run -- build/release/bench/window_bench
#include "LabEnv.h"
#include "ReferenceReceiver.h"
#include "app/Application.h"
#include "app/Main.h"
#include "ui/ColumnListBox.h"

#include <QElapsedTimer>
#include <QEvent>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>

namespace {

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Notes when the window is first painted.
class FirstPaint : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

std::vector<std::string> SimArgs(int devices, int spreadMs) {
    return {"--devices",    std::to_string(devices),
            "--first-ip",   "198.18.0.1",
            "--spread",     std::to_string(spreadMs),
            "--reply-text", "型号: IP话机 X3\n固件: 2.1.7\n状态: 在线"};
}

int Search(TMainForm& form, int devices, int spreadMs = 0) {
    std::unique_ptr<DeviceSim> sim;
    if (devices > 0)
        sim = std::make_unique<DeviceSim>(LabNsDevA(), SimArgs(devices, spreadMs));
    form.btnSearchClick();
    return form.lbDevice->Items().Count();
}

// The window's search beside the reference receiver for one burst of 1000
// replies, with the endpoint's receive queue at `receiveQueue`.
void SideBySide(TMainForm& form, std::int32_t receiveQueue, const char* queueName, int spreadMs) {
    TIdUDPServer& endpoint = form.UDPServerTask;
    endpoint.ReceiveBufferSize = receiveQueue;
    endpoint.SetActive(false);
    endpoint.SetActive(true);
    const int listed = Search(form, 1000, spreadMs);
    endpoint.SetActive(false);
    DeviceSim sim(LabNsDevA(), SimArgs(1000, spreadMs));
    const ReferenceCount reference =
        ReferenceReceive(LabFinderIpA(), 60000, receiveQueue, 1000, std::chrono::milliseconds(500));
    endpoint.SetActive(true);
    std::printf("queue %-15s spread %2d ms: window lists %4d, reference receives %4d of 1000\n",
                queueName, spreadMs, listed, reference.received);
}

} // namespace

int main(int argc, char** argv) {
    if (!InLab()) {
        std::fprintf(stderr, "window_bench runs only inside the network lab: "
                             "tests/lab/lab.sh run -- build/release/bench/window_bench\n");
        return 77;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QElapsedTimer startUp;
    startUp.start();
    TApplication app(argc, argv);
    app.SetTitle(QString::fromUtf8("设备查找"));
    TMainForm form;
    form.FormCreate();
    FirstPaint paint;
    form.installEventFilter(&paint);
    form.show();
    while (!paint.painted)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("start-up to window shown: %lld ms\n", static_cast<long long>(startUp.elapsed()));
    std::printf("resident memory after start: %ld KiB\n", ResidentKiB());

    const double cpuBefore = CpuSeconds();
    QElapsedTimer wait;
    wait.start();
    Search(form, 0);
    const qint64 waited = wait.elapsed();
    const double cpu = CpuSeconds() - cpuBefore;
    std::printf("CPU during an idle 4000 ms search wait: %.3f s (%.2f %% of one core)\n", cpu,
                cpu / 4.0 * 100);
    std::printf("the idle 4000 ms search wait took: %lld ms\n", static_cast<long long>(waited));

    LabAddAddresses(LabNsDevA(), "eth0", "198.18.0.1", 1000);
    std::printf("100 devices at once: %d rows listed\n", Search(form, 100));
    std::printf("1000 devices at once: %d rows listed\n", Search(form, 1000));
    std::printf("resident memory after the 1000-reply search: %ld KiB\n", ResidentKiB());
    const std::int32_t ownRequest = form.UDPServerTask.ReceiveBufferSize;
    for (const auto& [queue, name] :
         {std::pair{std::int32_t{212992}, "212992 B"}, std::pair{ownRequest, "default request"}})
        for (int spread : {0, 5, 20})
            SideBySide(form, queue, name, spread);
    return 0;
}
