#include "BusBroker.h"

#include "BusFrame.h"
#include "BusPipe_win.h"
#include "NxLogger.h"
#include "win32/LocalMemory.h"

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kPipeBufferBytes = 64 * 1024;
// Pause before trying again to create a pipe instance that failed.
constexpr DWORD kRetryIntervalMs = 200;
// The service runs as SYSTEM and the modules in users' sessions: SYSTEM and
// administrators get full access, signed-in users read and write but may not
// create instances of their own (no FILE_CREATE_PIPE_INSTANCE).
constexpr const wchar_t* kPipeSecurity = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x12019b;;;AU)";

void Log(LOG_MESSAGE_LEVEL level, const std::string& text) {
    static const Logger logger(L"BusBroker");
    logger.Log(level, std::wstring(text.begin(), text.end()));
}

// One connected module. The fields under "guarded" are read by every thread
// that routes, so they change only under the core's mutex.
struct Session {
    explicit Session(UniqueHandle handle) : pipe(std::move(handle)) {}

    BusPipe pipe;
    const UniqueHandle stop = MakeBusEvent();
    std::thread thread;
    std::atomic<bool> finished{false};
    // guarded
    bool introduced = false;
    int32_t moduleId = -1;
    bool receiveOwnPublications = false;
};

}  // namespace

struct BusBroker::Core : std::enable_shared_from_this<Core> {
    explicit Core(std::wstring name) : pipeName(std::move(name)) {}

    const std::wstring pipeName;
    const UniqueHandle stop = MakeBusEvent();
    std::thread acceptor;
    std::mutex mutex;
    std::vector<std::shared_ptr<Session>> sessions;

    UniqueHandle CreateInstance(bool first) const {
        LocalPtr<void> descriptor;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kPipeSecurity, SDDL_REVISION_1,
                                                                  descriptor.put(), nullptr)) {
            return UniqueHandle();
        }
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
        const DWORD openMode =
            PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
        return UniqueHandle(CreateNamedPipeW(
            pipeName.c_str(), openMode,
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
            PIPE_UNLIMITED_INSTANCES, kPipeBufferBytes, kPipeBufferBytes, 0, &attributes));
    }

    // Waits for a module on `instance`, hands it to a session thread, and
    // goes on with a fresh instance until the broker stops.
    static void Accept(const std::shared_ptr<Core>& core, UniqueHandle instance) {
        const UniqueHandle connected = MakeBusEvent();
        for (;;) {
            OVERLAPPED overlapped{};
            overlapped.hEvent = connected.get();
            DWORD bytes = 0;
            bool stopped = false;
            bool ok = ConnectNamedPipe(instance.get(), &overlapped) != FALSE;
            const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
            if (error == ERROR_IO_PENDING) {
                ok = FinishOverlapped(instance.get(), overlapped, core->stop.get(), INFINITE, bytes,
                                      stopped);
            } else if (error == ERROR_PIPE_CONNECTED) {
                ok = true;
            }
            if (stopped) {
                return;
            }
            if (ok) {
                core->Begin(std::move(instance));
            }
            core->Reap();
            while (!(instance = core->CreateInstance(false))) {
                Log(LOG_LEVEL_ERROR,
                    "cannot create a pipe instance, error " + std::to_string(GetLastError()));
                if (WaitForSingleObject(core->stop.get(), kRetryIntervalMs) != WAIT_TIMEOUT) {
                    return;
                }
            }
        }
    }

    void Begin(UniqueHandle instance) {
        auto session = std::make_shared<Session>(std::move(instance));
        std::lock_guard lock(mutex);
        try {
            session->thread = std::thread(&Core::Serve, shared_from_this(), session);
        } catch (const std::system_error&) {
            Log(LOG_LEVEL_ERROR, "no thread for a new connection; dropped it");
            return;
        }
        sessions.push_back(std::move(session));
    }

    // Joins the threads of sessions that have ended.
    void Reap() {
        std::vector<std::shared_ptr<Session>> ended;
        {
            std::lock_guard lock(mutex);
            const auto split =
                std::stable_partition(sessions.begin(), sessions.end(),
                                      [](const auto& session) { return !session->finished; });
            ended.assign(split, sessions.end());
            sessions.erase(split, sessions.end());
        }
        for (const auto& session : ended) {
            session->thread.join();
        }
    }

    void Shutdown() {
        SetEvent(stop.get());
        if (acceptor.joinable()) {
            acceptor.join();
        }
        std::vector<std::shared_ptr<Session>> all;
        {
            std::lock_guard lock(mutex);
            all.swap(sessions);
        }
        for (const auto& session : all) {
            SetEvent(session->stop.get());
        }
        for (const auto& session : all) {
            session->thread.join();
        }
    }

    static void Serve(const std::shared_ptr<Core>& core, const std::shared_ptr<Session>& session) {
        BusFrameDecoder decoder;
        std::string bytes;
        std::string reason;
        while (reason.empty() &&
               session->pipe.Read(bytes, session->stop.get()) == BusPipe::ReadResult::Data) {
            decoder.Feed(bytes.data(), bytes.size());
            bytes.clear();
            BusFrame frame;
            BusFrameDecoder::Status status = BusFrameDecoder::Status::NeedMore;
            while (reason.empty() &&
                   (status = decoder.Next(frame)) == BusFrameDecoder::Status::Ready) {
                reason = core->Handle(*session, std::move(frame));
            }
            if (status == BusFrameDecoder::Status::Malformed) {
                reason = decoder.Error();
            }
        }
        std::string module;
        {
            std::lock_guard lock(core->mutex);
            module =
                session->introduced ? "module " + FormatBusId(session->moduleId) : "a connection";
            session->introduced = false;
        }
        DisconnectNamedPipe(session->pipe.get());
        if (reason.empty()) {
            Log(LOG_LEVEL_INFO, module + " disconnected");
        } else {
            Log(LOG_LEVEL_ERROR, "dropped " + module + ": " + reason);
        }
        session->finished = true;
    }

    // Acts on one frame from `from`; the reason to drop it, or empty.
    std::string Handle(Session& from, BusFrame frame) {
        std::unique_lock lock(mutex);
        if (frame.kind == BusFrameKind::Hello) {
            if (from.introduced) {
                return "second hello";
            }
            // An id is one module's while it is connected: nobody else may
            // take its messages over.
            const int32_t claimed = frame.message.senderId;
            if (std::any_of(sessions.begin(), sessions.end(), [&](const auto& session) {
                    return session->introduced && session->moduleId == claimed;
                })) {
                return "module " + FormatBusId(claimed) + " is already connected";
            }
            from.introduced = true;
            from.moduleId = frame.message.senderId;
            from.receiveOwnPublications = frame.receiveOwnPublications;
            lock.unlock();
            Log(LOG_LEVEL_INFO, "module " + FormatBusId(frame.message.senderId) + " connected");
            return {};
        }
        if (frame.kind == BusFrameKind::Deliver) {
            return "deliver frame from a module";
        }
        if (!from.introduced) {
            return "message before hello";
        }
        const bool published = frame.kind == BusFrameKind::Publish;
        BusMessage& message = frame.message;
        message.senderId = from.moduleId;
        message.senderName = FormatBusId(from.moduleId);
        std::vector<std::shared_ptr<Session>> targets;
        for (const auto& session : sessions) {
            const bool addressed = published ? session.get() != &from || from.receiveOwnPublications
                                             : session->moduleId == message.receiverId;
            if (session->introduced && addressed) {
                targets.push_back(session);
            }
        }
        lock.unlock();
        const std::string bytes = EncodeBusFrame({BusFrameKind::Deliver, false, message});
        for (const auto& target : targets) {
            if (!target->pipe.Write(bytes)) {
                // A module that does not take its messages is cut off rather
                // than left to stall everyone who writes to it.
                SetEvent(target->stop.get());
            }
        }
        return {};
    }
};

BusBroker::BusBroker(std::wstring pipeName) : pipeName_(std::move(pipeName)) {}

BusBroker::~BusBroker() {
    Stop();
}

bool BusBroker::Start() {
    if (core_) {
        return true;
    }
    // FILE_FLAG_FIRST_PIPE_INSTANCE keeps a second server off the name on
    // Windows, but Wine ignores it; a server that already listens is seen here.
    if (WaitNamedPipeW(pipeName_.c_str(), 1) || GetLastError() != ERROR_FILE_NOT_FOUND) {
        Log(LOG_LEVEL_ERROR, "another server owns the pipe");
        return false;
    }
    auto core = std::make_shared<Core>(pipeName_);
    UniqueHandle first = core->CreateInstance(true);
    if (!first) {
        Log(LOG_LEVEL_ERROR, "cannot create the pipe, error " + std::to_string(GetLastError()));
        return false;
    }
    try {
        core->acceptor = std::thread(&Core::Accept, core, std::move(first));
    } catch (const std::system_error&) {
        Log(LOG_LEVEL_ERROR, "no thread to accept connections");
        return false;
    }
    core_ = std::move(core);
    return true;
}

void BusBroker::Stop() {
    if (core_) {
        core_->Shutdown();
        core_.reset();
    }
}
