#include "NxReVadiruServiceImpl.h"
#include "Log.h"
#include "ProcessExit.h"
#include "WorkerThread.h"

#include <exception>
#include <utility>

namespace {

constexpr int32_t kModuleId = 0x6F0000;
const wchar_t kBusPipeName[] = L"\\\\.\\Pipe\\iVellumAssistant";
constexpr wchar_t kHandlerEdge[] = L"NxReVadiruService::Impl::RegisterHandlers";

}  // namespace

NxReVadiruService::Impl::Impl() : client(kModuleId, false, false, kBusPipeName) {}

NxReVadiruService::Impl::~Impl() {
    // A handler still running on the bus thread must finish before the state
    // it works on goes away.
    client.Close();
}

bool NxReVadiruService::Impl::Start() {
    pin_.Take();
    RegisterHandlers(EarlyHandlers());
    for (const StartupCheck check : StartupChecks()) {
        (this->*check)();
    }
    RegisterHandlers(LateHandlers());
    zarCenterStartEvent.CreateIfAbsent();
    return true;
}

bool NxReVadiruService::Impl::Stop() {
    stopRequested = true;
    // The bus thread may have died inside a handler, and another thread
    // holding a lock: waiting for either would hold the process's exit.
    if (ProcessIsExiting()) {
        return false;
    }
    client.UnRegisterMessageCallbackAll();
    zarCenterStartEvent.Close();
    // No handler runs any more, so the library may go.
    pin_.Release();
    return false;
}

void NxReVadiruService::Impl::Retire() {
    Stop();
    client.Close();
}

bool NxReVadiruService::Impl::IsRetired() const {
    return client.IsClosed();
}

bool NxReVadiruService::Impl::StartWorkerThread(std::function<void(Impl&)> body) {
    const std::shared_ptr<Impl> self = weak_from_this().lock();
    if (!self) {
        return false;
    }
    return StartDetachedThread([self, body = std::move(body)] { body(*self); });
}

void NxReVadiruService::Impl::RegisterHandlers(const std::vector<HandlerEntry>& entries) {
    for (const HandlerEntry& entry : entries) {
        client.RegisterMessageCallback(
            entry.msgId, [this, handler = entry.handler](TagIPCMessageItem& msg) {
                // The bus thread belongs to the host: nothing thrown here may reach it.
                try {
                    (this->*handler)(msg);
                } catch (const std::exception& error) {
                    LogError(kHandlerEdge, "unhandled exception in handler of message ", msg.msgId,
                             ": ", error.what());
                } catch (...) {
                    LogError(kHandlerEdge, "unhandled exception in handler of message ", msg.msgId);
                }
            });
    }
}

void NxReVadiruService::Impl::StartEvent::CreateIfAbsent() {
    std::lock_guard<SrwMutex> lock(mutex_);
    if (handle_) {
        return;
    }
    // Owned from the start: the shared owner's allocation may throw.
    UniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (event) {
        handle_ = std::make_shared<const UniqueHandle>(std::move(event));
    }
}

void NxReVadiruService::Impl::StartEvent::Close() {
    std::lock_guard<SrwMutex> lock(mutex_);
    handle_.reset();
}

bool NxReVadiruService::Impl::StartEvent::HasHandle() const {
    return Current() != nullptr;
}

std::shared_ptr<const UniqueHandle> NxReVadiruService::Impl::StartEvent::Current() const {
    std::lock_guard<SrwMutex> lock(mutex_);
    return handle_;
}

void NxReVadiruService::Impl::StartEvent::Signal() const {
    if (const auto event = Current()) {
        SetEvent(event->get());
    }
}

void NxReVadiruService::Impl::StartEvent::Reset() const {
    if (const auto event = Current()) {
        ResetEvent(event->get());
    }
}

DWORD NxReVadiruService::Impl::StartEvent::Wait(DWORD milliseconds) const {
    const auto event = Current();
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return WaitForSingleObject(event->get(), milliseconds);
}
