// Creates, starts, stops and destroys the plug-in again and again while the
// message center runs, as a host that reloads its plug-ins would. Each cycle
// leaves a watch waiting for the center; when the center ends they all end,
// and the process must be back where it was.
#include "Figures.h"
#include "MeasuredPc.h"
#include "Measurements.h"
#include "PluginDriver.h"
#include "process/ServiceProcessNames.h"
#include "wait/PollUntil.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kCycles = 200;

long CountThreads(const std::filesystem::path& tasks) {
    std::error_code error;
    long count = 0;
    for (std::filesystem::directory_iterator entry(tasks, error), end; !error && entry != end;
         entry.increment(error)) {
        ++count;
    }
    return count;
}

// Resident memory in KiB, from the proc file system beside the thread directory.
long ResidentKib(const std::filesystem::path& tasks) {
    std::ifstream status(tasks.parent_path() / "status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::stol(line.substr(line.find_first_of("0123456789")));
        }
    }
    return 0;
}

}  // namespace

void MeasureSoak(MeasuredPc& pc) {
    Progress("soak: " + std::to_string(kCycles) + " start/stop/destroy cycles");
    const std::filesystem::path tasks = pc.ThreadDirectory();
    const long threads = CountThreads(tasks);
    const long handles = pc.OpenHandles();
    const uint32_t center = pc.StartProgram(kMessageCenterImage);
    const long memory = ResidentKib(tasks);
    std::vector<Duration> cycles;
    long peakThreads = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        const Clock::time_point start = Clock::now();
        {
            const auto plugin = std::make_shared<PluginState>();
            plugin->Start();
            plugin->Stop();
            plugin->Retire();
        }
        cycles.push_back(Clock::now() - start);
        peakThreads = std::max(peakThreads, CountThreads(tasks));
    }
    const long growth = ResidentKib(tasks) - memory;
    pc.EndProgram(center);
    if (!PollUntil([&] { return CountThreads(tasks) <= threads; })) {
        throw std::runtime_error("the soak's watches did not end");
    }
    std::ostringstream after;
    after << "threads " << threads << " before, peak " << peakThreads << ", " << CountThreads(tasks)
          << " after; handles " << handles << " before, " << pc.OpenHandles() << " after; memory +"
          << growth * 1024 / kCycles << " bytes per cycle";
    PrintRow("Soak: one start/stop/destroy cycle, message center running",
             Describe(Summarise(cycles)));
    PrintRow("Soak: " + std::to_string(kCycles) + " cycles", after.str());
}
