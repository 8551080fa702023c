// The helper's and the message center's reports, parsed as they arrive on the bus.
#include "native/session/SessionPc.h"

#include <winsim/Bus.h>

#include <cstring>

namespace {

using namespace sessiontest;
using winsim::Narrow;

constexpr char kStartMsg[] = "(NxReVadiruService::Impl::OnRecvNxRevadiruStartMsg)";
constexpr char kPidMsg[] = "(NxReVadiruService::Impl::OnRecvNxRevadiruPidMsg)";
constexpr char kMonitorEntry[] =
    "3 [VuVidazi] enter monitor thread "
    "NxReVadiru.exe(NxReVadiruService::Impl::StartMonitorThread::MonitorBody)";

TagIPCMessageItem Item(const char* body) {
    TagIPCMessageItem item;
    item.message = body;
    item.messageLen = body == nullptr ? 0 : static_cast<int32_t>(std::strlen(body));
    return item;
}

class SessionMessagesTest : public SessionPcTest {
protected:
    // Handler lines, then those of any monitor it started (once that has ended).
    std::vector<std::string> LinesAfterWorkers() {
        EXPECT_TRUE(machine().WaitForThreads());
        return LogLines();
    }
};

// What the handler does after logging what it parsed.
enum class Then { Watch, Invalid, Nothing };

struct StartCase {
    const char* name;
    const char* body;
    uint32_t previousId;
    uint32_t expectedId;
    const char* parsed;  // the handler's second line, after its tag
    Then then;
};

// A monitor started for a helper that does not run ends at once with this line.
const std::string kMissingHelper =
    "4 [VuVidazi] processHandle is nullptr(NxReVadiruService::Impl::WaitForProcessExit)";

class StartMsgTest : public SessionMessagesTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartMsgTest, ParsesModeAndProcessId) {
    const StartCase& test = GetParam();
    impl().reVadiruProcessId = test.previousId;
    TagIPCMessageItem item = Item(test.body);
    impl().OnRecvNxRevadiruStartMsg(item);
    EXPECT_EQ(impl().reVadiruProcessId, test.expectedId);
    std::vector<std::string> expected = {
        std::string("3 [VuVidazi] recv nxrevadiru process start msg") + kStartMsg,
        std::string("3 [VuVidazi] ") + test.parsed + kStartMsg};
    if (test.then == Then::Watch) {
        expected.push_back(kMonitorEntry);
        expected.push_back(kMissingHelper);
    } else if (test.then == Then::Invalid) {
        expected.push_back(std::string("3 [VuVidazi] mode or processId is invalid") + kStartMsg);
    }
    EXPECT_EQ(LinesAfterWorkers(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, StartMsgTest,
    ::testing::Values(
        StartCase{"ModeOneWithId", "1 77", 0, 77, "mode:1,processId:77", Then::Watch},
        StartCase{"InvalidMode", "3 77", 0, 77, "mode:3,processId:77", Then::Invalid},
        StartCase{"EmptyBody", "", 55, 55, "mode:3,processId:55", Then::Invalid},
        StartCase{"ModeWithoutId", "1", 55, 55, "mode:1,processId:55", Then::Watch},
        StartCase{"ModeWithoutIdNoPrevious", "1", 0, 0, "mode:1,processId:0", Then::Invalid},
        StartCase{"NoBody", nullptr, 55, 55, "msg.message is nullptr", Then::Nothing}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return info.param.name; });

struct PidCase {
    const char* name;
    const char* body;
    uint32_t expectedId;
    bool monitorStarted;
};

class PidMsgTest : public SessionMessagesTest, public ::testing::WithParamInterface<PidCase> {};

TEST_P(PidMsgTest, StoresTheIdAndWatchesANonZeroOne) {
    const PidCase& test = GetParam();
    impl().reVadiruProcessId = 55;
    TagIPCMessageItem item = Item(test.body);
    impl().OnRecvNxRevadiruPidMsg(item);
    EXPECT_EQ(impl().reVadiruProcessId, test.expectedId);
    std::vector<std::string> expected = {
        std::string("3 [VuVidazi] recv nxrevadiru process pid msg") + kPidMsg};
    if (test.body != nullptr) {
        expected.push_back("3 [VuVidazi] nxrevadiruProcessId:" + std::to_string(test.expectedId) +
                           kPidMsg);
    }
    if (test.monitorStarted) {
        expected.push_back(kMonitorEntry);
        expected.push_back(kMissingHelper);
    }
    EXPECT_EQ(LinesAfterWorkers(), expected);
}

INSTANTIATE_TEST_SUITE_P(Bodies, PidMsgTest,
                         ::testing::Values(PidCase{"Letters", "abc", 0, false},
                                           PidCase{"DigitsThenText", " 12ab", 12, true},
                                           PidCase{"NoBody", nullptr, 55, false}),
                         [](const ::testing::TestParamInfo<PidCase>& info) {
                             return info.param.name;
                         });

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

TEST_F(SessionMessagesTest, ResolutionWithoutBodyChangesNothing) {
    TagIPCMessageItem item = Item(nullptr);
    impl().OnRecvNxRevadiruResolutionMsg(item);
    EXPECT_EQ(impl().originDpiScale, 0u);
    EXPECT_TRUE(LogLines().empty());
    EXPECT_TRUE(Journal("registry").empty());
}

// A tab-tip value that arrives is logged in the frame's handler-removal test.
TEST_F(SessionMessagesTest, TabTipWithoutBodyIsLoggedAsAFailure) {
    TagIPCMessageItem item = Item(nullptr);
    impl().OnRecvMessageCenterTabTipMsg(item);
    EXPECT_EQ(LogLines(),
              std::vector<std::string>{
                  "4 tabtip message null(NxReVadiruService::Impl::OnRecvMessageCenterTabTipMsg)"});
}

}  // namespace
