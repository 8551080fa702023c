// Lets virtual time pass on its own, for tests that do not drive the clock:
// once a thread has been parked on the clock for a short real moment (time for
// other threads to signal it), the clock jumps to the earliest deadline. Timed
// waits then end as they would in real time, without the wait.
#pragma once

#include <winsim/Machine.h>

#include <atomic>
#include <thread>

namespace simtest {

class ClockDriver {
public:
    explicit ClockDriver(winsim::Machine& machine)
        : thread_([this, &machine] {
              while (!stop_.load()) {
                  if (machine.WaitForParked(1, kPoll)) {
                      std::this_thread::sleep_for(kPoll);
                      machine.AdvanceToNextDeadline();
                  }
              }
          }) {}
    ~ClockDriver() {
        stop_.store(true);
        thread_.join();
    }
    ClockDriver(const ClockDriver&) = delete;
    ClockDriver& operator=(const ClockDriver&) = delete;

private:
    static constexpr std::chrono::milliseconds kPoll{5};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace simtest
