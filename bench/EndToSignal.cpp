// Each round starts a stand-in helper, has the plug-in watch it (the helper's
// start report, as the bus delivers it), a bare watcher and two polling
// watchdogs watch it too, waits so that the end falls at a different point of
// the watchdogs' poll periods each round, ends the helper and notes when each
// of the four signals arrives.
#include "BareWatcher.h"
#include "EventStamp.h"
#include "Figures.h"
#include "MeasuredPc.h"
#include "Measurements.h"
#include "PluginDriver.h"
#include "PollingWatchdog.h"
#include "process/ServiceProcessNames.h"
#include "win32/UniqueAny.h"

#include <array>
#include <cmath>
#include <stdexcept>
#include <thread>

namespace {

constexpr int kRounds = 20;
constexpr int32_t kHelperStartMsg = 0x6F0002;
constexpr std::chrono::milliseconds kWatchesSettle{300};  // every watch has reached its wait
constexpr std::chrono::milliseconds kSignalLimit{10000};
constexpr std::array<std::chrono::milliseconds, 2> kPollPeriods = {std::chrono::milliseconds(100),
                                                                   std::chrono::milliseconds(1000)};

// A signal and the stamp of its arrival; the event outlives the stamp.
struct Signal {
    explicit Signal(HANDLE created)
        : event(created != nullptr ? created : throw std::runtime_error("no event for a signal")),
          stamp(event.get()) {}
    UniqueHandle event;
    EventStamp stamp;
};

// Where in the longest poll period round `round` ends the helper: the
// fractional parts of multiples of the golden ratio spread evenly over every
// period (the shorter ones too), so few rounds cover them all alike.
std::chrono::milliseconds EndOffset(int round) {
    constexpr double kGoldenRatio = 1.6180339887498949;
    const double fraction = std::fmod(round * kGoldenRatio, 1.0);
    return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(
        fraction * static_cast<double>(kPollPeriods.back().count())));
}

Duration ArrivalAfter(Signal& signal, Clock::time_point end, const char* who) {
    const auto arrived = signal.stamp.Await(kSignalLimit);
    if (!arrived) {
        throw std::runtime_error(std::string(who) + " did not signal the helper's end");
    }
    return *arrived - end;
}

}  // namespace

void MeasureEndToSignal(MeasuredPc& pc) {
    Progress("process end to signal: " + std::to_string(kRounds) + " rounds");
    const auto plugin = std::make_shared<PluginState>();
    std::vector<Duration> monitorDelays;
    std::vector<Duration> bareDelays;
    std::array<std::vector<Duration>, kPollPeriods.size()> watchdogDelays;
    for (int round = 0; round < kRounds; ++round) {
        const uint32_t helper = pc.StartProgram(kNxReVadiruImage);
        Signal quit(CreateEventW(nullptr, FALSE, FALSE, kNxReVadiruImage));
        Deliver(*plugin, kHelperStartMsg, "1 " + std::to_string(helper));
        Signal bareGone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        const BareWatcher bare(helper, bareGone.event.get());
        std::vector<std::unique_ptr<Signal>> gone;
        std::vector<std::unique_ptr<PollingWatchdog>> watchdogs;
        for (const auto period : kPollPeriods) {
            gone.push_back(std::make_unique<Signal>(CreateEventW(nullptr, TRUE, FALSE, nullptr)));
            watchdogs.push_back(
                std::make_unique<PollingWatchdog>(helper, period, gone.back()->event.get()));
        }
        std::this_thread::sleep_for(kWatchesSettle + EndOffset(round));

        const Clock::time_point end = Clock::now();
        pc.EndProgram(helper);
        monitorDelays.push_back(ArrivalAfter(quit, end, "the plug-in's monitor"));
        bareDelays.push_back(ArrivalAfter(bareGone, end, "the bare watcher"));
        for (size_t i = 0; i < kPollPeriods.size(); ++i) {
            watchdogDelays[i].push_back(ArrivalAfter(*gone[i], end, "a polling watchdog"));
        }
        watchdogs.clear();
        WaitForWorkers(plugin);  // the recovery that follows has run
    }
    PrintRow("Process end to event signalled: plug-in's monitor",
             Describe(Summarise(monitorDelays)));
    PrintRow("Process end to event signalled: bare watcher (waits on the process handle)",
             Describe(Summarise(bareDelays)));
    for (size_t i = 0; i < kPollPeriods.size(); ++i) {
        PrintRow("Process end to event signalled: polling watchdog, " +
                     std::to_string(kPollPeriods[i].count()) + " ms poll",
                 Describe(Summarise(watchdogDelays[i])));
    }
}
