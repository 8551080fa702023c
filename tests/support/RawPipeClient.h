// A bare client of a bus pipe that writes whatever bytes a test gives it, as a
// faulty or hostile module would, and sees when the broker hangs up on it.
#pragma once

#include "wait/PollUntil.h"
#include "win32/UniqueAny.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>

class RawPipeClient {
public:
    explicit RawPipeClient(const std::wstring& pipe) {
        // The broker opens its next instance only after it took the last
        // connection, so every instance may be busy for a moment.
        constexpr int kAttempts = 50;
        constexpr DWORD kBusyWaitMs = 100;
        for (int attempt = 0; attempt < kAttempts && !pipe_; ++attempt) {
            pipe_.reset(CreateFileW(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
            if (!pipe_ && !WaitNamedPipeW(pipe.c_str(), kBusyWaitMs)) {
                Sleep(kBusyWaitMs);
            }
        }
    }

    bool IsConnected() const { return static_cast<bool>(pipe_); }

    // Writes `bytes` in pieces; false as soon as the broker no longer takes them.
    bool Write(const std::string& bytes) const {
        constexpr size_t kPieceBytes = 16 * 1024;
        for (size_t at = 0; at < bytes.size(); at += kPieceBytes) {
            const DWORD count = static_cast<DWORD>(std::min(kPieceBytes, bytes.size() - at));
            DWORD written = 0;
            if (!WriteFile(pipe_.get(), bytes.data() + at, count, &written, nullptr) ||
                written != count) {
                return false;
            }
        }
        return true;
    }

    // Waits (up to five seconds) until the broker has hung up.
    bool WaitUntilDropped() const {
        return PollUntil(
            [&] {
                DWORD available = 0;
                return !PeekNamedPipe(pipe_.get(), nullptr, 0, nullptr, &available, nullptr);
            },
            std::chrono::seconds(5));
    }

    void Close() { pipe_.reset(); }

private:
    UniqueHandle pipe_;
};
