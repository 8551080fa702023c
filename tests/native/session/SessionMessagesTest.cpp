// The helper's and the message center's reports, parsed as they arrive on the bus.
#include "support/JournalMatchers.h"
#include "support/NamedRows.h"
#include "support/SessionPc.h"

#include <array>
#include <sstream>

namespace {

using namespace simtest;
using ::testing::Contains;
using ::testing::IsEmpty;

const std::string kStartReport = "NxReVadiruService::Impl::OnRecvNxRevadiruStartMsg";
const std::string kPidReport = "NxReVadiruService::Impl::OnRecvNxRevadiruPidMsg";

// What the handler does after logging what it parsed.
enum class Then { Watch, Invalid, Nothing };

// A report's body against the id the helper announced before.
struct ReportCase : testrows::Named {
    bool startReport;  // else the pid report
    const char* body;
    uint32_t previousId;
    uint32_t expectedId;
    const char* parsed;  // the handler's second line, after its tag; nullptr: none
    Then then;
};

class SessionReportTest : public SessionPcTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(SessionReportTest, ParsesTheBodyAndWatchesAHelperWithAnId) {
    const ReportCase& test = GetParam();
    impl().reVadiruProcessId = test.previousId;
    TagIPCMessageItem item = Item(test.body);
    if (test.startReport) {
        impl().OnRecvNxRevadiruStartMsg(item);
    } else {
        impl().OnRecvNxRevadiruPidMsg(item);
    }
    ASSERT_TRUE(machine().WaitForThreads());
    EXPECT_EQ(impl().reVadiruProcessId, test.expectedId);
    const std::string operation = test.startReport ? kStartReport : kPidReport;
    const std::string what = test.startReport ? "start" : "pid";
    const auto heard = Logged(3, "[VuVidazi] recv nxrevadiru process " + what + " msg", operation);
    if (test.parsed) {
        EXPECT_THAT(machine().Journal(),
                    InOrder(heard, Logged(3, std::string("[VuVidazi] ") + test.parsed, operation)));
    } else {
        EXPECT_EQ(LogLines().size(), 1u);
    }
    EXPECT_THAT(machine().Journal(),
                Contains(Logged(3, "[VuVidazi] mode or processId is invalid", operation))
                    .Times(test.then == Then::Invalid ? 1 : 0));
    EXPECT_THAT(machine().Journal(), Contains(LogMentions("enter monitor thread NxReVadiru.exe"))
                                         .Times(test.then == Then::Watch ? 1 : 0));
    EXPECT_THAT(machine().Journal(), Not(Contains(Signalled("NxReVadiru.exe"))))
        << "a helper that does not run is not recovered after";
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, SessionReportTest,
    ::testing::Values(
        ReportCase{"StartModeOneWithId", true, "1 77", 0, 77, "mode:1,processId:77", Then::Watch},
        ReportCase{"StartModeFourWithId", true, "4 78", 0, 78, "mode:4,processId:78", Then::Watch},
        ReportCase{"StartInvalidMode", true, "3 77", 0, 77, "mode:3,processId:77", Then::Invalid},
        ReportCase{"StartIdZero", true, "1 0", 55, 0, "mode:1,processId:0", Then::Invalid},
        ReportCase{"StartWithoutId", true, "1", 55, 55, "mode:1,processId:55", Then::Watch},
        ReportCase{"StartEmpty", true, "", 55, 55, "mode:3,processId:55", Then::Invalid},
        ReportCase{"StartNoBody", true, nullptr, 55, 55, "msg.message is nullptr", Then::Nothing},
        ReportCase{"PidNoBody", false, nullptr, 55, 55, nullptr, Then::Nothing},
        ReportCase{"PidZero", false, "0", 55, 0, "nxrevadiruProcessId:0", Then::Nothing},
        ReportCase{"PidLetters", false, "abc", 55, 0, "nxrevadiruProcessId:0", Then::Nothing},
        ReportCase{"PidDigitsThenText", false, " 12ab", 0, 12, "nxrevadiruProcessId:12",
                   Then::Watch}),
    testrows::RowName());

// The screen values over fields that hold others from an earlier report: each
// number read replaces its field, the others stay, and the restore is armed
// with the scaling the fields then hold.
struct ResolutionCase : testrows::Named {
    const char* body;  // nullptr: none, and nothing happens
    std::array<uint32_t, 6> fields;
};

class ResolutionTest : public SessionPcTest,
                       public ::testing::WithParamInterface<ResolutionCase> {};

TEST_P(ResolutionTest, StoresTheValuesReadAndArmsTheRestore) {
    const std::array<uint32_t, 6> previous = {800, 600, 125, 1024, 768, 175};
    impl().originPrimaryWidth = previous[0];
    impl().originPrimaryHeight = previous[1];
    impl().originDpiScale = previous[2];
    impl().targetPrimaryWidth = previous[3];
    impl().targetPrimaryHeight = previous[4];
    impl().targetDpiScale = previous[5];
    TagIPCMessageItem item = Item(GetParam().body);
    impl().OnRecvNxRevadiruResolutionMsg(item);
    if (!GetParam().body) {
        EXPECT_THAT(machine().Journal(), IsEmpty());
        return;
    }
    const auto& f = GetParam().fields;
    std::ostringstream line;
    line << "[VuVidazi] get screen info from NxExp, originPrimaryWidth:" << f[0]
         << ", originPrimaryHeight:" << f[1] << ", originDpiScale:" << f[2]
         << ", targetPrimaryWidth:" << f[3] << ", targetPrimaryHeight:" << f[4]
         << ", targetDpiScale:" << f[5] << ".";
    EXPECT_THAT(
        machine().Journal(),
        InOrder(Logged(3, line.str(), "NxReVadiruService::Impl::OnRecvNxRevadiruResolutionMsg"),
                SetUserValue(kDpiPath, L"needRestore", 1),
                SetUserValue(kDpiPath, L"restoreDpi", f[2])));
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, ResolutionTest,
    ::testing::Values(ResolutionCase{"SixNumbers",
                                     "1920 1080 150 2560 1600 200",
                                     {1920, 1080, 150, 2560, 1600, 200}},
                      ResolutionCase{"TwoNumbers", "1920 1080", {1920, 1080, 125, 1024, 768, 175}},
                      ResolutionCase{"NoNumbers", "", {800, 600, 125, 1024, 768, 175}},
                      ResolutionCase{"NoBody", nullptr, {}}),
    testrows::RowName());

using SessionMessagesTest = SessionPcTest;

TEST_F(SessionMessagesTest, TabTipWithoutBodyIsLoggedAsAFailure) {
    TagIPCMessageItem item = Item(nullptr);
    impl().OnRecvMessageCenterTabTipMsg(item);
    EXPECT_EQ(LogLines(),
              std::vector<std::string>{
                  "4 tabtip message null(NxReVadiruService::Impl::OnRecvMessageCenterTabTipMsg)"});
}

}  // namespace
