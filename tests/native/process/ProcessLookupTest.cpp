// Finding processes by image name and waiting for them to end.
#include "plugin/NxReVadiruServiceImpl.h"
#include "support/SimTest.h"

#include <winsim/SimProcesses.h>
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kLookupOperation[] = "(NxReVadiruService::Impl::GetProcessHandleByName)";
constexpr char kWaitOperation[] = "(NxReVadiruService::Impl::WaitForProcessExit)";

class ProcessLookupTest : public SimTest {
protected:
    winsim::Processes& processes() { return machine().Extension<winsim::Processes>(); }

    // Waits for `name` on another thread and ends process `id` once the wait
    // has begun; the wait's result.
    bool WaitWhileEnding(const std::wstring& name, uint32_t id, uint32_t exitCode) {
        auto waited =
            std::async(std::launch::async, [this, name] { return impl->WaitForProcessExit(name); });
        EXPECT_TRUE(machine().WaitForBlocked(1));
        // Nothing is logged before the process has ended.
        EXPECT_THAT(LogLines(), ::testing::IsEmpty());
        processes().End(id, exitCode);
        return waited.get();
    }

    // The id of the process the handle refers to, 0 for none.
    static DWORD IdOf(const UniqueHandle& handle) {
        return handle ? GetProcessId(handle.get()) : 0;
    }

    std::shared_ptr<NxReVadiruService::Impl> impl = std::make_shared<NxReVadiruService::Impl>();
};

// The processes every lookup case starts from, in creation (snapshot) order.
struct RunningSet {
    uint32_t helper, messageCenter, firstCenter, laterHelper;
};

struct LookupCase {
    const char* title;
    std::wstring name;
    bool useKnownProcessId;
    // Which process the handle must refer to (0: none) and what
    // messageCenterProcessId must be afterwards, from the running set.
    uint32_t (*expected)(const RunningSet&);
    uint32_t (*messageCenterIdAfter)(const RunningSet&);
};

constexpr uint32_t kEarlierMessageCenterId = 777;

uint32_t None(const RunningSet&) {
    return 0;
}
uint32_t Unchanged(const RunningSet&) {
    return kEarlierMessageCenterId;
}

const LookupCase kLookupCases[] = {
    {"OtherLetterCaseFindsTheHelper", L"nxrevadiru.exe", false,
     [](const RunningSet& s) { return s.helper; }, Unchanged},
    {"LowerCaseNameSkipsTheFastPath", L"nxrevadiru.exe", true,
     [](const RunningSet& s) { return s.helper; }, Unchanged},
    {"ExactNameWithKnownIdOpensThatId", L"NxReVadiru.exe", true,
     [](const RunningSet& s) { return s.laterHelper; }, Unchanged},
    {"ExactNameWithoutKnownIdSearches", L"NxReVadiru.exe", false,
     [](const RunningSet& s) { return s.helper; }, Unchanged},
    {"FirstMatchInSnapshotOrder", L"NxZarCenter.exe", false,
     [](const RunningSet& s) { return s.firstCenter; }, Unchanged},
    {"MessageCenterIdRecordedUnderItsExactName", L"VLAMessageCenter.exe", true,
     [](const RunningSet& s) { return s.messageCenter; },
     [](const RunningSet& s) { return s.messageCenter; }},
    {"MessageCenterInLowerCaseIsNotRecorded", L"vlamessagecenter.exe", false,
     [](const RunningSet& s) { return s.messageCenter; }, Unchanged},
    {"UnknownNameGivesNothing", L"Nobody.exe", false, None, Unchanged},
    // Only A to Z are lower-cased in the default locale.
    {"NonAsciiLettersKeepTheirCase", L"\u00e4rger.exe", false, None, Unchanged},
};

void PrintTo(const LookupCase& c, std::ostream* out) {
    *out << c.title;
}

class ProcessLookupCases : public ProcessLookupTest,
                           public ::testing::WithParamInterface<LookupCase> {};

TEST_P(ProcessLookupCases, OpensTheExpectedProcessWithoutLogging) {
    const LookupCase& c = GetParam();
    RunningSet set{};
    set.helper = processes().Start(L"NxReVadiru.exe");
    const uint32_t endedCenter = processes().Start(L"NxZarCenter.exe");
    set.messageCenter = processes().Start(L"VLAMessageCenter.exe");
    set.firstCenter = processes().Start(L"NxZarCenter.exe");
    processes().Start(L"NxZarCenter.exe");  // a later match
    set.laterHelper = processes().Start(L"NxReVadiru.exe");
    processes().Start(L"\u00c4rger.exe");
    processes().End(endedCenter);
    impl->reVadiruProcessId = set.laterHelper;
    impl->messageCenterProcessId = kEarlierMessageCenterId;

    const UniqueHandle handle = impl->GetProcessHandleByName(c.name, c.useKnownProcessId);

    EXPECT_EQ(IdOf(handle), c.expected(set));
    EXPECT_EQ(impl->messageCenterProcessId.load(), c.messageCenterIdAfter(set));
    EXPECT_THAT(LogLines(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Lookup, ProcessLookupCases, ::testing::ValuesIn(kLookupCases),
                         [](const auto& info) { return std::string(info.param.title); });

TEST_F(ProcessLookupTest, MessageCenterNotRunningLeavesItsIdAsItWas) {
    impl->messageCenterProcessId = kEarlierMessageCenterId;
    EXPECT_FALSE(impl->GetProcessHandleByName(L"VLAMessageCenter.exe", false));
    EXPECT_EQ(impl->messageCenterProcessId.load(), kEarlierMessageCenterId);
}

// A platform call of the search failing once: only the snapshot's own
// failures are logged.
struct LookupFailure {
    const char* function;
    DWORD error;
    std::vector<std::string> lines;
};

void PrintTo(const LookupFailure& c, std::ostream* out) {
    *out << c.function;
}

class LookupFailures : public ProcessLookupTest,
                       public ::testing::WithParamInterface<LookupFailure> {};

TEST_P(LookupFailures, GiveNothing) {
    processes().Start(L"NxZarCenter.exe");
    machine().Fail(GetParam().function, GetParam().error);
    EXPECT_FALSE(impl->GetProcessHandleByName(L"NxZarCenter.exe", false));
    EXPECT_EQ(LogLines(), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Lookup, LookupFailures,
    ::testing::Values(LookupFailure{"CreateToolhelp32Snapshot",
                                    ERROR_NOT_ENOUGH_MEMORY,
                                    {"4 [VuVidazi] CreateToolhelp32Snapshot failed, err=8" +
                                     std::string(kLookupOperation)}},
                      LookupFailure{"Process32FirstW",
                                    ERROR_NO_MORE_FILES,
                                    {"4 [VuVidazi] Process32First failed, err=18" +
                                     std::string(kLookupOperation)}},
                      // A failed next entry ends the walk like the last one.
                      LookupFailure{"Process32NextW", ERROR_NO_MORE_FILES, {}},
                      LookupFailure{"OpenProcess", ERROR_ACCESS_DENIED, {}}),
    [](const auto& info) { return std::string(info.param.function); });

TEST_F(ProcessLookupTest, WaitOnTheHelperBeforeItsIdIsKnownDoesNotSearch) {
    processes().Start(L"NxReVadiru.exe");
    // A snapshot taken now would leave its own failure line.
    machine().Fail("CreateToolhelp32Snapshot", ERROR_NOT_ENOUGH_MEMORY, -1);
    EXPECT_FALSE(impl->WaitForProcessExit(L"NxReVadiru.exe"));
    EXPECT_THAT(LogLines(),
                ElementsAre(std::string("4 [VuVidazi] processHandle is nullptr") + kWaitOperation));
}

TEST_F(ProcessLookupTest, WaitReturnsOnlyOnceTheProcessHasEnded) {
    const uint32_t center = processes().Start(L"NxZarCenter.exe");
    EXPECT_TRUE(WaitWhileEnding(L"nxzarcenter.exe", center, 3));
    EXPECT_THAT(
        machine().JournalLines({"process", "log"}),
        ElementsAre("process: ended <NxZarCenter.exe> pid=" + std::to_string(center) + " exit=3",
                    std::string("log: 3 [VuVidazi] wait nxzarcenter.exe exit, waitCode=0") +
                        kWaitOperation));
}

// Waiting on the first helper instead would never return.
TEST_F(ProcessLookupTest, WaitUsesTheHelpersAnnouncedId) {
    processes().Start(L"NxReVadiru.exe");
    const uint32_t announced = processes().Start(L"NxReVadiru.exe");
    impl->reVadiruProcessId = announced;
    EXPECT_TRUE(WaitWhileEnding(L"NxReVadiru.exe", announced, 0));
    EXPECT_THAT(LogLines(), ElementsAre(std::string("3 [VuVidazi] wait NxReVadiru.exe exit, "
                                                    "waitCode=0") +
                                        kWaitOperation));
}

TEST_F(ProcessLookupTest, FailedWaitIsOnlySeenInTheWaitCode) {
    processes().Start(L"NxZarCenter.exe");
    machine().Fail("WaitForSingleObject", ERROR_INVALID_HANDLE);
    EXPECT_TRUE(impl->WaitForProcessExit(L"NxZarCenter.exe"));
    EXPECT_THAT(LogLines(), ElementsAre(std::string("3 [VuVidazi] wait NxZarCenter.exe exit, "
                                                    "waitCode=4294967295") +
                                        kWaitOperation));
}

}  // namespace
