#include "ConsoleOutput.h"

#include <cstdio>
#include <mutex>

void PrintLine(std::string_view line) {
    // The manager prints through here too, possibly from another thread.
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
