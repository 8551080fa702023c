// The helper's and the message center's reports, parsed as they arrive on the bus.
#include "support/SessionPc.h"

#include <cstring>

namespace {

using namespace simtest;
using winsim::Narrow;

TagIPCMessageItem Item(const char* body) {
    TagIPCMessageItem item;
    item.message = body;
    item.messageLen = body == nullptr ? 0 : static_cast<int32_t>(std::strlen(body));
    return item;
}

// A monitor started for a helper that does not run ends at once.
const std::vector<std::string> kMissingHelperWatched = {
    "3 [VuVidazi] enter monitor thread "
    "NxReVadiru.exe(NxReVadiruService::Impl::StartMonitorThread::MonitorBody)",
    "4 [VuVidazi] processHandle is nullptr(NxReVadiruService::Impl::WaitForProcessExit)"};

// What the handler does after logging what it parsed.
enum class Then { Watch, Invalid, Nothing };

struct ReportCase {
    const char* name;
    bool startReport;  // else the pid report
    const char* body;
    uint32_t expectedId;
    const char* parsed;  // the handler's second line, after its tag
    Then then;
};

class SessionReportTest : public SessionPcTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(SessionReportTest, ParsesTheBodyAndWatchesAHelperWithAnId) {
    const ReportCase& test = GetParam();
    TagIPCMessageItem item = Item(test.body);
    const std::string operation = test.startReport
                                      ? "(NxReVadiruService::Impl::OnRecvNxRevadiruStartMsg)"
                                      : "(NxReVadiruService::Impl::OnRecvNxRevadiruPidMsg)";
    std::vector<std::string> expected = {std::string("3 [VuVidazi] recv nxrevadiru process ") +
                                             (test.startReport ? "start" : "pid") + " msg" +
                                             operation,
                                         std::string("3 [VuVidazi] ") + test.parsed + operation};
    if (test.startReport) {
        impl().OnRecvNxRevadiruStartMsg(item);
    } else {
        impl().OnRecvNxRevadiruPidMsg(item);
    }
    if (test.then == Then::Invalid) {
        expected.push_back("3 [VuVidazi] mode or processId is invalid" + operation);
    } else if (test.then == Then::Watch) {
        expected.insert(expected.end(), kMissingHelperWatched.begin(), kMissingHelperWatched.end());
    }
    ASSERT_TRUE(machine().WaitForThreads());
    EXPECT_EQ(impl().reVadiruProcessId, test.expectedId);
    EXPECT_EQ(LogLines(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, SessionReportTest,
    ::testing::Values(
        ReportCase{"StartModeOneWithId", true, "1 77", 77, "mode:1,processId:77", Then::Watch},
        ReportCase{"StartInvalidMode", true, "3 77", 77, "mode:3,processId:77", Then::Invalid},
        ReportCase{"StartWithoutId", true, "1", 0, "mode:1,processId:0", Then::Invalid},
        ReportCase{"StartNoBody", true, nullptr, 0, "msg.message is nullptr", Then::Nothing},
        ReportCase{"PidLetters", false, "abc", 0, "nxrevadiruProcessId:0", Then::Nothing},
        ReportCase{"PidDigitsThenText", false, " 12ab", 12, "nxrevadiruProcessId:12", Then::Watch}),
    [](const auto& info) { return std::string(info.param.name); });

using SessionMessagesTest = SessionPcTest;

// The line shows the six fields as stored, in the message's order.
TEST_F(SessionMessagesTest, ResolutionStoresSixValuesAndArmsTheRestore) {
    TagIPCMessageItem item = Item("1920 1080 150 2560 1600 200");
    impl().OnRecvNxRevadiruResolutionMsg(item);
    EXPECT_EQ(LogLines(),
              std::vector<std::string>{
                  "3 [VuVidazi] get screen info from NxExp, originPrimaryWidth:1920, "
                  "originPrimaryHeight:1080, originDpiScale:150, targetPrimaryWidth:2560, "
                  "targetPrimaryHeight:1600, "
                  "targetDpiScale:200.(NxReVadiruService::Impl::OnRecvNxRevadiruResolutionMsg)"});
    EXPECT_EQ(Journal("registry"), std::vector<std::string>({
                                       "set HKEY_USERS\\" + Narrow(kUserDpi) + "\\needRestore = 1",
                                       "set HKEY_USERS\\" + Narrow(kUserDpi) + "\\restoreDpi = 150",
                                   }));
}

TEST_F(SessionMessagesTest, TabTipWithoutBodyIsLoggedAsAFailure) {
    TagIPCMessageItem item = Item(nullptr);
    impl().OnRecvMessageCenterTabTipMsg(item);
    EXPECT_EQ(LogLines(),
              std::vector<std::string>{
                  "4 tabtip message null(NxReVadiruService::Impl::OnRecvMessageCenterTabTipMsg)"});
}

// A body without numbers leaves every field as it was.
TEST_F(SessionMessagesTest, ResolutionWithoutNumbersLogsTheFieldsAsTheyWere) {
    TagIPCMessageItem item = Item("");
    impl().OnRecvNxRevadiruResolutionMsg(item);
    EXPECT_EQ(LogLines().front(),
              "3 [VuVidazi] get screen info from NxExp, originPrimaryWidth:0, "
              "originPrimaryHeight:0, originDpiScale:0, targetPrimaryWidth:0, "
              "targetPrimaryHeight:0, "
              "targetDpiScale:0.(NxReVadiruService::Impl::OnRecvNxRevadiruResolutionMsg)");
}

}  // namespace
