#include "NxBusArguments.h"

#include "ConsoleOutput.h"
#include "HostFiles.h"

#include <limits>

namespace {

// A non-negative id in decimal or with a 0x prefix in hex.
std::optional<int32_t> ParseId(const std::wstring& text) {
    const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    const std::wstring digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 10) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (const wchar_t c : digits) {
        int digit = -1;
        if (c >= L'0' && c <= L'9') {
            digit = c - L'0';
        } else if (hex && c >= L'a' && c <= L'f') {
            digit = c - L'a' + 10;
        } else if (hex && c >= L'A' && c <= L'F') {
            digit = c - L'A' + 10;
        }
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * (hex ? 16 : 10) + digit;
    }
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

}  // namespace

std::variant<NxBusCommand, std::string> ParseNxBusArguments(
    const std::vector<std::wstring>& arguments) {
    if (arguments.empty()) {
        return std::string("no command given");
    }
    NxBusCommand command;
    const std::wstring& verb = arguments[0];
    if (verb == L"send") {
        command.kind = NxBusCommand::Kind::Send;
    } else if (verb == L"publish") {
        command.kind = NxBusCommand::Kind::Publish;
    } else if (verb == L"watch") {
        constexpr int32_t kWatchModule = 0x7E0001;
        command.moduleId = kWatchModule;
    } else {
        return "unknown command " + ToUtf8(verb);
    }
    std::vector<std::wstring> positional;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        const bool isOption =
            argument == L"--pipe" || argument == L"--as" ||
            (argument == L"--seconds" && command.kind == NxBusCommand::Kind::Watch);
        if (!isOption) {
            positional.push_back(argument);
            continue;
        }
        if (i + 1 == arguments.size()) {
            return ToUtf8(argument) + " needs a value";
        }
        const std::wstring& value = arguments[++i];
        if (argument == L"--pipe") {
            command.pipe = value;
            continue;
        }
        const std::optional<int32_t> number = ParseId(value);
        if (!number) {
            return "not a number: " + ToUtf8(value);
        }
        if (argument == L"--as") {
            command.moduleId = *number;
        } else {
            command.seconds = std::chrono::seconds(*number);
        }
    }
    // The ids each command takes, then an optional body.
    const size_t ids = command.kind == NxBusCommand::Kind::Send      ? 2
                       : command.kind == NxBusCommand::Kind::Publish ? 1
                                                                     : 0;
    const size_t allowed = command.kind == NxBusCommand::Kind::Watch ? 0 : ids + 1;
    if (positional.size() < ids || positional.size() > allowed) {
        return "wrong number of arguments for " + ToUtf8(verb);
    }
    std::vector<int32_t> parsed;
    for (size_t i = 0; i < ids; ++i) {
        const std::optional<int32_t> id = ParseId(positional[i]);
        if (!id) {
            return "not an id: " + ToUtf8(positional[i]);
        }
        parsed.push_back(*id);
    }
    if (command.kind == NxBusCommand::Kind::Send) {
        command.receiverId = parsed[0];
        command.msgId = parsed[1];
    } else if (command.kind == NxBusCommand::Kind::Publish) {
        command.msgId = parsed[0];
    }
    if (positional.size() > ids) {
        command.body = ToUtf8(positional[ids]);
    }
    return command;
}
