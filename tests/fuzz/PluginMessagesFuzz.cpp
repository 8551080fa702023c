// Every message the plug-in handles, with arbitrary bodies, through the real
// plug-in: each input starts the plug-in on a fresh simulated PC in a session
// (the helper, the message center and the collaboration center running, each
// watched), delivers its messages on the simulated bus to the plug-in's own
// handler table, and lets virtual time run after each step. At the end the
// plug-in must still handle a message; then it is stopped, every process ends,
// and every worker thread must have left with nothing left open.
//
// An input is lines, one step each (at most kMaxSteps):
//   '!' and a byte     the helper, the message center or the collaboration
//                      center (by the byte's value) ends;
//   any other byte     a message, chosen by that byte: '1'..'6' 0x6F0001..
//                      0x6F0006, 'p' 0x690022, 'q' 0x150059, anything else by
//                      its value; the rest of the line, after one space if
//                      there is one, is its body, sent as is (no terminator).
// The programs started first get the process ids 10000, 10008 and 10016.
#include "support/SessionPcSetUp.h"
#include "plugin/PluginTable.h"

#include "SimulatedBus.h"

#include <winsim/Machine.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace {

constexpr const wchar_t* kServiceExecutable = L"C:\\Program Files\\DeskSuite\\VLAMainService.exe";
constexpr int32_t kPluginModule = 0x6F0000;
constexpr int32_t kHelperModule = 0x690000;
constexpr size_t kMaxSteps = 16;
constexpr char kEndProgram = '!';
constexpr char kBodySeparator = ' ';

// The handled messages, each named by the selector at its place.
constexpr std::string_view kSelectors = "123456pq";
constexpr std::array<int32_t, 8> kHandled = {0x6F0001, 0x6F0002, 0x6F0003, 0x6F0004,
                                             0x6F0005, 0x6F0006, 0x690022, 0x150059};

// Started in this order, so with the ids 10000, 10008 and 10016.
constexpr std::array<const wchar_t*, 3> kWatchedPrograms = {
    L"NxReVadiru.exe", L"VLAMessageCenter.exe", L"NxZarCenter.exe"};

// What proves at the end that the plug-in still handles messages.
constexpr int32_t kTabTipMsg = 0x6F0003;
constexpr char kCanaryBody[] = "4242";
constexpr char kCanaryLine[] =
    "3 recv tabtip value 4242(NxReVadiruService::Impl::OnRecvMessageCenterTabTipMsg)";

[[noreturn]] void Finding(const char* what, const winsim::Machine& machine) {
    std::fprintf(stderr, "plug-in messages: %s\n", what);
    for (const auto& kind : machine.OpenHandleKinds()) {
        std::fprintf(stderr, "  open: %s\n", kind.c_str());
    }
    std::fprintf(stderr, "  %zu worker thread(s) running\n", machine.RunningThreads());
    std::abort();
}

// Far beyond what any input needs in real time; past it the input hangs.
constexpr auto kSettleLimit = std::chrono::seconds(10);
// A thread that was just woken still counts as waiting until it runs, so a
// quiet machine must stay quiet across this pause.
constexpr auto kQuietPause = std::chrono::microseconds(200);

enum class SettleUntil {
    // Every worker thread has ended or waits without a time limit (for a
    // process to end).
    Quiet,
    // Every worker thread has ended.
    NoThreads,
};

// Every worker waits, and no delivery is queued that could wake one.
bool AllWaiting(winsim::Machine& machine, size_t running) {
    return machine.ParkedCount() + machine.BlockedCount() >= running &&
           machine.Extension<simbus::Bus>().WaitIdle(std::chrono::milliseconds(0));
}

// Lets virtual time run on its own between the steps, so that every input
// sees the same order of events: moves the clock to the next deadline whenever
// every worker thread waits and one of them waits with a time limit. A machine
// that does not get there within a few seconds of real time hangs: a finding.
void Settle(winsim::Machine& machine, SettleUntil until, const char* hang) {
    const auto deadline = std::chrono::steady_clock::now() + kSettleLimit;
    auto& bus = machine.Extension<simbus::Bus>();
    while (std::chrono::steady_clock::now() < deadline && bus.WaitIdle(kSettleLimit)) {
        const size_t running = machine.RunningThreads();
        if (running == 0) {
            return;
        }
        if (!AllWaiting(machine, running)) {
            std::this_thread::yield();
            continue;
        }
        if (machine.ParkedCount() > 0) {
            machine.AdvanceToNextDeadline();
            continue;
        }
        std::this_thread::sleep_for(kQuietPause);
        if (until == SettleUntil::Quiet && machine.RunningThreads() == running &&
            AllWaiting(machine, running)) {
            return;
        }
    }
    Finding(hang, machine);
}

int32_t MessageId(char selector) {
    const size_t named = kSelectors.find(selector);
    return kHandled[named != std::string_view::npos
                        ? named
                        : static_cast<unsigned char>(selector) % kHandled.size()];
}

void EndProgram(winsim::Processes& processes, std::string_view which) {
    const size_t index =
        which.empty() ? 0 : static_cast<unsigned char>(which.front()) % kWatchedPrograms.size();
    if (const auto process = processes.Find(kWatchedPrograms[index])) {
        processes.End(process->id);
    }
}

void Step(winsim::Machine& machine, std::string_view line) {
    if (line.empty()) {
        return;
    }
    if (line.front() == kEndProgram) {
        EndProgram(machine.Extension<winsim::Processes>(), line.substr(1));
    } else {
        std::string_view body = line.substr(1);
        if (!body.empty() && body.front() == kBodySeparator) {
            body.remove_prefix(1);
        }
        machine.Extension<simbus::Bus>().Send(kHelperModule, kPluginModule, MessageId(line.front()),
                                              std::string(body));
    }
    Settle(machine, SettleUntil::Quiet, "the machine did not settle after a step");
}

// Stops the plug-in and ends everything it could still be waiting for.
void Shutdown(winsim::Machine& machine, std::shared_ptr<VLAPlugin>& plugin) {
    plugin->Stop();
    auto& processes = machine.Extension<winsim::Processes>();
    for (const auto& process : processes.List()) {
        processes.End(process.id);
    }
    processes.End(machine.CurrentProcessId());
    Settle(machine, SettleUntil::NoThreads, "worker threads did not end after the stop");
    plugin.reset();
    if (machine.OpenHandleCount() != 0) {
        Finding("handles or resources left open", machine);
    }
}

void Run(std::string_view input) {
    winsim::Machine machine;
    const winsim::MachineScope scope(machine);
    machine.SetExecutablePath(kServiceExecutable);
    winsim::SimRegistry registry(machine);
    simtest::SetUpSessionPc(machine, registry);
    auto& processes = machine.Extension<winsim::Processes>();
    for (const wchar_t* program : kWatchedPrograms) {
        processes.Start(program);
    }

    std::shared_ptr<VLAPlugin> plugin = PluginRegistrationTable[0].factory();
    if (!plugin || !plugin->Start()) {
        Finding("the plug-in did not start", machine);
    }
    Settle(machine, SettleUntil::Quiet, "the machine did not settle after the start");
    for (size_t step = 0; step < kMaxSteps && !input.empty(); ++step) {
        const size_t end = std::min(input.find('\n'), input.size());
        Step(machine, input.substr(0, end));
        input.remove_prefix(std::min(end + 1, input.size()));
    }

    machine.ClearJournal();
    machine.Extension<simbus::Bus>().Send(kHelperModule, kPluginModule, kTabTipMsg, kCanaryBody);
    Settle(machine, SettleUntil::Quiet, "the machine did not settle after the last message");
    const auto lines = machine.JournalTexts("log");
    if (std::find(lines.begin(), lines.end(), kCanaryLine) == lines.end()) {
        Finding("the plug-in no longer handles messages", machine);
    }
    Shutdown(machine, plugin);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The drag-and-drop mirror is a real directory; point the plug-in at one
    // that does not exist, so that no input touches the file system.
    const auto mirror = std::filesystem::temp_directory_path() / "nx-fuzz-no-mirror";
    setenv("NX_MIRROR_ROOT", mirror.string().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Run(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
