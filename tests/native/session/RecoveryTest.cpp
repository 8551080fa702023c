// The recovery sequence: every step in order, each step's own conditions, and
// two recoveries entered together running one after the other.
#include "native/session/RecoveryJournal.h"
#include "native/session/SessionPc.h"
#include "support/ClockDriver.h"

#include <winsim/SimAudio.h>

#include <winsim/Bus.h>

#include <algorithm>
#include <thread>

namespace {

using namespace sessiontest;
using winsim::Narrow;

const std::vector<std::string> kEffects = {"log", "process", "registry", "hid", "audio", "post"};

class RecoveryTest : public SessionPcTest {};

TEST_F(RecoveryTest, PutsEveryThingBackInOrder) {
    registry.SetDword(HKEY_USERS, kUserSetting, L"pcmute", 1);
    registry.SetDword(HKEY_LOCAL_MACHINE, kDriverKey, L"DriverState", 1);
    impl().originDpiScale = 150;
    // The configuration component finds the settings key.
    registry.CreateKey(HKEY_CURRENT_USER, L"SOFTWARE\\Norvane\\DeskSuite\\setting");
    CreateMirrorDirectory();

    impl().ReleaseKeyboard();

    EXPECT_EQ(machine().JournalLines(kEffects),
              RecoveryJournal({"10000", "10008", keyboardPath, true, true}));
    EXPECT_FALSE(MirrorDirectoryExists());
    EXPECT_TRUE(machine().Extension<winsim::Audio>().Muted());
}

}  // namespace

namespace {

bool ScalingStepRan(winsim::Machine& machine) {
    for (const auto& line : machine.JournalTexts("process")) {
        if (line.find("cmd=<NxReVadiru.exe setdpi 150 0>") != std::string::npos) {
            return true;
        }
    }
    return false;
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

    EXPECT_EQ(ScalingStepRan(machine()), test.restoresScaling);
    const auto lines = LogLines();
    const auto stollLines = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("stoll") != std::string::npos;
    });
    if (test.conversionLine == nullptr) {
        EXPECT_EQ(stollLines, 0);
    } else {
        EXPECT_EQ(stollLines, 1);
        EXPECT_NE(std::find(lines.begin(), lines.end(), test.conversionLine), lines.end());
    }
    // The rest of the sequence runs whatever the build number was.
    EXPECT_EQ(Journal("registry").back(),
              "set HKEY_USERS\\" + Narrow(kUserSetting) + "\\nxExcreenRunning = 0");
}

INSTANTIATE_TEST_SUITE_P(
    Builds, BuildNumberTest,
    ::testing::Values(BuildCase{"OneBelowThreshold", L"25999", true, nullptr},
                      BuildCase{"Threshold", L"26000", false, nullptr},
                      BuildCase{"Larger", L"26100", false, nullptr},
                      BuildCase{"Negative", L"-1", false, nullptr},
                      BuildCase{"DigitsThenPoint", L"22631.4317", true, nullptr},
                      BuildCase{"Empty", L"", false,
                                "4 stoll exception: invalid stoll argument(DE::StollS)"},
                      BuildCase{"Letters", L"abc", false,
                                "4 stoll exception: invalid stoll argument(DE::StollS)"},
                      BuildCase{"TooLarge", L"99999999999999999999", false,
                                "4 stoll exception: stoll argument out of range(DE::StollS)"}),
    [](const ::testing::TestParamInfo<BuildCase>& info) { return info.param.name; });

TEST_F(RecoveryTest, TwoRecoveriesEnteredTogetherRunOneAfterTheOther) {
    // A slow disable command keeps the first run inside the sequence while the
    // second arrives.
    registry.SetDword(HKEY_LOCAL_MACHINE, kDriverKey, L"DriverState", 1);
    machine().Extension<winsim::Processes>().Register(L"cmd.exe", winsim::programs::RunsFor(5000));
    const simtest::ClockDriver clock(machine());
    std::thread first([this] { impl().ReleaseKeyboard(); });
    std::thread second([this] { impl().ReleaseKeyboard(); });
    first.join();
    second.join();

    const std::vector<std::string> kSteps = {
        "log: 3 [VuVidazi] DRAGDROP - "
        "DragFileFail...(NxReVadiruService::Impl::StopBasicModeDragDrop)",
        "log: 3 ReleaseKeyBoard(NxReVadiruService::Impl::ReleaseKeyboard)",
        "registry: set HKEY_USERS\\" + Narrow(kUserSetting) + "\\nxExcreenRunning = 0"};
    std::vector<std::string> steps;
    for (const auto& line : machine().JournalLines({"log", "registry"})) {
        if (std::find(kSteps.begin(), kSteps.end(), line) != kSteps.end()) {
            steps.push_back(line);
        }
    }
    EXPECT_EQ(steps, std::vector<std::string>(
                         {kSteps[0], kSteps[1], kSteps[2], kSteps[0], kSteps[1], kSteps[2]}));
}

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
