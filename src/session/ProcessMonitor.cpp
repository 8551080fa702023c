// Monitor threads for the helper and the message center, and the follow-up
// when either ends.
#include "plugin/Log.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "process/ServiceProcessNames.h"
#include "process/UserProcessLauncher.h"

#include <string>

using Impl = NxReVadiruService::Impl;

namespace {

constexpr wchar_t kStartMonitorThread[] = L"NxReVadiruService::Impl::StartMonitorThread";
constexpr wchar_t kMonitorBody[] = L"NxReVadiruService::Impl::StartMonitorThread::MonitorBody";
constexpr wchar_t kTrayHelper[] = L"NxTrayWndHelper.exe";
constexpr wchar_t kRefreshNotifyIcon[] = L"RefreshNotifyIcon ";

// Who hears that the message center has gone, in this order.
constexpr BusNotice kMessageCenterEndNotices[] = {
    {0x20000, 0x22711, "quit_mainframe"},
    {0x530000, 0x22711, ""},
    {0xB955F0, 0x6F0007, ""},
};

// Clears the message-center guard when a watch that holds it ends, by any path.
class MessageCenterWatch {
public:
    explicit MessageCenterWatch(std::atomic<bool>* active) : active_(active) {}
    ~MessageCenterWatch() {
        if (active_ != nullptr) {
            *active_ = false;
        }
    }
    MessageCenterWatch(const MessageCenterWatch&) = delete;
    MessageCenterWatch& operator=(const MessageCenterWatch&) = delete;

private:
    std::atomic<bool>* active_;
};

void MonitorBody(const std::wstring& name, Impl& impl) {
    LogInfo(kMonitorBody, "[VuVidazi] enter monitor thread ", name);
    const bool messageCenterWatch = name == kMessageCenterImage;
    // Check and set in one step, so two requests at once cannot both pass.
    if (messageCenterWatch && impl.messageCenterMonitorActive.exchange(true)) {
        LogInfo(kMonitorBody, "[VuVidazi] already monitor thread ", name);
        return;
    }
    const MessageCenterWatch guard(messageCenterWatch ? &impl.messageCenterMonitorActive : nullptr);
    if (!impl.WaitForProcessExit(name)) {
        return;
    }
    if (impl.stopRequested) {
        LogInfo(kMonitorBody, "[VuVidazi] force stop monitor thread ");
        return;
    }
    if (!messageCenterWatch) {
        impl.ExitNxReVadiruProcess();
        impl.ReleaseKeyboard();
        LogInfo(kMonitorBody, "[VuVidazi] exit monitor thread ", name);
        return;
    }
    PostBusNotices(impl.client, kMessageCenterEndNotices);
    impl.DeleteMessageCenterIcon();
    LogInfo(kMonitorBody, "[VuVidazi] exit msgcenter monitor thread ", name);
}

}  // namespace

void Impl::StartMonitorThread(const std::wstring& processName) {
    if (!StartWorkerThread([processName](Impl& impl) { MonitorBody(processName, impl); })) {
        LogError(kStartMonitorThread, "[VuVidazi] create monitor thread failed ", processName);
    }
}

void Impl::ExitNxReVadiruProcess() {
    // The helper waits on an event named after its image and quits when it is signalled.
    const UniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, kNxReVadiruImage));
    SetEvent(event.get());
    LogInfo(L"NxReVadiruService::Impl::ExitNxReVadiruProcess",
            "[VuVidazi] notify nxrevadiru.exe quit");
}

void Impl::DeleteMessageCenterIcon() {
    const std::wstring arguments =
        kRefreshNotifyIcon + std::to_wstring(messageCenterProcessId.load());
    NXPROCESS::StartProcess(kTrayHelper, arguments, nullptr);
}
