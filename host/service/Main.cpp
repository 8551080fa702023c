// VLAMainService.exe: the development stand-in for the host's main service.
#include "ConsoleOutput.h"
#include "FaultReport.h"
#include "ServiceHost.h"
#include "StopSignal.h"
#include "win32/LocalMemory.h"

#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace {

// The arguments after the program name.
std::vector<std::wstring> CommandLineArguments() {
    int count = 0;
    const LocalPtr<LPWSTR> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!arguments) {
        return {};
    }
    return std::vector<std::wstring>(arguments.get() + (count > 0 ? 1 : 0),
                                     arguments.get() + count);
}

int Run() {
    ReportUnhandledFaults();
    const std::optional<ServiceOptions> options = ParseServiceOptions(CommandLineArguments());
    if (!options) {
        PrintLine(kServiceUsage);
        return kExitUsage;
    }
    const StopSignal stopSignal;
    if (!stopSignal.IsReady()) {
        PrintLine("service: cannot wait for a stop request");
        return kExitStartFailed;
    }
    const ServiceExitCode result = RunServiceHost(*options, stopSignal);
    PrintLine(result == kExitClean ? "service: stopped cleanly"
                                   : "service: stopped after a failure");
    return result;
}

}  // namespace

int main() {
    try {
        return Run();
    } catch (const std::exception& error) {
        PrintLine(std::string("service: ") + error.what());
    } catch (...) {
        PrintLine("service: unexpected failure");
    }
    return kExitStartFailed;
}
