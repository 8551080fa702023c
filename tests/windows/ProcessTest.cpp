// Processes on real Win32: finding and waiting for a child, the user-session
// launchers and the helper's disable command, with the stand-in programs
// beside this test (recordargs.exe, sleeper.exe, NxReVadiru.exe).
//
// Under Wine the console session is 1 and WTSQueryUserToken gives the token of
// the prefix's user (this test's own), so both user-session launchers really
// start their program; its command line and working directory are read back
// from what recordargs.exe writes beside itself (a user's environment block
// does not carry this test's variables).
#include "NxLogger.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "process/StartProcess.h"
#include "process/UniqueHandle.h"
#include "process/UserProcessLauncher.h"
#include "support/TextLines.h"

#include "HostFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

namespace fs = std::filesystem;

fs::path OwnDirectory() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(std::wstring(path, length < MAX_PATH ? length : 0)).parent_path();
}

// The path in double quotes, as a command line carries a path with spaces.
std::wstring Quoted(const fs::path& path) {
    return std::wstring(L"\"").append(path.wstring()).append(L"\"");
}

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousSink_ = NxLogger::GetInstance().SetSink(
            [this](LOG_MESSAGE_LEVEL level, const std::wstring&, const std::wstring& text) {
                std::lock_guard lock(mutex_);
                lines_.push_back(std::to_string(static_cast<int>(level)) + " " + ToUtf8(text));
            });
    }
    void TearDown() override { NxLogger::GetInstance().SetSink(previousSink_); }

    std::vector<std::string> LogLines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }

    std::shared_ptr<NxReVadiruService::Impl> impl = std::make_shared<NxReVadiruService::Impl>();

private:
    NxLogger::Sink previousSink_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

TEST_F(ProcessTest, ChildIsFoundByNameInOtherLetterCaseAndWaitedFor) {
    std::wstring commandLine = Quoted(OwnDirectory() / L"sleeper.exe") + L" 1500";
    STARTUPINFOW startupInfo{};
    startupInfo.cb = sizeof(startupInfo);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                               CREATE_NO_WINDOW, nullptr, nullptr, &startupInfo, &info));
    const UniqueHandle child(info.hProcess);
    const UniqueHandle childThread(info.hThread);

    const UniqueHandle found = impl->GetProcessHandleByName(L"SLEEPER.EXE", false);
    ASSERT_TRUE(found);
    EXPECT_EQ(GetProcessId(found.get()), info.dwProcessId);

    EXPECT_TRUE(impl->WaitForProcessExit(L"Sleeper.Exe"));
    EXPECT_EQ(WaitForSingleObject(child.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(LogLines(), Lines{"3 [VuVidazi] wait Sleeper.Exe exit, waitCode=0"
                                "(NxReVadiruService::Impl::WaitForProcessExit)"});
}

TEST_F(ProcessTest, StartProcessLeavesTheFailuresErrorPastItsLogLine) {
    NxLogger::GetInstance().SetSink({});  // the log file: writing to it may set the last error
    EXPECT_FALSE(
        NXPROCESS::StartProcess((OwnDirectory() / L"nx-missing.exe").wstring(), L"x", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Runs the body with the working directory and one environment variable set,
// and puts both back.
class ScopedProcessState {
public:
    ScopedProcessState(const fs::path& directory, const wchar_t* name, const std::wstring& value)
        : previous_(fs::current_path()), name_(name) {
        fs::current_path(directory);
        SetEnvironmentVariableW(name_, value.c_str());
    }
    ~ScopedProcessState() {
        SetEnvironmentVariableW(name_, nullptr);
        std::error_code ignored;
        fs::current_path(previous_, ignored);
    }
    ScopedProcessState(const ScopedProcessState&) = delete;
    ScopedProcessState& operator=(const ScopedProcessState&) = delete;

private:
    fs::path previous_;
    const wchar_t* name_;
};

TEST_F(ProcessTest, ExecuteCmdReturnsOnlyOnceTheDisableCommandHasEnded) {
    const fs::path record = fs::temp_directory_path() / L"nx-disable-record.txt";
    fs::remove(record);
    // The command interpreter finds the stand-in helper in its working directory.
    const ScopedProcessState state(OwnDirectory(), L"NX_NXREVADIRU_LOG", record.wstring());

    const ULONGLONG started = GetTickCount64();
    impl->ExecuteCmd();
    const ULONGLONG took = GetTickCount64() - started;
    // The stand-in pauses 500 ms; the tick count may be coarser than that allows.
    constexpr ULONGLONG kDisableTakesAtLeast = 400;

    // The stand-in records its start after it has taken its time.
    EXPECT_EQ(SplitLines(ReadFile(record)),
              (Lines{"NxReVadiru.exe disable", ToUtf8(OwnDirectory().wstring())}));
    EXPECT_GE(took, kDisableTakesAtLeast);
    EXPECT_EQ(LogLines(), Lines{});
    fs::remove(record);
}

}  // namespace
