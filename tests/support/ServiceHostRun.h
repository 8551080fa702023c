// A program of the build, by default the service host VLAMainService.exe, as a
// child of a Windows test: its input a pipe held by the test, its transcript a
// file.
#pragma once

#include "ModulePaths.h"
#include "win32/UniqueAny.h"
#include "support/ChildProcess.h"

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

class ServiceHostRun {
public:
    ServiceHostRun(const std::wstring& arguments, const std::filesystem::path& transcript,
                   const std::wstring& program = L"VLAMainService.exe") {
        // Its input's end inheritable, the test's end not, so that it sees the
        // end of its input when the test closes that end.
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE read = nullptr;
        HANDLE write = nullptr;
        if (!CreatePipe(&read, &write, &inheritable, 0)) {
            return;
        }
        const UniqueHandle childInput(read);
        input_.reset(write);
        if (!SetHandleInformation(input_.get(), HANDLE_FLAG_INHERIT, 0)) {
            return;
        }
        const UniqueHandle output(CreateFileW(transcript.c_str(), GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (output) {
            process_ = StartWithStdHandles(
                L"\"" + ExecutableDirectory() + L"\\" + program + L"\" " + arguments,
                childInput.get(), output.get());
        }
    }
    ~ServiceHostRun() { Finish(); }
    ServiceHostRun(const ServiceHostRun&) = delete;
    ServiceHostRun& operator=(const ServiceHostRun&) = delete;

    bool IsStarted() const { return static_cast<bool>(process_); }

    // Closing its input asks it to stop.
    void RequestStop() { input_.reset(); }

    // Stops it and gives its exit code; it is terminated, and gives nothing,
    // when it does not end in time. Real time under Wine: the plug-in's
    // threads may hold its library for seconds after the stop.
    std::optional<DWORD> Finish(DWORD stopTimeoutMs = 60000) {
        RequestStop();
        std::optional<DWORD> exitCode;
        DWORD code = 0;
        if (process_ && WaitForSingleObject(process_.get(), stopTimeoutMs) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(process_.get(), &code)) {
            exitCode = code;
        } else if (process_) {
            TerminateProcess(process_.get(), 1);
            WaitForSingleObject(process_.get(), INFINITE);
        }
        process_.reset();
        return exitCode;
    }

private:
    UniqueHandle input_;
    UniqueHandle process_;
};
