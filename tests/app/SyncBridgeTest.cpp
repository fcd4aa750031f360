#include "net/IdSync.h"
#include "net/IdUDPListenerThread.h"
#include "net/IdUDPServer.h"
#include "support/LoopbackPeer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>

namespace {

// Runs the Qt event loop until `done` or five seconds.
template <typename Done> void RunEventLoopUntil(Done done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

} // namespace

TEST(SyncBridge, WorkerCallsRunInsideTheQtEventLoop) {
    QCoreApplication& app = *QCoreApplication::instance();
    std::atomic<bool> done = false;
    bool ranOnGuiThread = false;
    std::thread worker([&] {
        Synchronize([&] { ranOnGuiThread = QThread::currentThread() == app.thread(); });
        done = true;
    });
    RunEventLoopUntil([&] { return done.load(); });
    worker.join();
    EXPECT_TRUE(ranOnGuiThread);
}

TEST(SyncBridge, RepliesReachTheReadHandlerWhileTheLoopRuns) {
    QCoreApplication& app = *QCoreApplication::instance();
    TIdUDPServer server("UDPServerTask");
    server.Bindings.Add().IP = "127.0.0.1";
    int reads = 0;
    server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes&, TIdSocketHandle&) {
        EXPECT_EQ(QThread::currentThread(), app.thread());
        ++reads;
    };
    server.SetActive(true);
    LoopbackPeer device;
    for (int i = 0; i < 20; ++i)
        device.SendTo(server.Bindings[0].Port, {static_cast<std::uint8_t>(i)});
    RunEventLoopUntil([&] { return reads == 20; });
    EXPECT_EQ(reads, 20);
    server.SetActive(false);
}
