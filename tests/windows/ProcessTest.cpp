// Processes on real Win32: a failed start's last error, the helper's disable
// command through the real command interpreter and the stand-in NxReVadiru.exe
// beside this test, and the host's append-only files shared by writers at once.
#include "NxLogger.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "process/UserProcessLauncher.h"
#include "support/LogCapture.h"
#include "support/TestFiles.h"

#include "HostFiles.h"
#include "ModulePaths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

namespace fs = std::filesystem;

class ProcessTest : public ::testing::Test {
protected:
    const LogCapture log;
    std::shared_ptr<NxReVadiruService::Impl> impl = std::make_shared<NxReVadiruService::Impl>();
};

TEST_F(ProcessTest, StartProcessLeavesTheFailuresErrorPastItsLogLine) {
    NxLogger::GetInstance().SetSink({});  // the log file: writing to it may set the last error
    EXPECT_FALSE(NXPROCESS::StartProcess(
        (fs::path(ExecutableDirectory()) / L"nx-missing.exe").wstring(), L"x", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(ProcessTest, ExecuteCmdReturnsOnlyOnceTheDisableCommandHasEnded) {
    const ScratchFile record(L"nx-disable-record.txt");
    const ScopedVariable recordVariable(L"NX_NXREVADIRU_LOG", record.Path());
    // The command interpreter finds the stand-in helper in its working directory.
    const fs::path previousDirectory = fs::current_path();
    fs::current_path(ExecutableDirectory());

    const ULONGLONG started = GetTickCount64();
    impl->ExecuteCmd();
    const ULONGLONG took = GetTickCount64() - started;
    fs::current_path(previousDirectory);
    // The stand-in pauses 500 ms; the tick count may be coarser than that allows.
    constexpr ULONGLONG kDisableTakesAtLeast = 400;

    // The stand-in records its start after it has taken its time.
    EXPECT_EQ(SplitLines(ReadFileText(record.Path())),
              (Lines{"NxReVadiru.exe disable", ToUtf8(ExecutableDirectory())}));
    EXPECT_GE(took, kDisableTakesAtLeast);
    EXPECT_EQ(log.Lines(), Lines{});
}

// The plug-in and the broker log to one file through handles of their own.
TEST(HostFilesTest, AppendsThroughTwoHandlesAtOnceKeepEveryLineWhole) {
    const ScratchFile file(L"nx-append-together.log");
    const std::string line(80, 'x');
    constexpr std::ptrdiff_t kLinesEach = 2000;
    const auto appendAll = [&] {
        const AppendOnlyFile out(file.Path().wstring(), AppendSharing::ThisProcess);
        for (std::ptrdiff_t i = 0; i < kLinesEach; ++i) {
            out.AppendLine(line);
        }
    };
    std::thread other(appendAll);
    appendAll();
    other.join();
    const Lines lines = SplitLines(ReadFileText(file.Path()));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 2 * kLinesEach);
}

}  // namespace
