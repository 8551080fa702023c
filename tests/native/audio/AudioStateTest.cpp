// The recorded PC mute state on a simulated machine: what reaches the playback
// device, what the registry holds after, and the exact log lines. A muted
// record applied and the stored audio position are pinned by the recovery's
// journal.
#include "audio/AudioState.h"
#include "support/ImplTest.h"

#include <winsim/SimAudio.h>
#include <winsim/SimRegistry.h>
#include <winsim/SimSessions.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const winsim::UserAccount kAlice{L"DESKTOP\\alice", L"S-1-5-21-100-200-300-1001"};
const std::wstring kSettingPath = L"SOFTWARE\\Norvane\\DeskSuite\\setting";
const std::wstring kAliceSetting = kAlice.sid + L"\\" + kSettingPath;
const std::string kAliceSettingText = "HKEY_USERS\\" + winsim::Narrow(kAliceSetting);

// The record used up: what the registry and the log show.
const std::string kConsumedInRegistry =
    "registry: set " + kAliceSettingText + "\\pcmute = 4294967295";
const std::string kConsumed = "log: 3 save screen pc mute =-1(SetPCMuteState)";
const std::string kCancel = "(NxReVadiruService::Impl::CancelAudioMute)";

// Alice at the console.
class AudioStateTest : public simtest::ImplTest {
protected:
    AudioStateTest() { machine().Extension<winsim::Sessions>().LogOnConsole(kAlice); }
    winsim::SimRegistry registry() { return winsim::SimRegistry(machine()); }
    // Log lines, device activations and changes, and registry changes, in order.
    std::vector<std::string> Effects() {
        return machine().JournalLines({"log", "com", "audio", "registry"});
    }
};

// An unmuted record is applied too (only a negative one means none), and a
// refused change is logged with its result as a signed number. The host's
// thread is in the multithreaded apartment, which refuses the plug-in's own
// initialisation: the thread stays as the host left it.
TEST_F(AudioStateTest, UnmutedRecordMeetingARefusedMuteIsStillConsumed) {
    registry().SetDword(HKEY_USERS, kAliceSetting, L"pcmute", 0);
    machine().Extension<winsim::Audio>().SetMuted(true);
    machine().Fail("IAudioEndpointVolume::SetMute", static_cast<uint32_t>(E_FAIL));
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);

    impl().CancelAudioMute();

    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE) << "still initialised";
    CoUninitialize();
    CoUninitialize();

    EXPECT_EQ(Effects(),
              (std::vector<std::string>{
                  "log: 3 get pc mute =0(GetPCMuteState)", "com: Activate console 23",
                  "log: 3 set mute state:0" + kCancel, "log: 4 attatch err:-2147467259" + kCancel,
                  kConsumedInRegistry, kConsumed}));
}

// A device already as recorded answers the change with S_FALSE: no failure.
TEST_F(AudioStateTest, MutedRecordMeetingAMutedDeviceIsNoFailure) {
    registry().SetDword(HKEY_USERS, kAliceSetting, L"pcmute", 1);
    machine().Extension<winsim::Audio>().SetMuted(true);

    impl().CancelAudioMute();

    EXPECT_EQ(Effects(), (std::vector<std::string>{
                             "log: 3 get pc mute =1(GetPCMuteState)", "com: Activate console 23",
                             "log: 3 set mute state:1" + kCancel, "audio: SetMute console 1",
                             kConsumedInRegistry, kConsumed}));
}

// -1 is no record: the device is left alone (a mute of -1 would mute it).
TEST_F(AudioStateTest, NoRecordLeavesTheDeviceAlone) {
    registry().SetDword(HKEY_USERS, kAliceSetting, L"pcmute", static_cast<DWORD>(-1));
    impl().CancelAudioMute();
    EXPECT_EQ(Effects(), std::vector<std::string>{"log: 3 get pc mute =-1(GetPCMuteState)"});
}

// Where the record is consumed, if anywhere; the user's key is in place.
TEST_F(AudioStateTest, ConsumingCreatesTheUsersKeyWhenMissing) {
    registry().CreateKey(HKEY_USERS, kAlice.sid);

    EXPECT_TRUE(SetPCMuteState());

    EXPECT_EQ(Effects(), (std::vector<std::string>{"registry: create " + kAliceSettingText,
                                                   kConsumedInRegistry, kConsumed}));
}

TEST_F(AudioStateTest, ConsumingFailsWhenTheUsersKeyCannotBeCreated) {
    registry().CreateKey(HKEY_USERS, kAlice.sid);
    registry().SetAccess(HKEY_USERS, kAlice.sid, winsim::KeyAccess::ReadOnly);

    EXPECT_FALSE(SetPCMuteState());

    EXPECT_EQ(Effects(), std::vector<std::string>{});
}

// A key in place is used as it is, even one that cannot be written.
TEST_F(AudioStateTest, ConsumingUsesTheUsersKeyAsItIs) {
    registry().SetAccess(HKEY_USERS, kAliceSetting, winsim::KeyAccess::ReadOnly);

    EXPECT_TRUE(SetPCMuteState());

    EXPECT_EQ(Effects(), std::vector<std::string>{kConsumed});
}

}  // namespace
