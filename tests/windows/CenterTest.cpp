// The collaboration center's end on the real bus: a stand-in center announces
// itself to the plug-in's state, is killed, and the modules that must hear of
// it, the icon helper and the host module that restarts the center are watched
// from outside.
//
// The launcher that runs after the clean-up pauses for minutes between start
// requests; its detached thread keeps the plug-in's state alive and is still
// asleep when this program exits, which ends it with the process.
#include "BusBroker.h"
#include "IPCMessageClient.h"
#include "ModulePaths.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "process/UniqueHandle.h"
#include "support/BusObserver.h"
#include "support/Polling.h"
#include "support/ServiceHostRun.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The plug-in's client connects only to the host's fixed pipe; the Wine prefix
// is private to the build, so nothing else owns it.
constexpr wchar_t kBusPipe[] = L"\\\\.\\Pipe\\iVellumAssistant";
constexpr int32_t kCenterStartMsg = 0x6F0006;
constexpr int32_t kCenterExitMsg = 0xB90004;

UniqueHandle StartCenter() {
    std::wstring commandLine = L"\"" + ExecutableDirectory() + L"\\NxZarCenter.exe\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &created)) {
        return UniqueHandle();
    }
    const UniqueHandle thread(created.hThread);
    return UniqueHandle(created.hProcess);
}

const std::string kPublished = "b90004 ZAR_SERVICE_UNINIT_ADV_NAME";

TEST(CenterTest, KilledCenterIsCleanedUpAfterAndRequestedBackFromTheHost) {
    BusBroker broker(kBusPipe);
    ASSERT_TRUE(broker.Start());
    const ScratchFile pluginLog(L"nx-center-plugin.log");
    const ScratchFile centerRecord(L"nx-center-start.txt");
    const ScopedVariable logVariable(L"NX_LOG_FILE", pluginLog.Path());
    const ScopedVariable recordVariable(L"NX_CENTER_RECORD_FILE", centerRecord.Path());
    // The helper is started with the user's environment, so it records beside itself.
    const fs::path helperRecord = fs::path(ExecutableDirectory()) / L"NxZarCenterHelper.txt";
    fs::remove(helperRecord);

    const std::map<int32_t, std::vector<std::string>> expected = {
        {0x20000, {kPublished, "22711 quit_zarCenter"}},
        {0x270000, {kPublished, "150059 "}},
        {0x40000, {kPublished, "150059 "}},
        // The launcher's start request counts its terminator.
        {0x30000, {kPublished, std::string("30003 Silent", 13)}},
    };
    std::map<int32_t, std::unique_ptr<BusObserver>> observers;
    for (const auto& [moduleId, entries] : expected) {
        const int32_t ownMsgId =
            std::stoi(entries.back().substr(0, entries.back().find(' ')), nullptr, 16);
        observers[moduleId] = std::make_unique<BusObserver>(
            moduleId, std::vector<int32_t>{kCenterExitMsg, ownMsgId}, kBusPipe);
        ASSERT_TRUE(WaitUntilOnBus(observers[moduleId]->Client(), moduleId))
            << "module " << std::hex << moduleId;
    }

    auto impl = std::make_shared<NxReVadiruService::Impl>();
    // The center's own announcement reaches the handler as the plug-in's table
    // would route it; the raw pointer keeps the state free of a cycle through
    // its own client.
    NxReVadiruService::Impl* const state = impl.get();
    impl->client.RegisterMessageCallback(kCenterStartMsg, [state](TagIPCMessageItem& msg) {
        state->OnRecvNxZarCenterStartMsg(msg);
    });
    ASSERT_TRUE(WaitUntilOnBus(impl->client, 0x6F0000));

    const UniqueHandle center = StartCenter();
    ASSERT_TRUE(center) << "error " << GetLastError();
    ASSERT_TRUE(PollUntil([&] { return impl->zarCenterRunning.load(); }))
        << "the center never announced itself";
    const std::string record = ReadFileText(centerRecord.Path());
    EXPECT_NE(record.find("NxZarCenter.exe"), std::string::npos) << record;

    ASSERT_TRUE(TerminateProcess(center.get(), 1));
    ASSERT_EQ(WaitForSingleObject(center.get(), 5000), WAIT_OBJECT_0);

    for (const auto& [moduleId, entries] : expected) {
        EXPECT_TRUE(PollUntil([&] {
            return observers[moduleId]->Entries().size() >= entries.size();
        })) << "module "
            << std::hex << moduleId;
        EXPECT_EQ(observers[moduleId]->Entries(), entries) << "module " << std::hex << moduleId;
    }
    EXPECT_TRUE(PollUntil([&] {
        return ReadFileText(helperRecord).find("RefreshNotifyIcon") != std::string::npos;
    })) << "the icon helper did not record its start";
    EXPECT_FALSE(impl->zarCenterRunning.load());

    // After its pause the launcher would ask again, on whatever bus then owns
    // the host's pipe (a later test's service host would start a center): as
    // when the user has quit the center, it stops instead.
    impl->zarCenterUserQuit = true;
    impl->Stop();
    observers.clear();
    broker.Stop();
    fs::remove(helperRecord);
}

// Ends the center that the host started, known by the id it announced.
bool TerminateAnnouncedCenter(const std::string& announcement) {
    const auto processId =
        static_cast<DWORD>(std::stoul(announcement.substr(announcement.find(' ') + 1)));
    const UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    return process && TerminateProcess(process.get(), 1) &&
           WaitForSingleObject(process.get(), 5000) == WAIT_OBJECT_0;
}

TEST(CenterTest, ServiceHostStartsTheCenterOnRequestAndTheCenterAnnouncesOnTheSameBus) {
    const std::wstring pipe = L"\\\\.\\pipe\\nx-center-host-test";
    const ScratchFile transcript(L"nx-center-host.txt");
    const ScratchFile centerRecord(L"nx-center-host-start.txt");
    const ScratchFile pluginLog(L"nx-center-host-plugin.log");
    const ScopedVariable logVariable(L"NX_LOG_FILE", pluginLog.Path());
    const ScopedVariable recordVariable(L"NX_CENTER_RECORD_FILE", centerRecord.Path());
    ServiceHostRun service(L"--pipe " + pipe, transcript.Path());
    ASSERT_TRUE(service.IsStarted()) << "error " << GetLastError();
    // The host's modules are on the bus before the plug-ins run.
    ASSERT_TRUE(PollUntil([&] {
        return HasLine(transcript.Path(), "service: 1 plug-in(s) running");
    })) << ReadFileText(transcript.Path());

    // Stands where the plug-in would on this pipe: hears the announcement and
    // asks for the start.
    const BusObserver plugin(0x6F0000, {kCenterStartMsg}, pipe);
    ASSERT_TRUE(WaitUntilOnBus(plugin.Client(), 0x6F0000));
    TagIPCMessageItem request;
    request.receiverId = 0x30000;
    request.msgId = 0x30003;
    request.message = "Silent";
    request.messageLen = 7;
    ASSERT_TRUE(PollUntil([&] { return plugin.Client().PostIPCMessage(request); }));

    ASSERT_TRUE(PollUntil([&] { return !plugin.Entries().empty(); }))
        << ReadFileText(transcript.Path());
    const std::vector<std::string> announcements = plugin.Entries();
    ASSERT_EQ(announcements.size(), 1u);
    EXPECT_EQ(announcements[0].rfind("6f0006 ", 0), 0u) << announcements[0];
    EXPECT_TRUE(TerminateAnnouncedCenter(announcements[0]));
    const std::string record = ReadFileText(centerRecord.Path());
    EXPECT_NE(record.find("NxZarCenter.exe"), std::string::npos) << record;

    service.Finish();
    EXPECT_TRUE(HasLine(transcript.Path(), "host: starting NxZarCenter.exe"))
        << ReadFileText(transcript.Path());
    EXPECT_TRUE(HasLine(transcript.Path(), "service: stopped cleanly"))
        << ReadFileText(transcript.Path());
}

}  // namespace
