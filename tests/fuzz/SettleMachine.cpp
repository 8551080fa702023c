#include "SettleMachine.h"

#include "SimulatedBus.h"

#include <chrono>
#include <thread>

namespace fuzzsupport {

namespace {

// Far beyond what any input needs in real time; past it the input hangs.
constexpr auto kSettleLimit = std::chrono::seconds(10);
// A thread that was just woken still counts as waiting until it runs, so a
// quiet machine must stay quiet across this pause.
constexpr auto kQuietPause = std::chrono::microseconds(200);

// Every worker waits, and no delivery is queued that could wake one.
bool AllWaiting(winsim::Machine& machine, size_t running) {
    return machine.ParkedCount() + machine.BlockedCount() >= running &&
           machine.Extension<simbus::Bus>().WaitIdle(std::chrono::milliseconds(0));
}

}  // namespace

bool Settle(winsim::Machine& machine, SettleUntil until) {
    const auto deadline = std::chrono::steady_clock::now() + kSettleLimit;
    auto& bus = machine.Extension<simbus::Bus>();
    while (std::chrono::steady_clock::now() < deadline) {
        if (!bus.WaitIdle(kSettleLimit)) {
            return false;
        }
        const size_t running = machine.RunningThreads();
        if (running == 0) {
            return true;
        }
        if (!AllWaiting(machine, running)) {
            std::this_thread::yield();
            continue;
        }
        if (machine.ParkedCount() > 0) {
            machine.AdvanceToNextDeadline();
            continue;
        }
        std::this_thread::sleep_for(kQuietPause);
        if (until == SettleUntil::Quiet && machine.RunningThreads() == running &&
            AllWaiting(machine, running)) {
            return true;
        }
    }
    return false;
}

}  // namespace fuzzsupport
