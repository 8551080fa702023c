// The keyboard channel and the audio state on real Win32, with the records in
// the real registry hive of the user the plug-in finds. Under Wine 8.0 the
// device interface list is a stub that fails, so the search never gets to a
// device, and without a sound card there is no default playback endpoint.
#include "audio/AudioState.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "process/ActiveConsoleUser.h"

#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

// The console user's "\SOFTWARE\Norvane\DeskSuite\setting" key under
// HKEY_USERS; what the test adds to the hive is removed again afterwards.
class UserSetting {
public:
    explicit UserSetting(const std::wstring& sid) : key_(sid + L"\\" + kPath) {
        // The outermost key of the path that is missing is the one to remove.
        for (const wchar_t* part : {L"SOFTWARE\\Norvane", L"SOFTWARE\\Norvane\\DeskSuite", kPath}) {
            const std::wstring key = sid + L"\\" + part;
            if (!Exists(key)) {
                created_ = key;
                break;
            }
        }
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_USERS, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) == ERROR_SUCCESS) {
            RegCloseKey(key);
        }
    }
    ~UserSetting() {
        if (created_) {
            RegDeleteTreeW(HKEY_USERS, created_->c_str());
            RegDeleteKeyW(HKEY_USERS, created_->c_str());
            return;
        }
        for (const wchar_t* name : {L"pcmute", L"AudioPos"}) {
            RegDeleteKeyValueW(HKEY_USERS, key_.c_str(), name);
        }
    }
    UserSetting(const UserSetting&) = delete;
    UserSetting& operator=(const UserSetting&) = delete;

    void Set(const wchar_t* name, DWORD value) const {
        RegSetKeyValueW(HKEY_USERS, key_.c_str(), name, REG_DWORD, &value, sizeof(value));
    }
    std::optional<DWORD> Get(const wchar_t* name) const {
        DWORD value = 0;
        DWORD size = sizeof(value);
        if (RegGetValueW(HKEY_USERS, key_.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value,
                         &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return value;
    }

private:
    static bool Exists(const std::wstring& key) {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_USERS, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(opened);
        return true;
    }

    static constexpr wchar_t kPath[] = L"SOFTWARE\\Norvane\\DeskSuite\\setting";
    const std::wstring key_;
    std::optional<std::wstring> created_;
};

class HidAudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        sid_ = GetActiveUserSid();
        ASSERT_FALSE(sid_.empty()) << "the plug-in finds no user";
    }

    LogCapture log_;
    std::wstring sid_;
    std::shared_ptr<NxReVadiruService::Impl> impl_ = std::make_shared<NxReVadiruService::Impl>();
};

TEST_F(HidAudioTest, WriteWithoutTheDriverLogsTheReportAndTheWritesError) {
    std::array<unsigned char, 93> report{0x01, 0x08, 0x01};

    impl_->WriteToHidDriver(report.data());

    std::string dump = " 01 08 01";
    for (int i = 0; i < 90; ++i) {
        dump += " 00";
    }
    EXPECT_EQ(log_.Lines(), (std::vector<std::string>{
                                "4 get device interface list size failed"
                                "(NxReVadiruService::Impl::SetKeyboardDriverFile)",
                                "4 WriteToHidDriver [" + dump +
                                    "] failed 6(NxReVadiruService::Impl::WriteToHidDriver)"}));
}

TEST_F(HidAudioTest, CancellingWithoutAPlaybackEndpointStillConsumesTheRecord) {
    const UserSetting setting(sid_);
    setting.Set(L"pcmute", 1);

    impl_->CancelAudioMute();

    EXPECT_EQ(setting.Get(L"pcmute"), 0xFFFFFFFFu);
    EXPECT_EQ(log_.Lines(),
              (std::vector<std::string>{
                  "3 get pc mute =1(GetPCMuteState)",
                  "4 attatch err:-2147023728(NxReVadiruService::Impl::CancelAudioMute)",
                  "3 save screen pc mute =-1(SetPCMuteState)"}));
}

TEST_F(HidAudioTest, AudioPositionIsResetInTheUsersHive) {
    const UserSetting setting(sid_);
    setting.Set(L"AudioPos", 7);

    impl_->RestoreAudioPos();

    // The process's own hive is the user's, so the configuration finds the key.
    EXPECT_EQ(setting.Get(L"AudioPos"), 0u);
    EXPECT_EQ(log_.Lines(), std::vector<std::string>{
                                "3 restore audio pos:0(NxReVadiruService::Impl::RestoreAudioPos)"});
}

}  // namespace
