// What nxbus was asked to do, read from its command line.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct NxBusCommand {
    enum class Kind { Send, Publish, Watch };
    Kind kind = Kind::Watch;
    int32_t receiverId = -1;  // send only
    int32_t msgId = -1;       // send and publish
    std::string body;         // UTF-8
    std::wstring pipe = L"\\\\.\\Pipe\\iVellumAssistant";
    // An id no product module uses, so that poking disturbs nobody; a watch
    // takes the next one, since the broker gives an id to one module at a
    // time and a send may come while a watch runs.
    int32_t moduleId = 0x7E0000;
    std::optional<std::chrono::seconds> seconds;  // watch only; none runs until stopped
};

constexpr char kNxBusUsage[] =
    "usage: nxbus send <receiverId> <messageId> [body] [--pipe NAME] [--as MODULEID]\n"
    "       nxbus publish <messageId> [body] [--pipe NAME] [--as MODULEID]\n"
    "       nxbus watch [--pipe NAME] [--as MODULEID] [--seconds N]\n"
    "ids are decimal or 0x-hex";

// The command, or why the arguments do not make one.
std::variant<NxBusCommand, std::string> ParseNxBusArguments(
    const std::vector<std::wstring>& arguments);
