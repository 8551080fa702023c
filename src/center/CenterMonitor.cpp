// Watches the collaboration center, cleans up after it when it ends, and hands
// over to the launcher so that it comes back.
#include "plugin/Log.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "process/UserProcessLauncher.h"
#include "session/StringToNumber.h"

#include "SafeString.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>

using Impl = NxReVadiruService::Impl;

namespace {

constexpr wchar_t kStartMonitorZarCenterThread[] =
    L"NxReVadiruService::Impl::StartMonitorZarCenterThread";
constexpr wchar_t kStartupBody[] =
    L"NxReVadiruService::Impl::StartMonitorZarCenterThread::MonitorBody";
constexpr wchar_t kOnRecvNxZarCenterStartMsg[] =
    L"NxReVadiruService::Impl::OnRecvNxZarCenterStartMsg";
constexpr wchar_t kAnnouncedBody[] =
    L"NxReVadiruService::Impl::OnRecvNxZarCenterStartMsg::MonitorBody";
constexpr wchar_t kDeleteZarCenterIcon[] = L"NxReVadiruService::Impl::DeleteZarCenterIcon";

constexpr wchar_t kZarCenterImage[] = L"NxZarCenter.exe";
constexpr wchar_t kIconHelper[] = L"\\NxZarCenterHelper.exe";
constexpr wchar_t kIconHelperArguments[] = L"RefreshNotifyIcon";
constexpr int kIconHelperAttempts = 3;
constexpr int32_t kCenterEnded = 0;
constexpr int32_t kNotALaunch = -1;

// Who hears that the center has gone, in this order.
constexpr BusNotice kCenterEndNotices[] = {
    {0x20000, 0x22711, "quit_zarCenter"},
    {0x270000, 0x150059, ""},
    {0x40000, 0x150059, ""},
};

// The clean-up after a center that ended while the plug-in runs. The announced
// center's handle is closed right after the publication.
void CleanUpAfterCenter(Impl& impl, UniqueHandle* centerProcess) {
    impl.DeleteZarCenterIcon();
    impl.PublishZarCenterExitMsg(impl.client);
    if (centerProcess != nullptr) {
        centerProcess->reset();
    }
    PostBusNotices(impl.client, kCenterEndNotices);
    impl.ExitNxReVadiruProcess();
    impl.ReleaseKeyboard();
}

void StartupMonitorBody(const std::wstring& name, Impl& impl) {
    LogInfo(kStartupBody, "[VuVidazi] enter monitor thread ", name);
    if (!impl.WaitForProcessExit(name)) {
        return;
    }
    if (impl.stopRequested) {
        LogInfo(kStartupBody, "[VuVidazi] force stop monitor thread ");
        return;
    }
    CleanUpAfterCenter(impl, nullptr);
    LogInfo(kStartupBody, "[VuVidazi] exit monitor thread ", name);
}

void AnnouncedMonitorBody(uint32_t processId, Impl& impl) {
    LogInfo(kAnnouncedBody, "[VuVidazi] enter monitor thread.");
    UniqueHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId));
    if (!process) {
        LogError(kAnnouncedBody, "[VuVidazi] processHandle is nullptr processId:", processId);
        return;
    }
    LogInfo(kAnnouncedBody, "[VuVidazi] processId:", processId, "processHandle:", process.get());
    const DWORD waitCode = WaitForSingleObject(process.get(), INFINITE);
    LogInfo(kAnnouncedBody, "[VuVidazi] exit, waitCode=", waitCode);
    impl.ReportZarCenterEvent(kCenterEnded, kNotALaunch);
    if (impl.stopRequested) {
        LogInfo(kAnnouncedBody, "[VuVidazi] force stop monitor thread ");
        return;
    }
    CleanUpAfterCenter(impl, &process);
    LogInfo(kAnnouncedBody, "[VuVidazi] exit monitor thread.");
    impl.zarCenterRunning.exchange(false);
    impl.zarCenterStartEvent.Reset();
    impl.StartNxZarCenter();
}

}  // namespace

void Impl::StartMonitorZarCenterThread() {
    const std::wstring name = kZarCenterImage;
    if (!StartWorkerThread([name](Impl& impl) { StartupMonitorBody(name, impl); })) {
        LogError(kStartMonitorZarCenterThread, "[VuVidazi] create monitor thread failed");
    }
}

void Impl::OnRecvNxZarCenterStartMsg(TagIPCMessageItem& msg) {
    if (msg.message == nullptr || msg.messageLen < 1) {
        LogInfo(kOnRecvNxZarCenterStartMsg, "[VuVidazi] message is null.");
        return;
    }
    const std::string body(msg.message, static_cast<size_t>(msg.messageLen));
    uint64_t number = 0;
    const uint32_t processId = DE::StoullS(body, number) ? static_cast<uint32_t>(number) : 0;
    zarCenterUserQuit.exchange(false);
    zarCenterRunning.exchange(true);
    zarCenterStartEvent.Signal();
    if (!StartWorkerThread([processId](Impl& impl) { AnnouncedMonitorBody(processId, impl); })) {
        LogError(kOnRecvNxZarCenterStartMsg, "[VuVidazi] create monitor thread failed");
    }
}

void Impl::DeleteZarCenterIcon() {
    wchar_t hostPath[MAX_PATH] = {};
    wchar_t hostDirectory[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, hostPath, MAX_PATH);
    PathRemoveFileSpecW(hostPath);
    if (DE::WcsCopyS(hostDirectory, MAX_PATH, hostPath) != 0) {
        LogError(kDeleteZarCenterIcon, "wcscpy_s err.");
        return;
    }
    const std::wstring helperPath = std::wstring(hostDirectory) + kIconHelper;
    for (int attempt = 0; attempt < kIconHelperAttempts; ++attempt) {
        if (NXPROCESS::StartProcess(helperPath, kIconHelperArguments, hostDirectory)) {
            return;
        }
        LogError(kDeleteZarCenterIcon,
                 "DeleteZarCenterIcon startProcess failed, err:", GetLastError(),
                 "retry num:", attempt);
    }
}

void Impl::PublishZarCenterExitMsg(BusConnection& busClient) {
    static const std::string kExitAnnouncement = "ZAR_SERVICE_UNINIT_ADV_NAME";
    TagIPCMessageItem item;
    item.msgId = 0xB90004;
    item.message = kExitAnnouncement.c_str();
    item.messageLen = static_cast<int32_t>(kExitAnnouncement.size());
    const bool published = busClient.PublishIPCMessage(item);
    LogInfo(L"NxReVadiruService::Impl::PublishZarCenterExitMsg",
            "[VuVidazi] PublishIPCMessage Ret = ", published);
}
