// Brings the collaboration center back after it ended: first gives it time to
// come back by itself, then asks the host to start it, a few times. A stopped
// plug-in's launcher runs to its end; a destroyed one's ends at its next step.
#include "plugin/Log.h"
#include "plugin/NxReVadiruServiceImpl.h"

#include "ProductAdapt.h"

using Impl = NxReVadiruService::Impl;

namespace {

constexpr wchar_t kStartNxZarCenter[] = L"NxReVadiruService::Impl::StartNxZarCenter";
constexpr wchar_t kRetailStart[] = L"NxReVadiruService::Impl::RetailPCStartNxZarCenter";
constexpr DWORD kComeBackByItselfMs = 180000;
constexpr DWORD kPauseAfterRequestMs = 120000;
constexpr int kOrdinaryRequests = 3;
constexpr int kRetailRequests = 5;
constexpr int32_t kNotAnExit = -1;
constexpr int32_t kServiceLaunch = 0;

// The request that the host module 0x30000 answers by starting the center.
TagIPCMessageItem MakeStartRequest() {
    static constexpr char kSilent[] = "Silent";
    TagIPCMessageItem request;
    request.receiverId = 0x30000;
    request.msgId = 0x30003;
    request.messageType = 0;
    request.message = kSilent;
    request.messageLen = sizeof(kSilent);  // the terminator counts here
    return request;
}

}  // namespace

void Impl::StartNxZarCenter() {
    LogInfo(kStartNxZarCenter, "[VuVidazi] Start NxZarCenter.");
    const DWORD waitCode = zarCenterStartEvent.Wait(kComeBackByItselfMs);
    LogInfo(kStartNxZarCenter, "[VuVidazi] exit, waitCode=", waitCode);
    if (IsRetired()) {
        return;
    }
    if (zarCenterRunning) {
        LogInfo(kStartNxZarCenter, "[VuVidazi] NxZarCenter server is working.");
        return;
    }
    if (ProductAdapt::MachineType::GetInstance().IsRetailComputer()) {
        RetailPCStartNxZarCenter();
        return;
    }
    if (zarCenterUserQuit) {
        LogInfo(kStartNxZarCenter, "[VuVidazi] NxZarCenter is user quit.");
        return;
    }
    ReportZarCenterEvent(kNotAnExit, kServiceLaunch);
    const TagIPCMessageItem request = MakeStartRequest();
    for (int attempt = 0; attempt < kOrdinaryRequests; ++attempt) {
        LogInfo(kStartNxZarCenter, "[VuVidazi] step1, post ipc startup zarCenter.");
        const bool posted = client.PostIPCMessage(request);
        if (!posted) {
            LogInfo(kStartNxZarCenter,
                    "[VuVidazi] step1, NxZarCenter CreateProcessNormal fail. ret:", posted);
        }
        Sleep(kPauseAfterRequestMs);
        if (IsRetired()) {
            return;
        }
        if (zarCenterUserQuit || zarCenterRunning) {
            LogInfo(kStartNxZarCenter, "[VuVidazi] step1, stop start NxZarCenter.", attempt);
            return;
        }
    }
}

void Impl::RetailPCStartNxZarCenter() {
    // A shop machine must always show the center: the user's quit is not honoured.
    LogInfo(kRetailStart, "[VuVidazi] Retail computer, start NxZarCenter.");
    ReportZarCenterEvent(kNotAnExit, kServiceLaunch);
    for (int attempt = 0; attempt < kRetailRequests; ++attempt) {
        const TagIPCMessageItem request = MakeStartRequest();
        LogInfo(kRetailStart, "[VuVidazi] post ipc startup zarCenter:", request.message);
        const bool posted = client.PostIPCMessage(request);
        if (!posted) {
            LogInfo(kRetailStart, "[VuVidazi] NxZarCenter CreateProcessNormal fail. ret:", posted);
        }
        Sleep(kPauseAfterRequestMs);
        if (IsRetired()) {
            return;
        }
        if (zarCenterRunning) {
            LogInfo(kRetailStart, "[VuVidazi] stop start NxZarCenter.", attempt);
            return;
        }
    }
}
