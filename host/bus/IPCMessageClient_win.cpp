// On Windows the client talks to the broker over the named pipe. A thread of
// its own reads deliveries and runs the callbacks; when the broker goes away
// it keeps trying to connect again, so a restarted broker gets its modules
// back without the plug-in noticing more than failed posts in between. It
// talks only to a server whose pipe the host made (PipeOwner_win.h), and lets
// that server identify it but never act as it.
//
// The client never waits for that thread: a plug-in may be destroyed inside
// its library's detach notification, under the loader lock, where no thread
// can finish exiting. The thread holds what it uses and this library, and
// leaves both on its own as soon as it sees the stop.
#include "BusFrame.h"
#include "BusPipe_win.h"
#include "BusTransport.h"
#include "NxLogger.h"
#include "PipeOwner_win.h"

#include "win32/SrwLock.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

namespace {

// Pause between attempts to reach a broker that is not there.
constexpr DWORD kReconnectIntervalMs = 200;

// What the transport and its thread share; the thread keeps it alive.
class PipeLink {
public:
    PipeLink(int32_t moduleId, bool receiveOwnPublications, std::wstring pipeName,
             std::shared_ptr<BusCallbackTable> callbacks)
        : moduleId_(moduleId),
          receiveOwnPublications_(receiveOwnPublications),
          pipeName_(std::move(pipeName)),
          callbacks_(std::move(callbacks)) {}

    // Makes one attempt to connect at once, then starts the thread that
    // receives and reconnects. Only the first call does anything; without a
    // thread nothing is received, but posts still work.
    static void Start(const std::shared_ptr<PipeLink>& link) {
        std::lock_guard lock(link->startMutex_);
        if (!std::exchange(link->started_, true)) {
            link->Connect();
            StartReceiver(link);
        }
    }

    // Tells the thread to end and closes the connection with it; returns at once.
    void Stop() { SetEvent(stop_.get()); }

    bool Send(bool publish, const BusMessage& message) {
        const std::string bytes =
            EncodeBusFrame({publish ? BusFrameKind::Publish : BusFrameKind::Post, false, message});
        const std::shared_ptr<BusPipe> pipe = Current();
        return pipe && !bytes.empty() && pipe->Write(bytes);
    }

private:
    std::shared_ptr<BusPipe> Current() {
        std::lock_guard lock(mutex_);
        return pipe_;
    }

    // Whoever answers learns who we are but cannot act as us (identification
    // only), and hears nothing from us unless its pipe is the host's own.
    std::shared_ptr<BusPipe> Connect() {
        UniqueHandle handle(CreateFileW(
            pipeName_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (!handle) {
            return nullptr;
        }
        const PipeOwner owner = GetPipeOwner(handle.get());
        if (!owner.trusted) {
            // Once until a trusted server answers again: attempts come every 200 ms.
            if (!refused_.exchange(true)) {
                Logger(L"IPCMessageClient")
                    .Log(LOG_LEVEL_ERROR, L"refused the bus server: its pipe belongs to " +
                                              (owner.sid.empty() ? L"nobody" : owner.sid));
            }
            return nullptr;
        }
        refused_ = false;
        auto pipe = std::make_shared<BusPipe>(std::move(handle));
        BusFrame hello{BusFrameKind::Hello, receiveOwnPublications_, {}};
        hello.message.senderId = moduleId_;
        if (!pipe->Write(EncodeBusFrame(hello))) {
            return nullptr;
        }
        std::lock_guard lock(mutex_);
        pipe_ = pipe;
        return pipe;
    }

    struct ReceiverStart {
        std::shared_ptr<PipeLink> link;
        HMODULE library = nullptr;
    };

    static void StartReceiver(const std::shared_ptr<PipeLink>& link) {
        auto start = std::make_unique<ReceiverStart>(ReceiverStart{link, nullptr});
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                reinterpret_cast<LPCWSTR>(&ReceiverThread), &start->library)) {
            return;
        }
        const UniqueHandle thread(
            CreateThread(nullptr, 0, ReceiverThread, start.get(), 0, nullptr));
        if (!thread) {
            FreeLibrary(start->library);
            return;
        }
        start.release();  // the thread's now
    }

    static DWORD WINAPI ReceiverThread(LPVOID parameter) {
        HMODULE library = nullptr;
        {
            const std::unique_ptr<ReceiverStart> start(static_cast<ReceiverStart*>(parameter));
            library = start->library;
            Run(start->link);
        }
        // Leaves this library's code and releases it in one step.
        FreeLibraryAndExitThread(library, 0);
    }

    static void Run(const std::shared_ptr<PipeLink>& self) {
        while (WaitForSingleObject(self->stop_.get(), 0) != WAIT_OBJECT_0) {
            std::shared_ptr<BusPipe> pipe = self->Current();
            if (!pipe) {
                pipe = self->Connect();
            }
            if (pipe) {
                self->Receive(*pipe);
                std::lock_guard lock(self->mutex_);
                self->pipe_.reset();
            }
            // Also after a connection ended: a broker that drops us at once
            // (our id is taken) is not hammered.
            WaitForSingleObject(self->stop_.get(), kReconnectIntervalMs);
        }
    }

    // Delivers until the broker goes away, sends something malformed, or the
    // client stops.
    void Receive(BusPipe& pipe) {
        BusFrameDecoder decoder;
        std::string bytes;
        while (pipe.Read(bytes, stop_.get()) == BusPipe::ReadResult::Data) {
            decoder.Feed(bytes.data(), bytes.size());
            bytes.clear();
            BusFrame frame;
            BusFrameDecoder::Status status = BusFrameDecoder::Status::NeedMore;
            while ((status = decoder.Next(frame)) == BusFrameDecoder::Status::Ready) {
                if (frame.kind == BusFrameKind::Deliver) {
                    TagIPCMessageItem item = ViewBusMessage(frame.message);
                    callbacks_->Dispatch(item);
                }
            }
            if (status == BusFrameDecoder::Status::Malformed) {
                return;
            }
        }
    }

    const int32_t moduleId_;
    const bool receiveOwnPublications_;
    const std::wstring pipeName_;
    const std::shared_ptr<BusCallbackTable> callbacks_;
    const UniqueHandle stop_ = MakeBusEvent();
    SrwMutex startMutex_;
    bool started_ = false;
    std::atomic<bool> refused_{false};
    SrwMutex mutex_;
    std::shared_ptr<BusPipe> pipe_;  // the connection, while there is one
};

class PipeTransport final : public IPCMessageClient::Transport {
public:
    PipeTransport(std::shared_ptr<PipeLink> link, bool lazyConnect) : link_(std::move(link)) {
        if (!lazyConnect) {
            PipeLink::Start(link_);
        }
    }
    ~PipeTransport() override { link_->Stop(); }
    PipeTransport(const PipeTransport&) = delete;
    PipeTransport& operator=(const PipeTransport&) = delete;

    bool Send(bool publish, const BusMessage& message) override {
        PipeLink::Start(link_);
        return link_->Send(publish, message);
    }

private:
    const std::shared_ptr<PipeLink> link_;
};

}  // namespace

std::shared_ptr<IPCMessageClient::Transport> IPCMessageClient::Transport::Create(
    int32_t moduleId, bool lazyConnect, bool receiveOwnPublications, const std::wstring& pipeName,
    std::shared_ptr<BusCallbackTable> callbacks) {
    return std::make_shared<PipeTransport>(
        std::make_shared<PipeLink>(moduleId, receiveOwnPublications, pipeName,
                                   std::move(callbacks)),
        lazyConnect);
}
