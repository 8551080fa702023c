// The virtual clock: waits with a time limit park on it and cost no real time.
#include "support/SimTest.h"
#include "support/SimThread.h"

#include <windows.h>

#include <chrono>
#include <string>

namespace {

using SimClockTest = SimTest;

constexpr DWORD kThreeMinutes = 3 * 60 * 1000;
constexpr DWORD kFiveMinutes = 5 * 60 * 1000;

TEST_F(SimClockTest, AdvanceToNextDeadlineWakesTheEarliestSleeperFirstAtNoRealCost) {
    const auto started = std::chrono::steady_clock::now();
    const auto sleepAndRecord = [](DWORD ms) {
        return [ms] {
            Sleep(ms);
            winsim::Current().Record("test", "woke after " + std::to_string(ms));
        };
    };
    simtest::SimThread late(sleepAndRecord(kFiveMinutes));
    simtest::SimThread early(sleepAndRecord(kThreeMinutes));
    ASSERT_TRUE(machine().WaitForParked(2));

    ASSERT_TRUE(machine().AdvanceToNextDeadline());
    EXPECT_EQ(machine().Now(), kThreeMinutes);
    early.Join();
    EXPECT_EQ(machine().ParkedCount(), 1u);

    ASSERT_TRUE(machine().AdvanceToNextDeadline());
    EXPECT_EQ(machine().Now(), kFiveMinutes);
    late.Join();
    EXPECT_FALSE(machine().AdvanceToNextDeadline());
    EXPECT_EQ(Journal("test"),
              (std::vector<std::string>{"woke after 180000", "woke after 300000"}));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

TEST_F(SimClockTest, SleepEndsOnlyWhenTheClockReachesItsDeadline) {
    simtest::SimThread sleeper([] { Sleep(1000); });
    ASSERT_TRUE(machine().WaitForParked(1));

    machine().Advance(999);
    EXPECT_EQ(machine().ParkedCount(), 1u);
    machine().Advance(1);
    EXPECT_EQ(machine().ParkedCount(), 0u);
    sleeper.Join();
    EXPECT_EQ(GetTickCount64(), 1000u);
}

TEST_F(SimClockTest, TimedWaitEndsEarlyWhenSignalledAndTimesOutAtItsDeadline) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE firstDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DWORD first = 0;
    DWORD second = 0;
    uint64_t secondEnded = 0;
    simtest::SimThread waiter([&] {
        first = WaitForSingleObject(event, 10000);
        SetEvent(firstDone);
        second = WaitForSingleObject(event, 10000);
        secondEnded = winsim::Current().Now();
    });
    ASSERT_TRUE(machine().WaitForParked(1));
    machine().Advance(400);
    ASSERT_TRUE(SetEvent(event));
    ASSERT_EQ(WaitForSingleObject(firstDone, INFINITE), WAIT_OBJECT_0);
    ASSERT_TRUE(machine().WaitForParked(1));  // the second wait
    ASSERT_TRUE(machine().AdvanceToNextDeadline());
    waiter.Join();

    EXPECT_EQ(first, WAIT_OBJECT_0);
    EXPECT_EQ(second, static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(secondEnded, 10400u);
    CloseHandle(firstDone);
    CloseHandle(event);
}

// Waits without a time limit block without parking, so the clock cannot end
// them; an auto-reset event set once releases exactly one of them.
TEST_F(SimClockTest, WaitsWithoutTimeLimitBlockAndAutoResetReleasesOneAtATime) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE released = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const auto wait = [&] {
        WaitForSingleObject(event, INFINITE);
        SetEvent(released);
    };
    simtest::SimThread a(wait);
    simtest::SimThread b(wait);
    ASSERT_TRUE(machine().WaitForBlocked(2));
    EXPECT_EQ(machine().ParkedCount(), 0u);
    EXPECT_FALSE(machine().AdvanceToNextDeadline());

    ASSERT_TRUE(SetEvent(event));
    ASSERT_EQ(WaitForSingleObject(released, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(machine().BlockedCount(), 1u);  // the other waiter
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    ASSERT_TRUE(SetEvent(event));
    a.Join();
    b.Join();
    EXPECT_EQ(machine().BlockedCount(), 0u);
    EXPECT_EQ(machine().Now(), 0u);
    CloseHandle(released);
    CloseHandle(event);
}

}  // namespace
