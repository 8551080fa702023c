// The user's display scaling kept in the user's hive and put back through the
// helper's "setdpi" command.
#include "support/ClockDriver.h"
#include "support/SessionPc.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace simtest;

const std::string kGetRestoreDpi = "(NxReVadiruService::Impl::GetRestoreDpi)";
const std::string kRestoreDpi = "(NxReVadiruService::Impl::RestoreDpi)";
const std::string kQueryFailed = "log: 4 [VuVidazi] query restoreDpi regedit failed";
const std::string kClearFlag =
    "registry: set HKEY_USERS\\" + winsim::Narrow(kUserDpi) + "\\needRestore = 0";
const std::string kHelperStarted =
    "log: 4 CreateUserProcessEx processId: 10000(`anonymous-namespace'::CreateProcessAsUserEx)";

using DpiRestoreTest = SessionPcTest;

TEST_F(DpiRestoreTest, WritesWithoutTheKeyAreLogged) {
    registry.DeleteKey(HKEY_USERS, kUserDpi);

    impl().SetRestoreDpiFlag(true);
    impl().SetRestoreDpi(150);

    EXPECT_EQ(
        LogLines(),
        (std::vector<std::string>{
            "4 [VuVidazi] set needRestore regedit "
            "failed(NxReVadiruService::Impl::SetRestoreDpiFlag)",
            "4 [VuVidazi] set restoreDpi regedit failed(NxReVadiruService::Impl::SetRestoreDpi)",
        }));
}

// The handler of 0x6F0005, from the stored state (nullopt: absent) to its effects.
struct HandlerCase {
    const char* name;
    std::optional<uint32_t> needRestore;
    std::optional<uint32_t> restoreDpi;
    winsim::Program helper;            // empty: NxReVadiru.exe cannot be started
    std::vector<std::string> effects;  // log lines and registry writes, in order
    uint32_t originAfter;              // the scaling still to put back, in memory
    uint32_t shown = 100;              // what the display shows at first; 0: no display
};

void PrintTo(const HandlerCase& value, std::ostream* out) {
    *out << value.name;
}

class RestoreDpiMessageTest : public DpiRestoreTest,
                              public ::testing::WithParamInterface<HandlerCase> {};

TEST_P(RestoreDpiMessageTest, RestoresInOrderAndClearsTheFlag) {
    if (GetParam().helper) {
        machine().Extension<winsim::Processes>().Register(L"NxReVadiru.exe", GetParam().helper);
    } else {
        machine().Fail("CreateProcessAsUserW", ERROR_FILE_NOT_FOUND);
    }
    if (GetParam().needRestore) {
        registry.SetDword(HKEY_USERS, kUserDpi, L"needRestore", *GetParam().needRestore);
    }
    if (GetParam().restoreDpi) {
        registry.SetDword(HKEY_USERS, kUserDpi, L"restoreDpi", *GetParam().restoreDpi);
    }
    if (GetParam().shown == 0) {
        winsim::SimDisplay(machine()).SetPaths({});
    }
    ShowPercent(machine(), GetParam().shown);
    TagIPCMessageItem message;

    impl().OnRecvRestoreDpiMsg(message);

    EXPECT_EQ(machine().JournalLines({"log", "registry"}), GetParam().effects);
    EXPECT_EQ(impl().originDpiScale.load(), GetParam().originAfter);
    const simtest::ClockDriver clock(machine());  // the helper finishes in its own time
    EXPECT_TRUE(machine().WaitForThreads());
}

INSTANTIATE_TEST_SUITE_P(
    Handler, RestoreDpiMessageTest,
    ::testing::Values(
        HandlerCase{"NothingPending",
                    std::nullopt,
                    150,
                    simtest::SetDpiProgram(),
                    {kQueryFailed + "(NxReVadiruService::Impl::NeedRestoreDpi)"},
                    0},
        HandlerCase{
            "DisplayShowsTheSavedScale",
            1,
            150,
            simtest::SetDpiProgram(),
            {"log: 3 restore value is 150" + kGetRestoreDpi, kHelperStarted,
             "log: 3 [VuVidazi] restore dpi 150 curdpi 150" + kRestoreDpi, kClearFlag, kClearFlag},
            0,
            150},
        // The scaling is read right after the start, before the helper has
        // set it: the restore stays pending in memory.
        HandlerCase{"HelperStillStarting",
                    1,
                    150,
                    simtest::SetDpiProgram(500),
                    {"log: 3 restore value is 150" + kGetRestoreDpi, kHelperStarted,
                     "log: 3 [VuVidazi] restore dpi 150 curdpi 100" + kRestoreDpi, kClearFlag},
                    150},
        // The highest scale kept, the display unreadable: it stays pending.
        HandlerCase{"DisplayGoneAtTheHighestScale",
                    1,
                    1000,
                    simtest::SetDpiProgram(),
                    {"log: 3 restore value is 1000" + kGetRestoreDpi, kHelperStarted,
                     "log: 4 err query display config 87, numPaths:0,numModes:0(GetDpiDevInfo)",
                     "log: 3 [VuVidazi] restore dpi 1000 curdpi 0" + kRestoreDpi, kClearFlag},
                    1000,
                    0},
        HandlerCase{"HelperFailsToStart",
                    1,
                    150,
                    {},
                    {"log: 3 restore value is 150" + kGetRestoreDpi,
                     "log: 4 CreateUserProcessEx failed:2"
                     "(`anonymous-namespace'::CreateProcessAsUserEx)",
                     "log: 4 CreateUserProcessEx processId: 0"
                     "(`anonymous-namespace'::CreateProcessAsUserEx)",
                     "log: 4 [VuVidazi] failed to create user interactive process." + kRestoreDpi,
                     kClearFlag},
                    150},
        HandlerCase{"SavedScaleAboveTheHighest",
                    1,
                    1001,
                    simtest::SetDpiProgram(),
                    {"log: 3 restore value is 0" + kGetRestoreDpi, kClearFlag},
                    0},
        HandlerCase{"SavedScaleAbsent",
                    1,
                    std::nullopt,
                    simtest::SetDpiProgram(),
                    {kQueryFailed + kGetRestoreDpi, "log: 3 restore value is 0" + kGetRestoreDpi,
                     kClearFlag},
                    0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
