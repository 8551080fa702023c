// The recovery sequence: every step in order and each step's own conditions.
#include "support/SessionPc.h"
#include "support/ClockDriver.h"

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace simtest;
using winsim::Narrow;

using RecoveryTest = SessionPcTest;

TEST_F(RecoveryTest, PutsEveryThingBackInOrder) {
    registry.SetDword(HKEY_USERS, kUserSetting, L"pcmute", 1);
    registry.SetDword(HKEY_LOCAL_MACHINE, kDriverKey, L"DriverState", 1);
    impl().originDpiScale = 150;
    // The configuration component finds the settings key.
    registry.CreateKey(HKEY_CURRENT_USER, L"SOFTWARE\\Norvane\\DeskSuite\\setting");
    // The display shows the scale already; the helper's own run is the DPI
    // tests' business, here it stays up. The disable command takes a while.
    ShowPercent(machine(), 150);
    auto& processes = machine().Extension<winsim::Processes>();
    processes.Register(L"NxReVadiru.exe", winsim::Program{});
    processes.Register(L"cmd.exe", winsim::programs::RunsFor(500));

    {
        const simtest::ClockDriver clock(machine());
        impl().ReleaseKeyboard();
    }

    std::string report = "hid: write " + Narrow(keyboardPath) + " 93 bytes 01 08 01";
    for (int i = 0; i < 90; ++i) {
        report += " 00";
    }
    const std::string setting = "registry: set HKEY_USERS\\" + Narrow(kUserSetting);
    EXPECT_EQ(
        machine().JournalLines({"log", "process", "registry", "hid", "audio", "post"}),
        (std::vector<std::string>{
            // The scaling, through the helper's command on the user's desktop.
            "process: CreateProcessAsUserW user=<DESKTOP\\alice> session=1 app=(null) "
            "cmd=<NxReVadiru.exe setdpi 150 0> dir=(null) env=<USERNAME=alice> flags=0x430 "
            "inherit=0 psa=(null) tsa=(null) si.cb=ok desktop=<winsta0\\default> "
            "startf=0x1 show=0 -> pid 10000",
            "log: 4 CreateUserProcessEx processId: "
            "10000(`anonymous-namespace'::CreateProcessAsUserEx)",
            "log: 3 [VuVidazi] restore dpi 150 curdpi 150(NxReVadiruService::Impl::RestoreDpi)",
            "registry: set HKEY_USERS\\" + Narrow(kUserDpi) + "\\needRestore = 0",
            // The mute, then the position.
            "log: 3 get pc mute =1(GetPCMuteState)",
            "log: 3 set mute state:1(NxReVadiruService::Impl::CancelAudioMute)",
            "audio: SetMute console 1",
            setting + "\\pcmute = 4294967295",
            "log: 3 save screen pc mute =-1(SetPCMuteState)",
            "log: 3 restore audio pos:0(NxReVadiruService::Impl::RestoreAudioPos)",
            setting + "\\AudioPos = 0",
            // Drag-and-drop.
            "log: 3 [VuVidazi] DRAGDROP - "
            "DragFileFail...(NxReVadiruService::Impl::StopBasicModeDragDrop)",
            "post: 0x590000 0x590003 \"\"",
            // The virtual display driver, waited for.
            "log: 3  needDisableDriver VirtualDisplayDriver "
            "1(NxReVadiruService::Impl::NeedDisable)",
            "process: CreateProcessW user=<NT AUTHORITY\\SYSTEM> session=0 app=(null) "
            "cmd=<cmd.exe /c NxReVadiru.exe disable> dir=(null) env=inherit "
            "flags=0x8000000 inherit=1 psa=(null) tsa=(null) si.cb=ok desktop=(null) "
            "startf=0x0 show=0 -> pid 10008",
            "process: ended <cmd.exe> pid=10008 exit=0",
            // The keyboard.
            "log: 3 ReleaseKeyBoard(NxReVadiruService::Impl::ReleaseKeyboard)",
            "log: 4 Success: Found my device..(NxReVadiruService::Impl::CheckIfOurDevice)",
            report,
            // The driver's settings, then the running flag.
            "registry: delete HKEY_LOCAL_MACHINE\\SOFTWARE\\DeskSuite\\Drivers\\IDDSettings",
            "log: 3 [VuVidazi] Clear Vdisplay info "
            "successfully(NxReVadiruService::Impl::ClearVdisplayInfo)",
            setting + "\\nxExcreenRunning = 0",
        }));
}

// The build number decides whether the scaling is restored; one that cannot be
// read is logged and restores nothing.
struct BuildCase {
    const char* name;
    const wchar_t* build;
    std::vector<std::string> firstLines;  // the recovery's first two log lines
};

class BuildNumberTest : public SessionPcTest, public ::testing::WithParamInterface<BuildCase> {};

TEST_P(BuildNumberTest, DecidesWhetherTheScalingIsRestored) {
    registry.SetString(HKEY_LOCAL_MACHINE, kCurrentVersion, L"CurrentBuildNumber",
                       GetParam().build);
    ShowPercent(machine(), 150);
    impl().originDpiScale = 150;
    impl().ReleaseKeyboard();
    const auto lines = LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 2), GetParam().firstLines);
}

const std::string kNoScaling = "3 restore audio pos:0(NxReVadiruService::Impl::RestoreAudioPos)";

INSTANTIATE_TEST_SUITE_P(
    Builds, BuildNumberTest,
    ::testing::Values(
        BuildCase{"Threshold",
                  L"26000",
                  {kNoScaling,
                   "3 [VuVidazi] DRAGDROP - "
                   "DragFileFail...(NxReVadiruService::Impl::StopBasicModeDragDrop)"}},
        BuildCase{
            "Zero",
            L"0",
            {"4 CreateUserProcessEx processId: 10000(`anonymous-namespace'::CreateProcessAsUserEx)",
             "3 [VuVidazi] restore dpi 150 curdpi 150(NxReVadiruService::Impl::RestoreDpi)"}},
        BuildCase{
            "Empty", L"", {"4 stoll exception: invalid stoll argument(DE::StollS)", kNoScaling}},
        BuildCase{"TooLarge",
                  L"99999999999999999999",
                  {"4 stoll exception: stoll argument out of range(DE::StollS)", kNoScaling}}),
    [](const auto& info) { return std::string(info.param.name); });

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
    auto& processes = machine().Extension<winsim::Processes>();
    processes.Register(L"cmd.exe", winsim::Program{});  // never ends
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
    const auto processList = processes.List();
    EXPECT_EQ(std::count_if(processList.begin(), processList.end(),
                            [](const auto& process) {
                                return process.imageName == L"cmd.exe" && process.running;
                            }),
              2);
}

}  // namespace
