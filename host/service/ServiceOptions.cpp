#include "ServiceOptions.h"

namespace {
constexpr wchar_t kBusPipeName[] = L"\\\\.\\Pipe\\iVellumAssistant";
constexpr wchar_t kDefaultPluginFile[] = L"NxReVadiruServicePlugin.dll";
constexpr wchar_t kPipeOption[] = L"--pipe";
}  // namespace

std::optional<ServiceOptions> ParseServiceOptions(const std::vector<std::wstring>& arguments) {
    ServiceOptions options{kBusPipeName, {}};
    for (auto argument = arguments.begin(); argument != arguments.end(); ++argument) {
        if (*argument == kPipeOption) {
            if (++argument == arguments.end() || argument->empty()) {
                return std::nullopt;
            }
            options.pipeName = *argument;
        } else if (argument->starts_with(L"-")) {
            return std::nullopt;
        } else {
            options.pluginFiles.push_back(*argument);
        }
    }
    if (options.pluginFiles.empty()) {
        options.pluginFiles.push_back(kDefaultPluginFile);
    }
    return options;
}
