// The virtual clock: waits with a time limit park on it and cost no real time.
#include "support/SimTest.h"
#include "support/SimThread.h"

#include <windows.h>

#include <chrono>
#include <string>

namespace {

using SimClockTest = SimTest;

constexpr DWORD kThreeMinutes = 3 * 60 * 1000;

TEST_F(SimClockTest, ThreeMinuteSleepCostsNoRealTime) {
    const auto started = std::chrono::steady_clock::now();
    simtest::SimThread sleeper([] {
        Sleep(kThreeMinutes);
        winsim::Current().Record("test", "slept");
    });
    ASSERT_TRUE(machine().WaitForParked(1));
    EXPECT_EQ(machine().Now(), 0u);

    ASSERT_TRUE(machine().AdvanceToNextDeadline());
    sleeper.Join();

    EXPECT_EQ(machine().Now(), kThreeMinutes);
    const auto journal = machine().Journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].text, "slept");
    EXPECT_EQ(journal[0].time, kThreeMinutes);
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

TEST_F(SimClockTest, AdvanceToNextDeadlineWakesTheEarliestWaiterFirst) {
    const auto sleepAndRecord = [](DWORD ms) {
        return [ms] {
            Sleep(ms);
            winsim::Current().Record("test", "woke after " + std::to_string(ms));
        };
    };
    simtest::SimThread late(sleepAndRecord(500));
    simtest::SimThread early(sleepAndRecord(200));
    ASSERT_TRUE(machine().WaitForParked(2));

    ASSERT_TRUE(machine().AdvanceToNextDeadline());
    EXPECT_EQ(machine().Now(), 200u);
    early.Join();
    EXPECT_EQ(machine().ParkedCount(), 1u);

    ASSERT_TRUE(machine().AdvanceToNextDeadline());
    EXPECT_EQ(machine().Now(), 500u);
    late.Join();
    EXPECT_FALSE(machine().AdvanceToNextDeadline());
    EXPECT_EQ(Journal("test"), (std::vector<std::string>{"woke after 200", "woke after 500"}));
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

TEST_F(SimClockTest, WaitWithoutTimeLimitBlocksButDoesNotPark) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD result = WAIT_FAILED;
    simtest::SimThread waiter([&] { result = WaitForSingleObject(event, INFINITE); });
    ASSERT_TRUE(machine().WaitForBlocked(1));
    EXPECT_EQ(machine().ParkedCount(), 0u);
    EXPECT_FALSE(machine().AdvanceToNextDeadline());

    ASSERT_TRUE(SetEvent(event));
    waiter.Join();
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_EQ(machine().BlockedCount(), 0u);
    EXPECT_EQ(machine().Now(), 0u);
    CloseHandle(event);
}

TEST_F(SimClockTest, AutoResetEventReleasesExactlyOneOfTwoWaiters) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE released = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const auto wait = [&] {
        WaitForSingleObject(event, INFINITE);
        SetEvent(released);
    };
    simtest::SimThread a(wait);
    simtest::SimThread b(wait);
    ASSERT_TRUE(machine().WaitForBlocked(2));

    ASSERT_TRUE(SetEvent(event));
    ASSERT_EQ(WaitForSingleObject(released, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(machine().BlockedCount(), 1u);  // the other waiter
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    ASSERT_TRUE(SetEvent(event));
    a.Join();
    b.Join();
    CloseHandle(released);
    CloseHandle(event);
}

}  // namespace
