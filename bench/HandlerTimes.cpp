// Times each bus handler as the bus client's thread runs it, with a valid body
// and the programs it refers to running. The DPI restore request is timed with
// a restore pending (re-armed by an untimed screen-values report before each
// call), its longest path: it starts the helper's "setdpi" on the user's desktop.
#include "Figures.h"
#include "MeasuredPc.h"
#include "Measurements.h"
#include "PluginDriver.h"
#include "WatchedPrograms.h"

#include <cstdio>
#include <vector>

namespace {

constexpr int kCalls = 50;
constexpr int32_t kScreenValuesMsg = 0x6F0004;
constexpr int32_t kRestoreDpiMsg = 0x6F0005;
constexpr char kScreenValues[] = "1920 1080 150 2560 1600 200";

struct TimedMessage {
    int32_t msgId;
    const char* what;
    std::string body;
};

std::string HexId(int32_t msgId) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(msgId));
    return text;
}

}  // namespace

void MeasureHandlers(MeasuredPc& pc) {
    Progress("bus handlers: " + std::to_string(kCalls) + " calls each");
    const WatchedPrograms programs(pc);
    const std::string helperId = std::to_string(programs.helper);
    const std::vector<TimedMessage> messages = {
        {0x6F0001, "message center started", ""},
        {0x6F0002, "helper's start report", "1 " + helperId},
        {0x690022, "helper's process id", helperId},
        {0x6F0003, "tab-tip value", "5"},
        {kScreenValuesMsg, "screen values", kScreenValues},
        {kRestoreDpiMsg, "DPI restore, restore pending", ""},
        {0x6F0006, "center started", std::to_string(programs.center)},
        {0x150059, "user quit the center", ""},
    };
    // Started as the host starts it: the center's start event is there, the
    // message center and the center are watched already.
    const auto plugin = std::make_shared<PluginState>();
    plugin->Start();
    for (const TimedMessage& message : messages) {
        const PluginState::Handler handler = HandlerFor(message.msgId);
        std::vector<Duration> held;
        for (int call = 0; call < kCalls; ++call) {
            if (message.msgId == kRestoreDpiMsg) {
                Deliver(*plugin, kScreenValuesMsg, kScreenValues);
            }
            TagIPCMessageItem item = MessageItem(message.msgId, message.body);
            const Clock::time_point start = Clock::now();
            (plugin.get()->*handler)(item);
            held.push_back(Clock::now() - start);
        }
        PrintRow("Bus thread held by " + HexId(message.msgId) + " (" + message.what + ")",
                 Describe(Summarise(held)));
    }
    // The monitors the handlers started end quietly once the plug-in is stopped.
    plugin->Stop();
    programs.EndAll();
    WaitForWorkers(plugin);
}
