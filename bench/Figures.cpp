#include "Figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

namespace {

constexpr double kPercentile = 0.95;

// About three significant digits: 4.56, 45.6, 456.
std::string Number(double value) {
    char text[32];
    const int decimals = value < 10 ? 2 : (value < 100 ? 1 : 0);
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Readable(Duration duration) {
    const bool micro = duration < std::chrono::milliseconds(1);
    const double perUnit = micro ? 1e3 : 1e6;
    return Number(static_cast<double>(duration.count()) / perUnit) + (micro ? " us" : " ms");
}

}  // namespace

Summary Summarise(std::vector<Duration> samples) {
    Summary summary;
    summary.count = samples.size();
    if (samples.empty()) {
        return summary;
    }
    std::sort(samples.begin(), samples.end());
    const size_t middle = samples.size() / 2;
    summary.median =
        samples.size() % 2 != 0 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
    const auto rank =
        static_cast<size_t>(std::ceil(kPercentile * static_cast<double>(samples.size())));
    summary.p95 = samples[std::max<size_t>(rank, 1) - 1];
    summary.max = samples.back();
    return summary;
}

std::string Describe(const Summary& summary) {
    if (summary.count == 0) {
        return "no samples";
    }
    return "median " + Readable(summary.median) + ", p95 " + Readable(summary.p95) + ", max " +
           Readable(summary.max) + " (n=" + std::to_string(summary.count) + ")";
}

std::string Milliseconds(Duration duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", static_cast<double>(duration.count()) / 1e6);
    return text;
}

void PrintRow(const std::string& what, const std::string& figure) {
    std::cout << what << '\t' << figure << std::endl;
}

void Progress(const std::string& text) {
    std::cerr << "nxmeasure: " << text << std::endl;
}
