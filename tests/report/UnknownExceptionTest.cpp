#include "report/ExceptionManager.h"

#include "net/IdThread.h"
#include "platform/UnknownException.h"
#include "report/ReportStartup.h"
#include "report/gather/GeneralItems.h"
#include "report/gather/ModuleList.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <mutex>
#include <set>

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

namespace {

[[gnu::noinline]] void ThrowHere() {
    throw 42;
}

[[gnu::noinline]] void ThrowThere() {
    throw 42;
}

TExceptionRecord RecordOfThrow(void (*thrower)()) {
    try {
        thrower();
    } catch (...) {
        return ExceptionRecordOf(EUnknownException(), kDisplayApplication);
    }
    return {};
}

} // namespace

// Such an object is found by its throw site: the address and the stack are
// the thrower's, library frames are named by their symbols, and two places
// that throw it get two IDs.
TEST(UnknownException, EachThrowSiteGivesItsAddressStackAndId) {
    TReportFrontEnd frontEnd;
    frontEnd.Routines = {{kHookDoException, TIdThread::DoExceptionAddress()}};
    ASSERT_TRUE(StartCrashReporting(frontEnd));
    std::set<std::string> ids;
    const struct {
        void (*Thrower)();
        const char* Name;
    } cases[] = {{ThrowHere, "ThrowHere"}, {ThrowThere, "ThrowThere"}};
    for (const auto& [thrower, name] : cases) {
        SCOPED_TRACE(name);
        const TExceptionRecord record = RecordOfThrow(thrower);
        ASSERT_FALSE(record.Input.CallStack.empty());
        EXPECT_EQ(record.Input.CallStack.front().Address, record.Input.Address);
        EXPECT_EQ(record.Input.CallStack.front().Procedure, name);
        EXPECT_TRUE(std::any_of(record.Input.CallStack.begin(), record.Input.CallStack.end(),
                                [](const TCallStackEntry& entry) {
                                    return entry.Module == "libc.so.6" &&
                                           entry.Procedure.starts_with("__libc_start_main+0x");
                                }));
        ids.insert(ExceptionFactsOf(record.Input, ListModules("", "")).Id);
    }
    EXPECT_EQ(ids.size(), 2u);
}
