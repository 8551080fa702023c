#include "support/SetDpiProgram.h"

#include <winsim/SimDisplay.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace simtest {

void ShowPercent(winsim::Machine& machine, uint32_t percent) {
    winsim::SimDisplay display(machine);
    const std::vector<winsim::DisplayPath> paths = display.Paths();
    const auto active =
        std::find_if(paths.begin(), paths.end(), [](const auto& p) { return p.active; });
    const auto shown = std::find(kShownPercents.begin(), kShownPercents.end(), percent);
    if (active == paths.end() || shown == kShownPercents.end()) {
        return;
    }
    // Counted from the display's lowest step.
    const int32_t step = static_cast<int32_t>(shown - kShownPercents.begin()) + active->steps.min;
    if (step <= active->steps.max) {
        display.SetCurrentStep(active->adapterId, active->sourceId, step);
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
