// The recovery sequence: every step in order and each step's own conditions.
#include "support/ClockDriver.h"
#include "support/JournalMatchers.h"
#include "support/NamedRows.h"
#include "support/SessionPc.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace simtest;
using ::testing::Contains;

using RecoveryTest = SessionPcTest;

TEST_F(RecoveryTest, PutsEveryThingBackInOrder) {
    registry.SetDword(HKEY_USERS, kUserSetting, L"pcmute", 1);
    registry.SetDword(HKEY_LOCAL_MACHINE, kDriverKey, L"DriverState", 1);
    impl().originDpiScale = 150;
    // The configuration component finds the settings key.
    registry.CreateKey(HKEY_CURRENT_USER, kSettingPath);
    // The display shows the scale already; the helper's own run is the DPI
    // tests' business, here it stays up. The disable command takes a while.
    ShowPercent(machine(), 150);
    processes().Register(L"NxReVadiru.exe", winsim::Program{});
    processes().Register(L"cmd.exe", winsim::programs::RunsFor(500));

    {
        const simtest::ClockDriver clock(machine());
        impl().ReleaseKeyboard();
    }

    EXPECT_THAT(machine().Journal(),
                InOrder(StartedAsConsoleUser(L"NxReVadiru.exe setdpi 150 0"),
                        SetUserValue(kDpiPath, L"needRestore", 0), SetMute(true),
                        SetUserValue(kSettingPath, L"pcmute", -1),
                        SetUserValue(kSettingPath, L"AudioPos", 0), Posted(0x590000, 0x590003, ""),
                        StartedAsService(L"cmd.exe /c NxReVadiru.exe disable"), Ended("cmd.exe"),
                        Logged(3, "ReleaseKeyBoard", "NxReVadiruService::Impl::ReleaseKeyboard"),
                        WroteReleaseReport(keyboardPath),
                        DeletedKey(L"HKEY_LOCAL_MACHINE\\" + kIddSettings),
                        SetUserValue(kSettingPath, L"nxExcreenRunning", 0)));
}

// The build number decides whether the scaling is restored; one that cannot be
// read is logged, restores nothing, and the rest of the sequence runs.
struct BuildCase : testrows::Named {
    const wchar_t* build;
    bool restores;
    const char* unreadable = nullptr;  // the conversion's reason
};

class BuildNumberTest : public SessionPcTest, public ::testing::WithParamInterface<BuildCase> {};

TEST_P(BuildNumberTest, DecidesWhetherTheScalingIsRestored) {
    registry.SetString(HKEY_LOCAL_MACHINE, kCurrentVersion, L"CurrentBuildNumber",
                       GetParam().build);
    impl().originDpiScale = 150;
    errno = ERANGE;  // left over from an earlier call on this thread
    impl().ReleaseKeyboard();
    EXPECT_THAT(machine().Journal(), Contains(StartedAsConsoleUser(L"NxReVadiru.exe setdpi 150 0"))
                                         .Times(GetParam().restores ? 1 : 0));
    if (GetParam().unreadable) {
        EXPECT_THAT(machine().Journal(),
                    InOrder(Logged(4, std::string("stoll exception: ") + GetParam().unreadable,
                                   "DE::StollS"),
                            WroteReleaseReport(keyboardPath)));
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, BuildNumberTest,
                         ::testing::Values(BuildCase{"Zero", L"0", true},
                                           BuildCase{"BelowTheThreshold", L"25999", true},
                                           BuildCase{"WithARevision", L"22631.2861", true},
                                           BuildCase{"Threshold", L"26000", false},
                                           BuildCase{"Negative", L"-1", false},
                                           BuildCase{"Empty", L"", false, "invalid stoll argument"},
                                           BuildCase{"TooLarge", L"99999999999999999999", false,
                                                     "stoll argument out of range"}),
                         testrows::RowName());

// The stop goes out whether or not the mirror is there; only a mirror that is
// there is deleted.
TEST_F(RecoveryTest, DragDropStopDeletesTheMirrorOnlyWhenItIsThere) {
    impl().StopBasicModeDragDrop();
    CreateMirrorDirectory();
    impl().StopBasicModeDragDrop();
    const std::string stop = "post: 0x590000 0x590003 \"\"";
    EXPECT_EQ(machine().JournalLines({"post", "file"}),
              (std::vector<std::string>{
                  stop, stop, "file: delete directory " + (mirrorRoot / "NorvaneShare").string()}));
    EXPECT_FALSE(MirrorDirectoryExists());
}

// The recovery waits for the virtual display driver's disable command, but not
// forever: a command that hangs releases the recovery (and the recoveries
// queued behind it, which run one after the other) after a fixed limit, and is
// left running.
TEST_F(RecoveryTest, HungDisableCommandsHoldEachOfTwoRecoveriesForOneLimit) {
    registry.SetDword(HKEY_LOCAL_MACHINE, kDriverKey, L"DriverState", 1);
    processes().Register(L"cmd.exe", winsim::Program{});  // never ends
    {
        const simtest::ClockDriver clock(machine());
        std::thread first([this] { impl().ReleaseKeyboard(); });
        std::thread second([this] { impl().ReleaseKeyboard(); });
        first.join();
        second.join();
    }

    // The second run starts after the first has cleared the running flag, and
    // repeats every step; each run's command holds it for one limit.
    const std::vector<std::string> steps = {
        "log: 3 [VuVidazi] DRAGDROP - "
        "DragFileFail...(NxReVadiruService::Impl::StopBasicModeDragDrop)",
        "log: 4 [VuVidazi] disable command still running after 60000 ms, recovery goes "
        "on(NxReVadiruService::Impl::ExecuteCmd)",
        "log: 3 ReleaseKeyBoard(NxReVadiruService::Impl::ReleaseKeyboard)",
        "registry: set HKEY_USERS\\" + winsim::Narrow(kUserSetting) + "\\nxExcreenRunning = 0"};
    std::vector<std::string> seen;
    std::vector<uint64_t> times;
    for (const auto& entry : machine().Journal()) {
        const std::string line = entry.kind + ": " + entry.text;
        if (std::find(steps.begin(), steps.end(), line) != steps.end()) {
            seen.push_back(line);
            times.push_back(entry.time);
        }
    }
    std::vector<std::string> twice = steps;
    twice.insert(twice.end(), steps.begin(), steps.end());
    EXPECT_EQ(seen, twice);
    EXPECT_EQ(times,
              (std::vector<uint64_t>{0, 60000, 60000, 60000, 60000, 120000, 120000, 120000}));
    EXPECT_THAT(processes().List(),
                Contains(::testing::AllOf(::testing::Field(&winsim::ProcessInfo::imageName,
                                                           std::wstring(L"cmd.exe")),
                                          ::testing::Field(&winsim::ProcessInfo::running, true)))
                    .Times(2));
}

}  // namespace
