#include "report/ExceptionManager.h"

#include "net/IdThread.h"

#include <gtest/gtest.h>
#include <mutex>

namespace {

class TThrowingThread : public TIdThread {
protected:
    void Run() override { throw 42; }
};

} // namespace

// An object that is no std::exception, thrown out of a receiving thread, is
// reported like any failure, as an object of unknown exception type.
TEST(UnknownException, ThrownOutOfAThreadIsReportedWithoutAClass) {
    std::mutex lock;
    std::vector<TExceptionRecord> records;
    TIdThread::SetExceptionHook([&](TIdThread&, const std::exception& failure) {
        std::lock_guard guard(lock);
        records.push_back(ExceptionRecordOf(failure, kDisplayThread));
        return false;
    });
    {
        TThrowingThread thread;
        thread.Start();
        thread.WaitFor();
    }
    TIdThread::SetExceptionHook(nullptr);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Input.ClassName, "");
    EXPECT_EQ(records[0].Input.Message, "An object of type int was raised");
    EXPECT_FALSE(records[0].Input.CallStack.empty());
}
