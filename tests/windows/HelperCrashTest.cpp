// The helper crashes during a session, on real Win32 under Wine: a real
// process announced with its real id is killed; the named quit event reaches a
// real waiter and the recovery's registry effects are there afterwards.
#include "ModulePaths.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "process/ActiveConsoleUser.h"
#include "process/UniqueHandle.h"
#include "support/LogCapture.h"
#include "support/Polling.h"
#include "support/ScratchKey.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

TEST(HelperCrashTest, KilledHelperIsToldToQuitAndThePcIsRecovered) {
    const std::wstring sid = GetActiveUserSid();
    ASSERT_FALSE(sid.empty());
    ScratchKey maker(HKEY_USERS, sid + L"\\SOFTWARE\\Norvane");
    ScratchKey product(HKEY_USERS, sid + L"\\SOFTWARE\\Norvane\\DeskSuite");
    ScratchKey setting(HKEY_USERS, sid + L"\\SOFTWARE\\Norvane\\DeskSuite\\setting");
    setting.Create();
    setting.Set(L"nxExcreenRunning", 1);
    const LogCapture log;

    // A real process plays the helper; the monitor watches it by the id it announced.
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION helper{};
    std::wstring command = L"\"" + ExecutableDirectory() + L"\\sleeper.exe\" 60000";
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &helper));
    const UniqueHandle helperProcess(helper.hProcess);
    const UniqueHandle helperThread(helper.hThread);
    const UniqueHandle quitSignal(CreateEventW(nullptr, FALSE, FALSE, L"NxReVadiru.exe"));
    ASSERT_TRUE(quitSignal);

    auto impl = std::make_shared<NxReVadiruService::Impl>();
    const std::string announcement = "1 " + std::to_string(helper.dwProcessId);
    TagIPCMessageItem item;
    item.message = announcement.c_str();
    item.messageLen = static_cast<int32_t>(announcement.size());
    impl->OnRecvNxRevadiruStartMsg(item);
    const std::string body = "(NxReVadiruService::Impl::StartMonitorThread::MonitorBody)";
    ASSERT_TRUE(PollUntil(
        [&] { return log.Contains("3 [VuVidazi] enter monitor thread NxReVadiru.exe" + body); }));
    // Time for the monitor to open the helper before it dies.
    Sleep(300);

    ASSERT_TRUE(TerminateProcess(helper.hProcess, 3));
    EXPECT_EQ(WaitForSingleObject(quitSignal.get(), 10000), WAIT_OBJECT_0);
    ASSERT_TRUE(PollUntil(
        [&] { return log.Contains("3 [VuVidazi] exit monitor thread NxReVadiru.exe" + body); }));
    EXPECT_TRUE(log.Contains("3 ReleaseKeyBoard(NxReVadiruService::Impl::ReleaseKeyboard)"));
    EXPECT_EQ(setting.Get(L"nxExcreenRunning"), std::optional<DWORD>(0));
    impl->Stop();
}

}  // namespace
