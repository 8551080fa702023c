// The launcher on the virtual clock: it waits three minutes for the center to
// come back by itself, then asks the host two minutes apart.
#include "native/session/SessionPc.h"
#include "support/ClockDriver.h"

#include <winsim/Bus.h>

#include <thread>

namespace {

using namespace sessiontest;

constexpr char kLauncher[] = "(NxReVadiruService::Impl::StartNxZarCenter)";
constexpr char kRetail[] = "(NxReVadiruService::Impl::RetailPCStartNxZarCenter)";
const std::string kRequest = "0x30000 0x30003 \"Silent\" len=7 type=0";
const std::string kLaunchReport = "992612907 ZarExitType=-1 ZarLaunchType=0";

std::string Line(const char* text, const char* operation) {
    return std::string("3 ") + text + operation;
}

class CenterLauncherTest : public SessionPcTest {
protected:
    void SetUp() override {
        SessionPcTest::SetUp();
        impl().zarCenterStartEvent.CreateIfAbsent();
    }
    void TearDown() override {
        impl().zarCenterStartEvent.Close();
        SessionPcTest::TearDown();
    }
    void MakeRetail() {
        registry.SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Norvane\\DeskSuite", L"RetailComputer",
                          1);
    }
    // Runs the launcher to its end with the clock moving by itself.
    void RunLauncher() {
        const simtest::ClockDriver clock(machine());
        impl().StartNxZarCenter();
    }
    // Virtual times of the start requests.
    std::vector<uint64_t> RequestTimes() {
        std::vector<uint64_t> times;
        for (const auto& entry : machine().Journal()) {
            if (entry.kind == "post" && entry.text.rfind(kRequest, 0) == 0) {
                times.push_back(entry.time);
            }
        }
        return times;
    }
};

TEST_F(CenterLauncherTest, CenterComingBackByItselfEndsTheWait) {
    std::thread launcher([this] { impl().StartNxZarCenter(); });
    ASSERT_TRUE(machine().WaitForParked(1));
    machine().Advance(120000);
    // What the center's start message does.
    impl().zarCenterRunning = true;
    impl().zarCenterStartEvent.Signal();
    launcher.join();
    EXPECT_EQ(LogLines(), std::vector<std::string>({
                              Line("[VuVidazi] Start NxZarCenter.", kLauncher),
                              Line("[VuVidazi] exit, waitCode=0", kLauncher),
                              Line("[VuVidazi] NxZarCenter server is working.", kLauncher),
                          }));
    EXPECT_TRUE(Journal("post").empty());
    EXPECT_TRUE(Journal("usage").empty());
    EXPECT_EQ(machine().Now(), 120000u);
}

TEST_F(CenterLauncherTest, UserQuitBeforeTheRunSendsNothing) {
    impl().zarCenterUserQuit = true;
    RunLauncher();
    EXPECT_EQ(LogLines().back(), Line("[VuVidazi] NxZarCenter is user quit.", kLauncher));
    EXPECT_TRUE(RequestTimes().empty());
    EXPECT_TRUE(Journal("usage").empty());
}

// The user quits, or the center comes back, while the launcher pauses after its
// first request: it stops after that pause.
struct PauseCase {
    const char* name;
    bool retail;
    bool userQuits;  // else the center announces itself
    std::string stopLine;
};

class StopDuringAPauseTest : public CenterLauncherTest,
                             public ::testing::WithParamInterface<PauseCase> {};

TEST_P(StopDuringAPauseTest, StopsAfterIt) {
    const PauseCase& test = GetParam();
    if (test.retail) {
        MakeRetail();
    }
    std::thread launcher([this] { impl().StartNxZarCenter(); });
    ASSERT_TRUE(machine().WaitForParked(1));
    machine().AdvanceToNextDeadline();  // three minutes: the first request, then its pause
    ASSERT_TRUE(machine().WaitForParked(1));
    if (test.userQuits) {
        TagIPCMessageItem quit;
        impl().OnRecvZarCenterQuitMsg(quit);
    } else {
        impl().zarCenterRunning = true;
    }
    {
        // A launcher that does not stop runs on to its end instead of hanging the test.
        const simtest::ClockDriver clock(machine());
        launcher.join();
    }
    EXPECT_EQ(LogLines().back(), test.stopLine);
    EXPECT_EQ(RequestTimes(), std::vector<uint64_t>{180000});
    std::vector<std::string> reports = {kLaunchReport};
    if (test.userQuits) {
        reports.push_back("992612907 ZarExitType=1 ZarLaunchType=-1");
    }
    EXPECT_EQ(Journal("usage"), reports);
}

INSTANTIATE_TEST_SUITE_P(
    Pauses, StopDuringAPauseTest,
    ::testing::Values(PauseCase{"UserQuits", false, true,
                                Line("[VuVidazi] step1, stop start NxZarCenter.0", kLauncher)},
                      PauseCase{"CenterBack", false, false,
                                Line("[VuVidazi] step1, stop start NxZarCenter.0", kLauncher)},
                      PauseCase{"RetailCenterBack", true, false,
                                Line("[VuVidazi] stop start NxZarCenter.0", kRetail)}),
    [](const auto& info) { return std::string(info.param.name); });

// The center does not come back: after three minutes one launch report, then
// every request two minutes apart, with a line for each one the bus refused.
struct RequestRun {
    const char* name;
    bool retail;  // a retail machine does not honour the user's quit
    bool busDown;
    std::vector<uint64_t> requestTimes;
};

class CenterNotBackTest : public CenterLauncherTest,
                          public ::testing::WithParamInterface<RequestRun> {};

TEST_P(CenterNotBackTest, AsksUntilTheRequestsAreUsedUp) {
    const RequestRun& run = GetParam();
    if (run.retail) {
        MakeRetail();
        impl().zarCenterUserQuit = true;
    }
    machine().Extension<winsim::Bus>().SetDown(run.busDown);
    RunLauncher();
    std::vector<std::string> expected = {Line("[VuVidazi] Start NxZarCenter.", kLauncher),
                                         Line("[VuVidazi] exit, waitCode=258", kLauncher)};
    if (run.retail) {
        expected.push_back(Line("[VuVidazi] Retail computer, start NxZarCenter.", kRetail));
    }
    const std::string request =
        run.retail ? Line("[VuVidazi] post ipc startup zarCenter:Silent", kRetail)
                   : Line("[VuVidazi] step1, post ipc startup zarCenter.", kLauncher);
    const std::string refused =
        run.retail
            ? Line("[VuVidazi] NxZarCenter CreateProcessNormal fail. ret:0", kRetail)
            : Line("[VuVidazi] step1, NxZarCenter CreateProcessNormal fail. ret:0", kLauncher);
    for (size_t sent = 0; sent < run.requestTimes.size(); ++sent) {
        expected.push_back(request);
        if (run.busDown) {
            expected.push_back(refused);
        }
    }
    EXPECT_EQ(LogLines(), expected);
    EXPECT_EQ(Journal("usage"), std::vector<std::string>{kLaunchReport});
    EXPECT_EQ(RequestTimes(), run.requestTimes);
    EXPECT_EQ(machine().Now(), run.requestTimes.back() + 120000) << "the last pause is waited out";
}

const std::vector<uint64_t> kOrdinaryTimes = {180000, 300000, 420000};
const std::vector<uint64_t> kRetailTimes = {180000, 300000, 420000, 540000, 660000};

INSTANTIATE_TEST_SUITE_P(
    Machines, CenterNotBackTest,
    ::testing::Values(RequestRun{"Ordinary", false, false, kOrdinaryTimes},
                      RequestRun{"OrdinaryBusDown", false, true, kOrdinaryTimes},
                      RequestRun{"RetailDespiteTheQuit", true, false, kRetailTimes},
                      RequestRun{"RetailBusDown", true, true, kRetailTimes}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
