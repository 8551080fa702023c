// Finding processes by image name and waiting for them to end. Which process a
// lookup finds, and the wait's exit line, are pinned where the plug-in watches
// the helper, the collaboration center and the message center.
#include "support/ImplTest.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using ::testing::ElementsAre;

using ProcessLookupTest = simtest::ImplTest;

// The first match in snapshot order, without regard to case; the message
// center's id is kept for the tray-icon refresh only when asked by its exact
// name and found. The helper's announced id is used only for its exact name.
TEST_F(ProcessLookupTest, FindsTheFirstMatchWithoutRegardToCase) {
    impl().messageCenterProcessId = 5;
    EXPECT_FALSE(impl().GetProcessHandleByName(L"VLAMessageCenter.exe", false));
    const uint32_t first = processes().Start(L"VLAMessageCenter.exe");
    processes().Start(L"VLAMessageCenter.exe");
    const UniqueHandle found = impl().GetProcessHandleByName(L"vlamessagecenter.exe", false);
    EXPECT_EQ(GetProcessId(found.get()), first);
    EXPECT_EQ(impl().messageCenterProcessId.load(), 5u);
    const uint32_t helper = processes().Start(L"NxReVadiru.exe");
    const UniqueHandle helperFound = impl().GetProcessHandleByName(L"nxrevadiru.exe", true);
    EXPECT_EQ(GetProcessId(helperFound.get()), helper) << "searched, although no id was announced";
    EXPECT_TRUE(impl().GetProcessHandleByName(L"VLAMessageCenter.exe", false));
    EXPECT_EQ(impl().messageCenterProcessId.load(), first);
}

// Only the snapshot's own failures are logged.
TEST_F(ProcessLookupTest, FailedSnapshotGivesNothing) {
    processes().Start(L"NxZarCenter.exe");
    machine().Fail("CreateToolhelp32Snapshot", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(impl().GetProcessHandleByName(L"NxZarCenter.exe", false));
    machine().Fail("Process32FirstW", ERROR_NO_MORE_FILES);
    EXPECT_FALSE(impl().GetProcessHandleByName(L"NxZarCenter.exe", false));
    const std::string operation = "(NxReVadiruService::Impl::GetProcessHandleByName)";
    EXPECT_THAT(LogLines(),
                ElementsAre("4 [VuVidazi] CreateToolhelp32Snapshot failed, err=8" + operation,
                            "4 [VuVidazi] Process32First failed, err=18" + operation));
}

TEST_F(ProcessLookupTest, WaitOnTheHelperBeforeItsIdIsKnownDoesNotSearch) {
    processes().Start(L"NxReVadiru.exe");
    // A snapshot taken now would leave its own failure line.
    machine().Fail("CreateToolhelp32Snapshot", ERROR_NOT_ENOUGH_MEMORY, -1);
    EXPECT_FALSE(impl().WaitForProcessExit(L"NxReVadiru.exe"));
    EXPECT_THAT(LogLines(), ElementsAre("4 [VuVidazi] processHandle is nullptr"
                                        "(NxReVadiruService::Impl::WaitForProcessExit)"));
}

}  // namespace
