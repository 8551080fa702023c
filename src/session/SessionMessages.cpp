// Handlers of the helper's and the message center's session reports.
#include "plugin/Log.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "process/ServiceProcessNames.h"

#include <cstdlib>
#include <sstream>

using Impl = NxReVadiruService::Impl;

namespace {

// Mode 3 marks an invalid start report; a body without a readable mode keeps it.
constexpr int32_t kInvalidMode = 3;

// Reads one formatted number from the stream into an atomic field; a failed
// extraction leaves the field as the extraction left the local copy.
template <class Atomic>
void ExtractInto(std::istringstream& body, Atomic& field) {
    auto value = field.load();
    body >> value;
    field = value;
}

}  // namespace

void Impl::OnRecvNxRevadiruStartMsg(TagIPCMessageItem& msg) {
    constexpr wchar_t kOperation[] = L"NxReVadiruService::Impl::OnRecvNxRevadiruStartMsg";
    LogInfo(kOperation, "[VuVidazi] recv nxrevadiru process start msg");
    if (msg.message == nullptr) {
        LogInfo(kOperation, "[VuVidazi] msg.message is nullptr");
        return;
    }
    std::istringstream body(msg.message);
    int32_t mode = kInvalidMode;
    body >> mode;
    ExtractInto(body, reVadiruProcessId);
    LogInfo(kOperation, "[VuVidazi] mode:", mode, ",processId:", reVadiruProcessId.load());
    if (mode == kInvalidMode || reVadiruProcessId == 0) {
        LogInfo(kOperation, "[VuVidazi] mode or processId is invalid");
        return;
    }
    StartMonitorThread(kNxReVadiruImage);
}

void Impl::OnRecvNxRevadiruPidMsg(TagIPCMessageItem& msg) {
    constexpr wchar_t kOperation[] = L"NxReVadiruService::Impl::OnRecvNxRevadiruPidMsg";
    LogInfo(kOperation, "[VuVidazi] recv nxrevadiru process pid msg");
    if (msg.message == nullptr) {
        return;
    }
    reVadiruProcessId = static_cast<uint32_t>(std::atol(msg.message));
    LogInfo(kOperation, "[VuVidazi] nxrevadiruProcessId:", reVadiruProcessId.load());
    if (reVadiruProcessId != 0) {
        StartMonitorThread(kNxReVadiruImage);
    }
}

void Impl::OnRecvMessageCenterTabTipMsg(TagIPCMessageItem& msg) {
    constexpr wchar_t kOperation[] = L"NxReVadiruService::Impl::OnRecvMessageCenterTabTipMsg";
    if (msg.message == nullptr) {
        LogError(kOperation, "tabtip message null");
        return;
    }
    tabTipValue = static_cast<uint32_t>(std::atol(msg.message));
    LogInfo(kOperation, "recv tabtip value ", tabTipValue.load());
}

void Impl::OnRecvNxRevadiruResolutionMsg(TagIPCMessageItem& msg) {
    constexpr wchar_t kOperation[] = L"NxReVadiruService::Impl::OnRecvNxRevadiruResolutionMsg";
    if (msg.message == nullptr) {
        return;
    }
    std::istringstream body(msg.message);
    for (auto* field : {&originPrimaryWidth, &originPrimaryHeight, &originDpiScale,
                        &targetPrimaryWidth, &targetPrimaryHeight, &targetDpiScale}) {
        ExtractInto(body, *field);
    }
    LogInfo(kOperation,
            "[VuVidazi] get screen info from NxExp, originPrimaryWidth:", originPrimaryWidth.load(),
            ", originPrimaryHeight:", originPrimaryHeight.load(),
            ", originDpiScale:", originDpiScale.load(),
            ", targetPrimaryWidth:", targetPrimaryWidth.load(),
            ", targetPrimaryHeight:", targetPrimaryHeight.load(),
            ", targetDpiScale:", targetDpiScale.load(), ".");
    SetRestoreDpiFlag(true);
    SetRestoreDpi(static_cast<int32_t>(originDpiScale.load()));
}
