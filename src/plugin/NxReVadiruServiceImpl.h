// The plug-in's private state and every operation that works on it. Each
// subsystem folder defines its own members (session/, display/, input/,
// audio/, center/, process/); the frame (start, stop, message table) is here in
// plugin/.
#pragma once

#include "NxReVadiruService.h"
#include "BusConnection.h"
#include "LibraryPin.h"
#include "win32/SrwLock.h"
#include "win32/UniqueAny.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class NxReVadiruService::Impl : public std::enable_shared_from_this<NxReVadiruService::Impl> {
public:
    using Handler = void (Impl::*)(TagIPCMessageItem&);
    struct HandlerEntry {
        int32_t msgId;
        Handler handler;
    };
    using StartupCheck = void (Impl::*)();

    Impl();
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    // --- frame ------------------------------------------------------------
    bool Start();
    bool Stop();
    // The object is being destroyed: as Stop(), and the bus connection is
    // closed, so that nothing of this plug-in is heard of again.
    void Retire();
    bool IsRetired() const;
    // Runs `body` on a detached worker thread that shares ownership of this
    // state, so that Stop() and destruction cannot pull it from under the
    // thread. False when the thread could not be created.
    bool StartWorkerThread(std::function<void(Impl&)> body);

    // --- message table and start-up checks --------------------------------
    static const std::vector<HandlerEntry>& EarlyHandlers();
    static const std::vector<StartupCheck>& StartupChecks();
    static const std::vector<HandlerEntry>& LateHandlers();
    void OnRecvMessageCenterStartMsg(TagIPCMessageItem& msg);
    void ReleaseKeyboardIfNxReVadiruMissing();
    void StartMessageCenterMonitor();
    void RequestNxReVadiruProcessId();

    // --- session messages ---------------------------------------------------
    void OnRecvNxRevadiruStartMsg(TagIPCMessageItem& msg);
    void OnRecvNxRevadiruPidMsg(TagIPCMessageItem& msg);
    void OnRecvMessageCenterTabTipMsg(TagIPCMessageItem& msg);
    void OnRecvNxRevadiruResolutionMsg(TagIPCMessageItem& msg);

    // --- process monitor thread ---------------------------------------------
    void StartMonitorThread(const std::wstring& processName);
    void ExitNxReVadiruProcess();
    void DeleteMessageCenterIcon();

    // --- recovery sequence --------------------------------------------------
    void ReleaseKeyboard();
    void StopBasicModeDragDrop();

    // --- DPI restore state --------------------------------------------------
    bool NeedRestoreDpi();
    void SetRestoreDpiFlag(bool flag);
    int32_t GetRestoreDpi();
    void SetRestoreDpi(int32_t value);
    void RestoreDpi();
    void OnRecvRestoreDpiMsg(TagIPCMessageItem& msg);

    // --- virtual display driver state ---------------------------------------
    bool NeedDisable();
    void ClearVdisplayInfo();

    // --- HID keyboard channel -----------------------------------------------
    // The report is fixed by the driver, not taken from the collection's capabilities.
    static constexpr DWORD kKeyboardReportLength = 93;
    // Writes the kKeyboardReportLength bytes at `report`.
    void WriteToHidDriver(const unsigned char* report);
    bool SetKeyboardDriverFile(HANDLE& device);
    bool CheckIfOurDevice(HANDLE device);

    // --- audio state --------------------------------------------------------
    void CancelAudioMute();
    void RestoreAudioPos();

    // --- collaboration center -----------------------------------------------
    void StartNxZarCenter();
    void RetailPCStartNxZarCenter();
    void StartMonitorZarCenterThread();
    void OnRecvNxZarCenterStartMsg(TagIPCMessageItem& msg);
    void DeleteZarCenterIcon();
    void PublishZarCenterExitMsg(BusConnection& busClient);
    void ReportZarCenterEvent(int32_t exitType, int32_t launchType);
    void OnRecvZarCenterQuitMsg(TagIPCMessageItem& msg);

    // --- processes ----------------------------------------------------------
    void ExecuteCmd();
    // The caller owns the returned handle; empty when not found or not opened.
    UniqueHandle GetProcessHandleByName(const std::wstring& processName, bool useKnownProcessId);
    bool WaitForProcessExit(const std::wstring& processName);

    // --- state, in declaration order ------------------------------------------
    BusConnection client;
    SrwMutex recoveryMutex;
    std::atomic<uint32_t> reVadiruProcessId{0};
    std::atomic<uint32_t> tabTipValue{0};
    std::atomic<uint32_t> originPrimaryWidth{0};
    std::atomic<uint32_t> originPrimaryHeight{0};
    std::atomic<uint32_t> originDpiScale{0};
    std::atomic<uint32_t> targetPrimaryWidth{0};
    std::atomic<uint32_t> targetPrimaryHeight{0};
    std::atomic<uint32_t> targetDpiScale{0};
    std::atomic<bool> stopRequested{false};
    std::atomic<uint32_t> messageCenterProcessId{0};
    std::atomic<bool> messageCenterMonitorActive{false};
    std::atomic<bool> zarCenterRunning{false};
    std::atomic<bool> zarCenterUserQuit{false};
    const int32_t maxDpiScale = 1000;
    // Created by Start(), closed by Stop(), signalled by the center's start
    // message and waited on by the launcher from other threads: the lock
    // keeps the handle from being closed while another thread uses it.
    class StartEvent {
    public:
        // Creates an unnamed auto-reset event unless one exists; a failed
        // creation leaves none.
        void CreateIfAbsent();
        void Close();
        bool HasHandle() const;
        void Signal() const;
        void Reset() const;
        // Without an event the wait fails at once (WAIT_FAILED, ERROR_INVALID_HANDLE).
        DWORD Wait(DWORD milliseconds) const;

    private:
        // A waiter keeps the handle it waits on alive after Close() clears it.
        std::shared_ptr<const UniqueHandle> Current() const;
        mutable SrwMutex mutex_;
        std::shared_ptr<const UniqueHandle> handle_;
    } zarCenterStartEvent;

private:
    void RegisterHandlers(const std::vector<HandlerEntry>& entries);

    // Held from Start() until Stop() has removed every handler.
    LibraryPin pin_;
};

// Posts a message built from the receiver id, the message id and a body that
// must stay alive until the call returns.
bool PostBusMessage(BusConnection& client, int32_t receiverId, int32_t msgId,
                    const std::string& body);

// One of the fixed messages the plug-in sends other modules when a watched
// program has ended.
struct BusNotice {
    int32_t receiverId;
    int32_t msgId;
    const char* body;
};

// Posts the notices in order; a failed post is not retried.
void PostBusNotices(BusConnection& client, std::span<const BusNotice> notices);
