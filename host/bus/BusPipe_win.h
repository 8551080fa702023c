// Overlapped I/O on one end of a bus pipe, shared by the client and the
// broker: one thread reads, any thread writes, and both can be interrupted.
#pragma once

#include "win32/SrwLock.h"
#include "win32/UniqueAny.h"

#include <windows.h>

#include <mutex>
#include <string>

// A manual-reset event, unnamed; used to stop a thread's waits.
UniqueHandle MakeBusEvent();

class BusPipe {
public:
    enum class ReadResult { Data, Closed, Stopped };

    // `pipe` must have been opened or created with FILE_FLAG_OVERLAPPED.
    explicit BusPipe(UniqueHandle pipe);

    // Waits until bytes arrive (appended to `out`), the other end goes away,
    // or `stop` is signalled. One reader at a time.
    ReadResult Read(std::string& out, HANDLE stop);
    // Writes all of `bytes`; false when the pipe failed or the other end did
    // not take them within a bounded time (a stuck peer must not hang us).
    bool Write(const std::string& bytes);

    HANDLE get() const { return pipe_.get(); }

private:
    UniqueHandle pipe_;
    UniqueHandle readDone_ = MakeBusEvent();
    UniqueHandle writeDone_ = MakeBusEvent();
    SrwMutex writeMutex_;
};

// Waits for an overlapped operation on `handle` or for `stop`; on stop it
// cancels the operation and waits for the cancellation, so that `overlapped`
// is no longer in use when it returns. True with the byte count when the
// operation completed successfully.
bool FinishOverlapped(HANDLE handle, OVERLAPPED& overlapped, HANDLE stop, DWORD timeoutMs,
                      DWORD& bytes, bool& stopped);
