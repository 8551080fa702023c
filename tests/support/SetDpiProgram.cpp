#include "support/SetDpiProgram.h"

#include <winsim/SimDisplay.h>

#include <algorithm>
#include <sstream>
#include <string>

namespace simtest {

namespace {

// The step counted from the recommended one that shows `percent`, when the
// display has it.
bool StepFor(uint32_t percent, const winsim::ScaleSteps& steps, int32_t& step) {
    const auto entry = std::find(kShownPercents.begin(), kShownPercents.end(), percent);
    if (entry == kShownPercents.end()) {
        return false;
    }
    step = static_cast<int32_t>(entry - kShownPercents.begin()) + steps.min;
    return step <= steps.max;
}

}  // namespace

void ShowPercent(winsim::Machine& machine, uint32_t percent) {
    winsim::SimDisplay display(machine);
    for (const winsim::DisplayPath& path : display.Paths()) {
        int32_t step = 0;
        if (path.active) {
            if (StepFor(percent, path.steps, step)) {
                display.SetCurrentStep(path.adapterId, path.sourceId, step);
            }
            return;
        }
    }
}

winsim::Program SetDpiProgram(uint64_t startupMs) {
    return [startupMs](winsim::Machine& machine, const winsim::ProcessInfo& process) {
        machine.ParkUntil(machine.Now() + startupMs, [] { return false; });
        std::wistringstream words(process.commandLine);
        std::wstring program;
        std::wstring command;
        uint32_t percent = 0;
        if (words >> program >> command >> percent && command == L"setdpi") {
            ShowPercent(machine, percent);
        }
    };
}

}  // namespace simtest
