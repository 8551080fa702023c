// What the threads of this process have done, read from the Linux proc file
// system (natively directly, under Wine through its drive Z:): CPU time from
// "schedstat" and context switches from "status". Each time a blocked thread
// wakes up it leaves the CPU again, so its context switches count its wake-ups.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

struct ThreadCounters {
    std::chrono::nanoseconds cpu{0};
    uint64_t contextSwitches = 0;  // voluntary and involuntary
};

// By thread (task) id; empty when the directory cannot be read.
std::map<std::string, ThreadCounters> ReadThreadCounters(const std::filesystem::path& tasks);
