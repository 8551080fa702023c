// What the service host is told on its command line:
//   VLAMainService.exe [--pipe <name>] [--clock-speed <n>] [plug-in.dll ...]
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

struct ServiceOptions {
    std::wstring pipeName;
    std::vector<std::wstring> pluginFiles;
    // Development only: the plug-ins' timed waits pass this many times faster,
    // so that a scenario with waits of minutes runs in seconds. 1 leaves them.
    DWORD clockSpeed = 1;
};

inline constexpr char kServiceUsage[] =
    "usage: VLAMainService.exe [--pipe <name>] [--clock-speed <n>] [plug-in.dll ...]";

// Empty when the arguments (program name excluded) are not understood.
std::optional<ServiceOptions> ParseServiceOptions(const std::vector<std::wstring>& arguments);
