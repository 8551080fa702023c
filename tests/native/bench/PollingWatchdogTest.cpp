// The baseline watchdog and the stamp that times signals, on the simulated
// machine: the watchdog's pauses are real time, the stamp's wait blocks.
#include "EventStamp.h"
#include "PollingWatchdog.h"
#include "process/UniqueHandle.h"
#include "support/SimTest.h"

#include <winsim/SimProcesses.h>

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kShortPeriod{5};
constexpr milliseconds kSeveralPeriods{100};
constexpr milliseconds kGenerous{5000};

class PollingWatchdogTest : public SimTest {
protected:
    void TearDown() override {
        gone.reset();
        SimTest::TearDown();
    }
    winsim::Processes& processes() { return machine().Extension<winsim::Processes>(); }
    bool Signalled() const { return WaitForSingleObject(gone.get(), 0) == WAIT_OBJECT_0; }

    UniqueHandle gone{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

TEST_F(PollingWatchdogTest, SignalsOnceTheProcessHasEnded) {
    const uint32_t watched = processes().Start(L"NxReVadiru.exe");
    EventStamp stamp(gone.get());
    const PollingWatchdog watchdog(watched, kShortPeriod, gone.get());
    EXPECT_FALSE(stamp.Await(kSeveralPeriods)) << "signalled while the process still runs";

    const Clock::time_point end = Clock::now();
    processes().End(watched);
    const auto signalled = stamp.Await(kGenerous);
    ASSERT_TRUE(signalled);
    EXPECT_GE(*signalled, end);
}

TEST_F(PollingWatchdogTest, ProcessThatCannotBeOpenedIsNeverReportedGone) {
    const uint32_t watched = processes().Start(L"NxReVadiru.exe");
    processes().DenyOpen(watched);
    {
        const PollingWatchdog watchdog(watched, kShortPeriod, gone.get());
        processes().End(watched);
    }
    EXPECT_FALSE(Signalled());
}

TEST_F(PollingWatchdogTest, StopsWithoutWaitingOutItsPeriod) {
    const uint32_t watched = processes().Start(L"NxReVadiru.exe");
    const Clock::time_point start = Clock::now();
    { const PollingWatchdog watchdog(watched, std::chrono::hours(1), gone.get()); }
    EXPECT_LT(Clock::now() - start, kGenerous);
    EXPECT_FALSE(Signalled());
    processes().End(watched);
}

TEST_F(PollingWatchdogTest, StampNeverSignalledIsReleasedWhenDestroyed) {
    {
        EventStamp stamp(gone.get());
        EXPECT_FALSE(stamp.Await(milliseconds(10)));
    }
    EXPECT_TRUE(Signalled()) << "the stamp released its own waiter";
}

}  // namespace
