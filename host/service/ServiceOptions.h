// What the service host is told on its command line:
//   VLAMainService.exe [--pipe <name>] [plug-in.dll ...]
#pragma once

#include <optional>
#include <string>
#include <vector>

struct ServiceOptions {
    std::wstring pipeName;
    std::vector<std::wstring> pluginFiles;
};

inline constexpr char kServiceUsage[] =
    "usage: VLAMainService.exe [--pipe <name>] [plug-in.dll ...]";

// Empty when the arguments (program name excluded) are not understood.
std::optional<ServiceOptions> ParseServiceOptions(const std::vector<std::wstring>& arguments);
