// nxbus.exe: a developer's hand on the host's bus. Sends or publishes one
// message, or prints every message a module receives.
#include "BusMessage.h"
#include "ConsoleOutput.h"
#include "HostFiles.h"
#include "IPCMessageClient.h"
#include "NxBusArguments.h"
#include "StopSignal.h"

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// The body as it can be read on one line: quotes, backslashes and bytes
// outside printable ASCII escaped.
std::string Printable(std::string_view body) {
    std::string out;
    for (const char c : body) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte > 0x7E) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

int Post(const NxBusCommand& command) {
    // Connects on the post itself, so that a missing bus makes the post fail.
    IPCMessageClient client(command.moduleId, true, false, command.pipe);
    TagIPCMessageItem item;
    item.receiverId = command.receiverId;
    item.msgId = command.msgId;
    item.message = command.body.c_str();
    item.messageLen = static_cast<int32_t>(command.body.size());
    const bool publish = command.kind == NxBusCommand::Kind::Publish;
    if (publish ? client.PublishIPCMessage(item) : client.PostIPCMessage(item)) {
        return kExitDone;
    }
    PrintLine("nxbus: the bus on " + ToUtf8(command.pipe) + " did not accept the message");
    return kExitFailed;
}

int Watch(const NxBusCommand& command) {
    // Its input ends a watch only when it is a pipe, so that a script can run
    // one in the background.
    const StopSignal stop(StopSignal::InputEnd::OfPipe);
    if (!stop.IsReady()) {
        PrintLine("nxbus: cannot wait for a stop request");
        return kExitFailed;
    }
    IPCMessageClient client(command.moduleId, false, false, command.pipe);
    client.RegisterOtherMessagesCallback([](TagIPCMessageItem& item) {
        PrintLine(item.senderName + " -> " + FormatBusId(item.receiverId) + " " +
                  FormatBusId(item.msgId) + " \"" +
                  Printable(std::string_view(item.message, static_cast<size_t>(item.messageLen))) +
                  "\"");
    });
    const std::string reason = stop.Wait(command.seconds);
    client.UnRegisterMessageCallbackAll();
    PrintLine("nxbus: stopped: " + reason);
    return kExitDone;
}

int Run(const std::vector<std::wstring>& arguments) {
    const auto parsed = ParseNxBusArguments(arguments);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        PrintLine("nxbus: " + *error);
        PrintLine(kNxBusUsage);
        return kExitUsage;
    }
    const auto& command = std::get<NxBusCommand>(parsed);
    return command.kind == NxBusCommand::Kind::Watch ? Watch(command) : Post(command);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        return Run(std::vector<std::wstring>(argv + (argc > 0 ? 1 : 0), argv + argc));
    } catch (const std::exception& error) {
        PrintLine(std::string("nxbus: ") + error.what());
    } catch (...) {
        PrintLine("nxbus: unexpected failure");
    }
    return kExitFailed;
}
