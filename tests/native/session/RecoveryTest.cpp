// The recovery sequence: every step in order, each step's own conditions, and
// the keyboard report sent whatever failed before it. (The end-to-end helper
// crash shows the sequence with the driver switched off.)
#include "native/session/RecoveryJournal.h"
#include "native/session/SessionPc.h"

#include <winsim/Bus.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace sessiontest;
using winsim::Narrow;

class RecoveryTest : public SessionPcTest {};

TEST_F(RecoveryTest, PutsEveryThingBackInOrderLeavingTheDriverOn) {
    registry.SetDword(HKEY_USERS, kUserSetting, L"pcmute", 1);
    registry.SetDword(HKEY_LOCAL_MACHINE, kDriverKey, L"DriverState", 0);
    impl().originDpiScale = 150;
    // The configuration component finds the settings key.
    registry.CreateKey(HKEY_CURRENT_USER, L"SOFTWARE\\Norvane\\DeskSuite\\setting");

    impl().ReleaseKeyboard();

    EXPECT_EQ(machine().JournalLines({"log", "process", "registry", "hid", "audio", "post"}),
              RecoveryJournal({"10000", "", keyboardPath, true, true}));
}

// Nobody at the console: the user's part of the flag's path is empty, so no
// user's flag is touched; the recovery still runs to its end.
TEST_F(RecoveryTest, WithoutAConsoleUserNoUsersFlagIsTouched) {
    registry.SetDword(HKEY_USERS, kUserSetting, L"nxExcreenRunning", 1);
    machine().Extension<winsim::Sessions>().RemoveSession(1);
    impl().ReleaseKeyboard();
    EXPECT_EQ(registry.GetDword(HKEY_USERS, kUserSetting, L"nxExcreenRunning"), 1u);
    EXPECT_EQ(LogLines().back(),
              "3 [VuVidazi] Clear Vdisplay info "
              "successfully(NxReVadiruService::Impl::ClearVdisplayInfo)");
}

// Two watches on one helper: each tells it to quit and puts the PC back.
TEST_F(RecoveryTest, EachOfTwoHelperWatchesSignalsAndRecovers) {
    auto& processes = machine().Extension<winsim::Processes>();
    const uint32_t helper = processes.Start(L"NxReVadiru.exe");
    impl().reVadiruProcessId = helper;  // as its start report announced
    impl().StartMonitorThread(L"NxReVadiru.exe");
    impl().StartMonitorThread(L"NxReVadiru.exe");
    ASSERT_TRUE(machine().WaitForBlocked(2));
    processes.End(helper);
    ASSERT_TRUE(machine().WaitForThreads());
    EXPECT_EQ(Journal("event"), std::vector<std::string>(2, "SetEvent NxReVadiru.exe"));
    const auto writes = Journal("registry");
    EXPECT_EQ(std::count(writes.begin(), writes.end(),
                         "set HKEY_USERS\\" + Narrow(kUserSetting) + "\\nxExcreenRunning = 0"),
              2);
}

struct BuildCase {
    const char* name;
    const wchar_t* build;
    bool restoresScaling;
    const char* conversionLine;  // nullptr: none
};

class BuildNumberTest : public SessionPcTest, public ::testing::WithParamInterface<BuildCase> {};

TEST_P(BuildNumberTest, DecidesWhetherTheScalingIsRestored) {
    const BuildCase& test = GetParam();
    registry.SetString(HKEY_LOCAL_MACHINE, kCurrentVersion, L"CurrentBuildNumber", test.build);
    impl().originDpiScale = 150;

    impl().ReleaseKeyboard();

    bool scalingRestored = false;
    for (const auto& line : Journal("process")) {
        scalingRestored |= line.find("cmd=<NxReVadiru.exe setdpi 150 0>") != std::string::npos;
    }
    EXPECT_EQ(scalingRestored, test.restoresScaling);
    std::vector<std::string> conversionLines;
    for (const auto& line : LogLines()) {
        if (line.find("stoll") != std::string::npos) {
            conversionLines.push_back(line);
        }
    }
    EXPECT_EQ(conversionLines, test.conversionLine == nullptr
                                   ? std::vector<std::string>{}
                                   : std::vector<std::string>{test.conversionLine});
    // The rest of the sequence runs whatever the build number was.
    EXPECT_EQ(Journal("registry").back(),
              "set HKEY_USERS\\" + Narrow(kUserSetting) + "\\nxExcreenRunning = 0");
}

INSTANTIATE_TEST_SUITE_P(
    Builds, BuildNumberTest,
    ::testing::Values(BuildCase{"OneBelowThreshold", L"25999", true, nullptr},
                      BuildCase{"Threshold", L"26000", false, nullptr},
                      BuildCase{"Negative", L"-1", false, nullptr},
                      BuildCase{"Zero", L"0", true, nullptr},
                      BuildCase{"DigitsThenPoint", L"22631.4317", true, nullptr},
                      BuildCase{"Empty", L"", false,
                                "4 stoll exception: invalid stoll argument(DE::StollS)"},
                      BuildCase{"TooLarge", L"99999999999999999999", false,
                                "4 stoll exception: stoll argument out of range(DE::StollS)"}),
    [](const ::testing::TestParamInfo<BuildCase>& info) { return info.param.name; });

TEST_F(RecoveryTest, SendsTheKeyboardReportWhenEveryEarlierStepFailed) {
    registry.SetDword(HKEY_USERS, kUserSetting, L"pcmute", 1);
    registry.SetDword(HKEY_LOCAL_MACHINE, kDriverKey, L"DriverState", 1);
    impl().originDpiScale = 150;
    machine().Fail("WTSQueryUserToken", ERROR_NO_TOKEN, -1);
    machine().Fail("CoCreateInstance", static_cast<uint32_t>(E_FAIL), -1);
    machine().Fail("CreateProcessW", ERROR_FILE_NOT_FOUND, -1);
    machine().Extension<winsim::Bus>().SetDown(true);

    impl().ReleaseKeyboard();

    const auto writes = Journal("hid");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].rfind("write " + Narrow(keyboardPath) + " 93 bytes 01 08 01 00", 0), 0u);
}

class DragDropTest : public SessionPcTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DragDropTest, StopMessageGoesOutWhetherOrNotTheMirrorExists) {
    if (GetParam()) {
        CreateMirrorDirectory();
    }
    impl().StopBasicModeDragDrop();
    EXPECT_EQ(Journal("post"), std::vector<std::string>{"0x590000 0x590003 \"\""});
    EXPECT_FALSE(MirrorDirectoryExists());
}

INSTANTIATE_TEST_SUITE_P(Mirror, DragDropTest, ::testing::Bool());

}  // namespace
