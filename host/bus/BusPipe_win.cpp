#include "BusPipe_win.h"

#include <array>

namespace {

// Longest a write may wait for the other end to drain its pipe.
constexpr DWORD kWriteTimeoutMs = 2000;
constexpr DWORD kReadChunkBytes = 4096;

}  // namespace

UniqueHandle MakeBusEvent() {
    return UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

bool FinishOverlapped(HANDLE handle, OVERLAPPED& overlapped, HANDLE stop, DWORD timeoutMs,
                      DWORD& bytes, bool& stopped) {
    stopped = false;
    const std::array<HANDLE, 2> waits = {overlapped.hEvent, stop};
    const DWORD count = stop == nullptr ? 1 : 2;
    const DWORD woke = WaitForMultipleObjects(count, waits.data(), FALSE, timeoutMs);
    if (woke != WAIT_OBJECT_0) {
        stopped = woke == WAIT_OBJECT_0 + 1;
        CancelIoEx(handle, &overlapped);
        GetOverlappedResult(handle, &overlapped, &bytes, TRUE);
        return false;
    }
    return GetOverlappedResult(handle, &overlapped, &bytes, FALSE) != FALSE;
}

BusPipe::BusPipe(UniqueHandle pipe) : pipe_(std::move(pipe)) {}

BusPipe::ReadResult BusPipe::Read(std::string& out, HANDLE stop) {
    std::array<char, kReadChunkBytes> chunk;
    OVERLAPPED overlapped{};
    overlapped.hEvent = readDone_.get();
    DWORD bytes = 0;
    bool stopped = false;
    // Completed or pending alike, the result is collected through the event.
    const bool started =
        ReadFile(pipe_.get(), chunk.data(), kReadChunkBytes, nullptr, &overlapped) != FALSE ||
        GetLastError() == ERROR_IO_PENDING;
    const bool done =
        started && FinishOverlapped(pipe_.get(), overlapped, stop, INFINITE, bytes, stopped);
    if (stopped) {
        return ReadResult::Stopped;
    }
    if (!done || bytes == 0) {
        return ReadResult::Closed;
    }
    out.append(chunk.data(), bytes);
    return ReadResult::Data;
}

bool BusPipe::Write(const std::string& bytes) {
    std::lock_guard lock(writeMutex_);
    size_t written = 0;
    while (written < bytes.size()) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = writeDone_.get();
        DWORD count = 0;
        bool stopped = false;
        const bool started =
            WriteFile(pipe_.get(), bytes.data() + written,
                      static_cast<DWORD>(bytes.size() - written), nullptr, &overlapped) != FALSE ||
            GetLastError() == ERROR_IO_PENDING;
        if (!started ||
            !FinishOverlapped(pipe_.get(), overlapped, nullptr, kWriteTimeoutMs, count, stopped) ||
            count == 0) {
            return false;
        }
        written += count;
    }
    return true;
}
