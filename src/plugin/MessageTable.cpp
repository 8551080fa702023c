// The messages the plug-in handles, in registration order, and the checks that
// run between the two registration phases when the host starts the plug-in.
#include "NxReVadiruServiceImpl.h"
#include "process/ServiceProcessNames.h"

using Impl = NxReVadiruService::Impl;

namespace {
// The helper's own module answers this message with its process id.
constexpr int32_t kNxReVadiruModule = 0x690000;
constexpr int32_t kNxReVadiruPidMsg = 0x690022;
}  // namespace

// Registered before the start-up checks run, so that the helper's reports are
// heard while they run.
const std::vector<Impl::HandlerEntry>& Impl::EarlyHandlers() {
    static const std::vector<HandlerEntry> entries = {
        {0x6F0001, &Impl::OnRecvMessageCenterStartMsg},
        {0x6F0002, &Impl::OnRecvNxRevadiruStartMsg},
        {kNxReVadiruPidMsg, &Impl::OnRecvNxRevadiruPidMsg},
        {0x6F0003, &Impl::OnRecvMessageCenterTabTipMsg},
        {0x6F0004, &Impl::OnRecvNxRevadiruResolutionMsg},
    };
    return entries;
}

const std::vector<Impl::StartupCheck>& Impl::StartupChecks() {
    static const std::vector<StartupCheck> checks = {
        &Impl::ReleaseKeyboardIfNxReVadiruMissing, &Impl::StartMessageCenterMonitor,
        &Impl::StartMonitorZarCenterThread,        &Impl::ClearVdisplayInfo,
        &Impl::RequestNxReVadiruProcessId,
    };
    return checks;
}

// Registered only after the start-up checks.
const std::vector<Impl::HandlerEntry>& Impl::LateHandlers() {
    static const std::vector<HandlerEntry> entries = {
        {0x6F0005, &Impl::OnRecvRestoreDpiMsg},
        {0x6F0006, &Impl::OnRecvNxZarCenterStartMsg},
        {0x150059, &Impl::OnRecvZarCenterQuitMsg},
    };
    return entries;
}

void Impl::OnRecvMessageCenterStartMsg(TagIPCMessageItem& /*msg*/) {
    StartMonitorThread(kMessageCenterImage);
}

void Impl::ReleaseKeyboardIfNxReVadiruMissing() {
    // A helper that is gone while the service was down left the PC as the
    // session had it.
    if (!GetProcessHandleByName(kNxReVadiruImage, false)) {
        ReleaseKeyboard();
    }
}

void Impl::StartMessageCenterMonitor() {
    StartMonitorThread(kMessageCenterImage);
}

void Impl::RequestNxReVadiruProcessId() {
    PostBusMessage(client, kNxReVadiruModule, kNxReVadiruPidMsg, std::string());
}
