// Summaries of repeated timings and the rows the measurement prints.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;
using Duration = std::chrono::nanoseconds;

struct Summary {
    Duration median{0};
    Duration p95{0};
    Duration max{0};
    size_t count = 0;
};

// Median (mean of the middle two for an even count), 95th percentile by
// nearest rank, and maximum.
Summary Summarise(std::vector<Duration> samples);

// "median 48.2 ms, p95 95.1 ms, max 99.0 ms (n=20)": each figure in
// microseconds below a millisecond, in milliseconds from there on.
std::string Describe(const Summary& summary);

// One duration in milliseconds with three decimals, e.g. "0.012 ms".
std::string Milliseconds(Duration duration);

// Writes "<what>\t<figure>" on standard output; tools/measure puts the rows of
// both platforms side by side.
void PrintRow(const std::string& what, const std::string& figure);

// Progress for the person waiting, on standard error.
void Progress(const std::string& text);
