#include "ServiceOptions.h"

#include <charconv>

namespace {
constexpr wchar_t kBusPipeName[] = L"\\\\.\\Pipe\\iVellumAssistant";
constexpr wchar_t kDefaultPluginFile[] = L"NxReVadiruServicePlugin.dll";
constexpr wchar_t kPipeOption[] = L"--pipe";
constexpr wchar_t kClockSpeedOption[] = L"--clock-speed";
// Beyond this a minute is shorter than Wine's scheduling noise.
constexpr DWORD kFastestClock = 1000;

// A whole number from 1 to kFastestClock, digits only.
std::optional<DWORD> ParseClockSpeed(const std::wstring& text) {
    std::string digits;
    for (const wchar_t character : text) {
        if (character < L'0' || character > L'9') {
            return std::nullopt;
        }
        digits += static_cast<char>(character);
    }
    DWORD speed = 0;
    // Digits only, so the conversion fails only on an empty or too long number.
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), speed);
    if (result.ec != std::errc() || speed < 1 || speed > kFastestClock) {
        return std::nullopt;
    }
    return speed;
}
}  // namespace

std::optional<ServiceOptions> ParseServiceOptions(const std::vector<std::wstring>& arguments) {
    ServiceOptions options{kBusPipeName, {}};
    for (auto argument = arguments.begin(); argument != arguments.end(); ++argument) {
        if (*argument == kPipeOption) {
            if (++argument == arguments.end() || argument->empty()) {
                return std::nullopt;
            }
            options.pipeName = *argument;
        } else if (*argument == kClockSpeedOption) {
            if (++argument == arguments.end()) {
                return std::nullopt;
            }
            const std::optional<DWORD> speed = ParseClockSpeed(*argument);
            if (!speed) {
                return std::nullopt;
            }
            options.clockSpeed = *speed;
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
