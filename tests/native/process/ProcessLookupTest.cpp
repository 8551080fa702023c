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

TEST_F(ProcessLookupTest, WaitReturnsOnlyOnceTheProcessHasEnded) {
    const uint32_t center = processes().Start(L"NxZarCenter.exe");
    EXPECT_TRUE(WaitWhileEnding(L"nxzarcenter.exe", center, 3));
    EXPECT_THAT(
        machine().JournalLines({"process", "log"}),
        ElementsAre("process: ended <NxZarCenter.exe> pid=" + std::to_string(center) + " exit=3",
                    std::string("log: 3 [VuVidazi] wait nxzarcenter.exe exit, waitCode=0") +
                        kWaitOperation));
}

}  // namespace
