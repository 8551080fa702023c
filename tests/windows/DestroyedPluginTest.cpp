// A plug-in destroyed without Stop() on real Win32: the message center it
// watched ends afterwards, and nothing of the plug-in acts on it.
#include "BusBroker.h"
#include "ModulePaths.h"
#include "plugin/PluginTable.h"
#include "process/UniqueHandle.h"
#include "support/BusObserver.h"
#include "support/LogCapture.h"
#include "support/Polling.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

// The plug-in's client connects only to the host's fixed pipe; the Wine prefix
// is private to the build, so nothing else owns it.
constexpr wchar_t kBusPipe[] = L"\\\\.\\Pipe\\iVellumAssistant";
constexpr char kMonitorBody[] = "(NxReVadiruService::Impl::StartMonitorThread::MonitorBody)";

TEST(DestroyedPluginTest, MessageCenterEndingAfterwardsIsNeitherAnnouncedNorCleanedUpAfter) {
    BusBroker broker(kBusPipe);
    ASSERT_TRUE(broker.Start());
    const LogCapture log;
    // The tray helper runs with the user's environment, so it records beside itself.
    const fs::path trayRecord = fs::path(ExecutableDirectory()) / L"NxTrayWndHelper.txt";
    fs::remove(trayRecord);
    const BusObserver mainframe(0x20000, {0x22711}, kBusPipe);
    ASSERT_TRUE(WaitUntilOnBus(mainframe.Client(), 0x20000));
    std::wstring commandLine = L"\"" + ExecutableDirectory() + L"\\VLAMessageCenter.exe\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &started));
    const UniqueHandle messageCenter(started.hProcess);
    const UniqueHandle messageCenterThread(started.hThread);

    std::shared_ptr<VLAPlugin> plugin = PluginRegistrationTable[0].factory();
    plugin->Start();
    ASSERT_TRUE(PollUntil([&] {
        return log.Contains("3 [VuVidazi] enter monitor thread VLAMessageCenter.exe" +
                            std::string(kMonitorBody));
    }));
    // Time for the monitor to open the message center before it ends.
    Sleep(300);
    plugin.reset();
    ASSERT_TRUE(TerminateProcess(messageCenter.get(), 1));

    ASSERT_TRUE(PollUntil([&] {
        return log.Contains("3 [VuVidazi] force stop monitor thread " + std::string(kMonitorBody));
    }));
    EXPECT_TRUE(mainframe.Entries().empty());
    EXPECT_FALSE(fs::exists(trayRecord));
}

}  // namespace
