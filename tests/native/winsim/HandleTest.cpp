// The handle table, counted resources, the fixture's leak check and how a new
// waitable object kind plugs into WaitForSingleObject and CloseHandle.
#include "support/SimTest.h"
#include "support/SimThread.h"

#include <windows.h>

#include <gtest/gtest-spi.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

namespace {

using SimHandleTest = SimTest;

TEST_F(SimHandleTest, LeakCheckNamesWhatWasLeftOpen) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    void* block = LocalAlloc(LPTR, 16);

    EXPECT_NONFATAL_FAILURE(simtest::ExpectCleanEnd(winsim::Current()),
                            "2 open: event, local memory");

    EXPECT_EQ(LocalFree(block), nullptr);
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_TRUE(simtest::NoOpenHandles(machine()));
}

TEST_F(SimHandleTest, HandleValuesAreNeverNullInvalidOrReused) {
    std::set<HANDLE> seen;
    for (int i = 0; i < 100; ++i) {
        HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        ASSERT_NE(event, nullptr);
        ASSERT_NE(event, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(seen.insert(event).second) << "handle value reused";
        ASSERT_TRUE(CloseHandle(event));
    }
}

TEST_F(SimHandleTest, LocalAllocZeroesAndLocalFreeGivesBackWhatItDoesNotKnow) {
    auto* block = static_cast<unsigned char*>(LocalAlloc(LPTR, 64));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::count(block, block + 64, 0), 64);
    EXPECT_EQ(LocalFree(block), nullptr);

    int notLocal = 0;
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LocalFree(&notLocal), &notLocal);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(LocalFree(nullptr), nullptr);
}

// A waitable kind defined outside the core, the way the processes area adds its own.
class Gate : public winsim::Waitable {
public:
    const char* Kind() const override { return "gate"; }
    bool IsSignalled() const override { return open_.load(); }
    void Open() {
        open_.store(true);
        winsim::Current().NotifyStateChanged();
    }

private:
    std::atomic<bool> open_{false};
};

class NotWaitable : public winsim::Object {
public:
    const char* Kind() const override { return "plain"; }
};

// A wait keeps its object: closing the handle meanwhile does not end it.
TEST_F(SimHandleTest, NewWaitableKindWorksWithWaitAndCloseEvenWhileWaitedOn) {
    auto gate = std::make_shared<Gate>();
    HANDLE handle = machine().AddHandle(gate);
    DWORD result = WAIT_FAILED;
    simtest::SimThread waiter([&] { result = WaitForSingleObject(handle, INFINITE); });
    ASSERT_TRUE(machine().WaitForBlocked(1));
    EXPECT_EQ(machine().OpenHandleKinds(), (std::vector<std::string>{"gate", "thread"}));
    ASSERT_TRUE(CloseHandle(handle));
    EXPECT_EQ(machine().BlockedCount(), 1u);

    gate->Open();
    waiter.Join();
    EXPECT_EQ(result, WAIT_OBJECT_0);
}

TEST_F(SimHandleTest, WaitOnAnObjectThatCannotBeWaitedOnFails) {
    HANDLE handle = machine().AddHandle(std::make_shared<NotWaitable>());
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(CloseHandle(handle));
}

TEST(SimMachineLifetime, ThreadStillWaitingWhenTheMachineGoesNeverReturnsIntoIt) {
    auto machine = std::make_unique<winsim::Machine>();
    auto returned = std::make_shared<std::atomic<bool>>(false);
    std::thread([raw = machine.get(), returned] {
        raw->BlockUntil([] { return false; });
        returned->store(true);
    }).detach();
    ASSERT_TRUE(machine->WaitForBlocked(1));

    machine.reset();  // must not hang on the waiter
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(returned->load());
}

}  // namespace
