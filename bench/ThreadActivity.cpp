#include "ThreadActivity.h"

#include <fstream>
#include <sstream>
#include <system_error>

namespace {

constexpr char kVoluntary[] = "voluntary_ctxt_switches:";
constexpr char kInvoluntary[] = "nonvoluntary_ctxt_switches:";

// The first field of "schedstat": nanoseconds spent on a CPU.
std::chrono::nanoseconds CpuTime(const std::filesystem::path& task) {
    std::ifstream schedstat(task / "schedstat");
    uint64_t nanoseconds = 0;
    schedstat >> nanoseconds;
    return std::chrono::nanoseconds(nanoseconds);
}

uint64_t ContextSwitches(const std::filesystem::path& task) {
    std::ifstream status(task / "status");
    uint64_t switches = 0;
    std::string line;
    while (std::getline(status, line)) {
        for (const std::string field : {kVoluntary, kInvoluntary}) {
            if (line.rfind(field, 0) == 0) {
                switches += std::stoull(line.substr(field.size()));
            }
        }
    }
    return switches;
}

}  // namespace

std::map<std::string, ThreadCounters> ReadThreadCounters(const std::filesystem::path& tasks) {
    std::map<std::string, ThreadCounters> counters;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(tasks, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::filesystem::path task = entry->path();
        counters[task.filename().string()] = {CpuTime(task), ContextSwitches(task)};
    }
    return counters;
}
