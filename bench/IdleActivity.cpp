// The plug-in started on a PC where the helper, the message center and the
// collaboration center run, the helper and the center announced on the bus:
// four monitors wait. Over the idle window, what did the threads that came
// with the plug-in (its monitors and its bus connection) do, and the whole
// process (the measuring thread asleep, and under Wine Wine's own threads)?
#include "Figures.h"
#include "MeasuredPc.h"
#include "Measurements.h"
#include "PluginDriver.h"
#include "ThreadActivity.h"
#include "WatchedPrograms.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <thread>

namespace {

constexpr std::chrono::seconds kIdle{10};
constexpr std::chrono::seconds kSettle{1};  // the monitors have reached their waits
constexpr long kWaitingMonitors = 4;
constexpr int32_t kHelperStartMsg = 0x6F0002;
constexpr int32_t kCenterStartMsg = 0x6F0006;

using Threads = std::map<std::string, ThreadCounters>;

// What the threads that `counted` picks did between the two readings.
ThreadCounters Used(const Threads& begin, const Threads& end,
                    const std::function<bool(const std::string&)>& counted) {
    ThreadCounters used;
    for (const auto& [thread, counters] : begin) {
        const auto found = end.find(thread);
        if (found != end.end() && counted(thread)) {
            used.cpu += found->second.cpu - counters.cpu;
            used.contextSwitches += found->second.contextSwitches - counters.contextSwitches;
        }
    }
    return used;
}

std::string Activity(const ThreadCounters& used) {
    return "CPU " + Milliseconds(used.cpu) + ", " + std::to_string(used.contextSwitches) +
           " context switches";
}

}  // namespace

void MeasureIdle(MeasuredPc& pc) {
    Progress("idle: " + std::to_string(kIdle.count()) + " s with every monitor waiting");
    const WatchedPrograms programs(pc);
    const Threads before = ReadThreadCounters(pc.ThreadDirectory());

    const auto plugin = std::make_shared<PluginState>();
    plugin->Start();
    Deliver(*plugin, kHelperStartMsg, "1 " + std::to_string(programs.helper));
    Deliver(*plugin, kCenterStartMsg, std::to_string(programs.center));
    std::this_thread::sleep_for(kSettle);
    const long monitors = plugin.use_count() - 1;

    const Threads begin = ReadThreadCounters(pc.ThreadDirectory());
    std::this_thread::sleep_for(kIdle);
    const Threads end = ReadThreadCounters(pc.ThreadDirectory());
    const bool stillWaiting = plugin.use_count() - 1 == monitors;

    plugin->Stop();
    programs.EndAll();
    WaitForWorkers(plugin);
    if (monitors != kWaitingMonitors || !stillWaiting) {
        throw std::runtime_error("expected " + std::to_string(kWaitingMonitors) +
                                 " monitors waiting through the idle window, found " +
                                 std::to_string(monitors));
    }

    const std::string window = "Idle " + std::to_string(kIdle.count()) + " s, " +
                               std::to_string(kWaitingMonitors) + " monitors waiting: ";
    if (begin.empty()) {
        PrintRow(window + "plug-in's threads", "not readable (no Linux /proc for this process)");
        return;
    }
    const auto plugins = [&](const std::string& thread) { return before.count(thread) == 0; };
    const auto started = std::count_if(begin.begin(), begin.end(),
                                       [&](const auto& entry) { return plugins(entry.first); });
    PrintRow(window + "plug-in's threads", std::to_string(started) + " (" +
                                               std::to_string(monitors) +
                                               " monitors, the others serve its bus connection): " +
                                               Activity(Used(begin, end, plugins)));
    PrintRow(window + "whole process",
             std::to_string(begin.size()) + " threads: " +
                 Activity(Used(begin, end, [](const std::string&) { return true; })));
}
