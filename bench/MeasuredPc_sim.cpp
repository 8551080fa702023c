// Natively: a simulated machine with a user at the console, the keyboard
// driver's HID collection and one display, on which the plug-in's recovery
// finds everything it works on. Programs are entries of its process table.
#include "MeasuredPc.h"

#include <winsim/Machine.h>
#include <winsim/SimDisplay.h>
#include <winsim/SimHid.h>
#include <winsim/SimProcesses.h>
#include <winsim/SimRegistry.h>
#include <winsim/SimSessions.h>

#include <vector>

namespace {

const winsim::UserAccount kConsoleUser{L"DESKTOP\\alice", L"S-1-5-21-1-2-3-1001"};
constexpr uint32_t kCrashExitCode = 1;

}  // namespace

struct MeasuredPc::State {
    winsim::Machine machine;
    winsim::MachineScope scope{machine};
    std::vector<uint32_t> started;
};

MeasuredPc::MeasuredPc() : state_(std::make_unique<State>()) {
    winsim::Machine& pc = state_->machine;
    pc.SetExecutablePath(L"C:\\Program Files\\DeskSuite\\VLAMainService.exe");
    pc.Extension<winsim::Sessions>().LogOnConsole(kConsoleUser);
    winsim::SimRegistry registry(pc);
    registry.CreateKey(HKEY_USERS, kConsoleUser.sid + L"\\SOFTWARE\\Norvane\\DeskSuite\\setting");
    registry.CreateKey(HKEY_USERS, kConsoleUser.sid + L"\\SOFTWARE\\DeskSuite\\NxReVadiru");
    registry.SetString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                       L"CurrentBuildNumber", L"19045");
    winsim::SimDisplay(pc).SetPaths({winsim::DefaultDisplayPath()});
    winsim::HidDeviceSpec keyboard;
    keyboard.vendorId = 0xDEED;
    keyboard.productId = 0xFEED;
    keyboard.collections = {{0xFF00, 0x0001, 93}};
    pc.Extension<winsim::Hid>().AddDevice(keyboard);
    // What the plug-in starts: the helper's "setdpi", the tray helper.
    auto& processes = pc.Extension<winsim::Processes>();
    processes.Register(L"NxReVadiru.exe", winsim::programs::ExitsAtOnce());
    processes.Register(L"NxTrayWndHelper.exe", winsim::programs::ExitsAtOnce());
}

MeasuredPc::~MeasuredPc() {
    auto& processes = state_->machine.Extension<winsim::Processes>();
    for (const uint32_t id : state_->started) {
        processes.End(id, kCrashExitCode);
    }
}

uint32_t MeasuredPc::StartProgram(const std::wstring& imageName) {
    const uint32_t id = state_->machine.Extension<winsim::Processes>().Start(imageName);
    state_->started.push_back(id);
    return id;
}

void MeasuredPc::EndProgram(uint32_t processId) {
    state_->machine.Extension<winsim::Processes>().End(processId, kCrashExitCode);
}

long MeasuredPc::OpenHandles() const {
    return static_cast<long>(state_->machine.OpenHandleCount());
}

std::filesystem::path MeasuredPc::ThreadDirectory() const {
    return "/proc/self/task";
}
