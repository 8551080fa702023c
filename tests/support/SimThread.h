// A worker thread on the simulated machine, started with CreateThread (so the
// machine counts it) and joined and closed when the object goes away.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <utility>

namespace simtest {

class SimThread {
public:
    explicit SimThread(std::function<void()> body)
        : body_(std::make_unique<std::function<void()>>(std::move(body))),
          handle_(CreateThread(nullptr, 0, &Run, body_.get(), 0, nullptr)) {}
    ~SimThread() { Join(); }
    SimThread(const SimThread&) = delete;
    SimThread& operator=(const SimThread&) = delete;

    HANDLE handle() const { return handle_; }
    // Waits, without a time limit, until the body has returned.
    void Join() {
        if (handle_ != nullptr) {
            WaitForSingleObject(handle_, INFINITE);
            CloseHandle(handle_);
            handle_ = nullptr;
        }
    }

private:
    static DWORD WINAPI Run(LPVOID body) {
        (*static_cast<std::function<void()>*>(body))();
        return 0;
    }

    std::unique_ptr<std::function<void()>> body_;
    HANDLE handle_;
};

}  // namespace simtest
