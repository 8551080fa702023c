// The recorded PC mute state and the stored audio position on a simulated
// machine: what reaches the playback device, what the registry holds after,
// the exact log lines, and that COM is balanced and every interface released
// on every path (the fixture's end check).
#include "audio/AudioState.h"
#include "native/display/ImplTest.h"

#include <winsim/SimAudio.h>
#include <winsim/SimRegistry.h>
#include <winsim/SimSessions.h>
#include <windows.h>
#include <mmdeviceapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

const winsim::UserAccount kAlice{L"DESKTOP\\alice", L"S-1-5-21-100-200-300-1001"};
const std::wstring kSettingPath = L"SOFTWARE\\Norvane\\DeskSuite\\setting";
const std::wstring kAliceSetting = kAlice.sid + L"\\" + kSettingPath;
const std::string kAliceSettingText =
    "HKEY_USERS\\S-1-5-21-100-200-300-1001\\" + winsim::Narrow(kSettingPath);
constexpr uint32_t kNothingRecorded = 0xFFFFFFFF;  // -1 as the registry holds it

const std::string kCancel = "(NxReVadiruService::Impl::CancelAudioMute)";
const std::string kRestore = "(NxReVadiruService::Impl::RestoreAudioPos)";
const std::string kConsumed = "log: 3 save screen pc mute =-1(SetPCMuteState)";
const std::string kConsumedInRegistry =
    "registry: set " + kAliceSettingText + "\\pcmute = 4294967295";

std::string Recorded(int32_t state) {
    return "log: 3 get pc mute =" + std::to_string(state) + "(GetPCMuteState)";
}

// The failed call's result as a signed decimal number.
std::string AttachError(const std::string& result) {
    return "log: 4 attatch err:" + result + kCancel;
}

// Alice at the console.
class AudioStateTest : public displaytest::ImplTest {
protected:
    AudioStateTest() { machine().Extension<winsim::Sessions>().LogOnConsole(kAlice); }
    winsim::SimRegistry registry() { return winsim::SimRegistry(machine()); }
    winsim::Audio& audio() { return machine().Extension<winsim::Audio>(); }
    std::optional<uint32_t> AlicePcMute() {
        return registry().GetDword(HKEY_USERS, kAliceSetting, L"pcmute");
    }
    // Log lines, device changes and registry changes, in the order they happened.
    std::vector<std::string> Effects() {
        return machine().JournalLines({"log", "audio", "registry"});
    }
};

// A recorded state, the device as the user left it, and what cancelling must do.
struct CancelCase {
    const char* name;
    uint32_t pcmute;
    bool mutedBefore;
    std::function<void(winsim::Machine&, winsim::Audio&)> arrange;
    std::vector<std::string> effects;  // up to the record being consumed, which always follows
    bool mutedAfter;
};

void PrintTo(const CancelCase& cancelCase, std::ostream* out) {
    *out << cancelCase.name;
}

// A muted record meeting a COM call that fails; `shown` is its result as logged.
CancelCase ComCallFails(const char* name, const char* function, HRESULT result,
                        const std::string& shown) {
    return {name,
            1,
            false,
            [function, result](winsim::Machine& machine, winsim::Audio&) {
                machine.Fail(function, static_cast<uint32_t>(result));
            },
            {Recorded(1), AttachError(shown)},
            false};
}

class CancelAudioMuteTest : public AudioStateTest,
                            public ::testing::WithParamInterface<CancelCase> {};

TEST_P(CancelAudioMuteTest, AppliesTheRecordOnceAndConsumesIt) {
    registry().SetDword(HKEY_USERS, kAliceSetting, L"pcmute", GetParam().pcmute);
    audio().SetMuted(GetParam().mutedBefore);
    if (GetParam().arrange) {
        GetParam().arrange(machine(), audio());
    }

    impl().CancelAudioMute();

    std::vector<std::string> effects = GetParam().effects;
    effects.insert(effects.end(), {kConsumedInRegistry, kConsumed});
    EXPECT_EQ(Effects(), effects);
    EXPECT_EQ(audio().Muted(), GetParam().mutedAfter);
    EXPECT_EQ(AlicePcMute(), kNothingRecorded);
}

INSTANTIATE_TEST_SUITE_P(
    Records, CancelAudioMuteTest,
    ::testing::Values(
        CancelCase{"MutedIsRestored",
                   1,
                   false,
                   nullptr,
                   {Recorded(1), "log: 3 set mute state:1" + kCancel, "audio: SetMute console 1"},
                   true},
        CancelCase{"UnmutedIsRestored",
                   0,
                   true,
                   nullptr,
                   {Recorded(0), "log: 3 set mute state:0" + kCancel, "audio: SetMute console 0"},
                   false},
        CancelCase{
            "NoPlaybackDevice",
            1,
            false,
            [](winsim::Machine&, winsim::Audio& audio) { audio.SetPlaybackEndpointPresent(false); },
            {Recorded(1), AttachError("-2147023728")},
            false},
        ComCallFails("EnumeratorUnavailable", "CoCreateInstance", REGDB_E_CLASSNOTREG,
                     "-2147221164"),
        // COM refused on the thread: the enumerator then cannot be created.
        ComCallFails("ComRefusedOnThisThread", "CoInitialize", E_OUTOFMEMORY, "-2147221008"),
        ComCallFails("VolumeControlUnavailable", "IMMDevice::Activate", E_ACCESSDENIED,
                     "-2147024891"),
        CancelCase{"MuteRefused",
                   0,
                   true,
                   [](winsim::Machine& machine, winsim::Audio&) {
                       machine.Fail("IAudioEndpointVolume::SetMute", static_cast<uint32_t>(E_FAIL));
                   },
                   {Recorded(0), "log: 3 set mute state:0" + kCancel, AttachError("-2147467259")},
                   true}),
    [](const auto& info) { return std::string(info.param.name); });

// Where "AudioPos" = 0 goes, if anywhere; the user's key is in place.
TEST_F(AudioStateTest, ConsumingCreatesTheUsersKeyWhenMissing) {
    registry().CreateKey(HKEY_USERS, kAlice.sid);

    EXPECT_TRUE(SetPCMuteState());

    EXPECT_EQ(AlicePcMute(), kNothingRecorded);
    EXPECT_EQ(Effects(), (std::vector<std::string>{"registry: create " + kAliceSettingText,
                                                   kConsumedInRegistry, kConsumed}));
}

TEST_F(AudioStateTest, ConsumingFailsWhenTheUsersKeyCannotBeCreated) {
    registry().CreateKey(HKEY_USERS, kAlice.sid);
    registry().SetAccess(HKEY_USERS, kAlice.sid, winsim::KeyAccess::ReadOnly);

    EXPECT_FALSE(SetPCMuteState());

    EXPECT_EQ(Effects(), std::vector<std::string>{});
}

// A thread that has COM already (S_FALSE inside) keeps it afterwards.
TEST_F(AudioStateTest, ThreadsOwnComInitialisationOutlivesTheCancel) {
    registry().SetDword(HKEY_USERS, kAliceSetting, L"pcmute", 1);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    impl().CancelAudioMute();
    EXPECT_TRUE(audio().Muted());
    IMMDeviceEnumerator* enumerator = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IMMDeviceEnumerator, reinterpret_cast<void**>(&enumerator)),
              S_OK);
    if (enumerator != nullptr) {
        enumerator->Release();
    }
    CoUninitialize();
}

struct RestoreCase {
    const char* name;
    bool sidFound;
    bool configKeyPresent;  // what the configuration component is asked about
    std::vector<std::string> writes;
};

void PrintTo(const RestoreCase& restoreCase, std::ostream* out) {
    *out << restoreCase.name;
}

class RestoreAudioPosTest : public AudioStateTest,
                            public ::testing::WithParamInterface<RestoreCase> {};

TEST_P(RestoreAudioPosTest, WritesZeroWhereTheUserIs) {
    if (!GetParam().sidFound) {
        machine().Fail("LookupAccountNameW", ERROR_NONE_MAPPED, -1);
    }
    if (GetParam().configKeyPresent) {
        registry().CreateKey(HKEY_CURRENT_USER, kSettingPath);
    }
    registry().CreateKey(HKEY_USERS, kAliceSetting);

    impl().RestoreAudioPos();

    std::vector<std::string> effects{"log: 3 restore audio pos:0" + kRestore};
    effects.insert(effects.end(), GetParam().writes.begin(), GetParam().writes.end());
    EXPECT_EQ(Effects(), effects);
}

INSTANTIATE_TEST_SUITE_P(
    Users, RestoreAudioPosTest,
    ::testing::Values(RestoreCase{"ConsoleUsersHive",
                                  true,
                                  true,
                                  {"registry: set " + kAliceSettingText + "\\AudioPos = 0"}},
                      RestoreCase{"NoSidWritesTheCurrentUsersHive",
                                  false,
                                  true,
                                  {"registry: set HKEY_CURRENT_USER\\" +
                                   winsim::Narrow(kSettingPath) + "\\AudioPos = 0"}},
                      RestoreCase{"KeyPathMissingForTheConfiguration", true, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
