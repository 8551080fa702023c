// Times Start() on the calling (host's) thread: with the helper running it
// only looks the helper up, starts two monitors, clears the driver's settings
// and posts; with the helper absent it first runs the whole recovery there.
// The message center and the collaboration center run, as on a user's PC.
#include "Figures.h"
#include "MeasuredPc.h"
#include "Measurements.h"
#include "PluginDriver.h"
#include "WatchedPrograms.h"
#include "wait/PollUntil.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

constexpr int kStarts = 20;

// Starts and stops a fresh plug-in `kStarts` times; its monitors stay behind
// until the watched programs end.
std::vector<Duration> TimeStarts(std::vector<std::weak_ptr<PluginState>>& started) {
    std::vector<Duration> held;
    for (int round = 0; round < kStarts; ++round) {
        const auto plugin = std::make_shared<PluginState>();  // connects to the bus
        const Clock::time_point start = Clock::now();
        plugin->Start();
        held.push_back(Clock::now() - start);
        plugin->Stop();
        started.push_back(plugin);
    }
    return held;
}

}  // namespace

void MeasureStart(MeasuredPc& pc) {
    Progress("Start(): " + std::to_string(kStarts) + " starts with the helper running and absent");
    const WatchedPrograms programs(pc);
    std::vector<std::weak_ptr<PluginState>> started;
    const std::vector<Duration> running = TimeStarts(started);
    pc.EndProgram(programs.helper);
    const std::vector<Duration> absent = TimeStarts(started);
    PrintRow("Start() on the host's thread, helper running", Describe(Summarise(running)));
    PrintRow("Start() on the host's thread, helper absent (recovery runs there)",
             Describe(Summarise(absent)));

    programs.EndAll();
    const bool ended = PollUntil([&] {
        return std::all_of(started.begin(), started.end(),
                           [](const auto& plugin) { return plugin.expired(); });
    });
    if (!ended) {
        throw std::runtime_error("the monitors of the started plug-ins did not end");
    }
}
