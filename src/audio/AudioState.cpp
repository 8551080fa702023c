// The recorded PC mute state and the stored audio position, both in the console
// user's hive, and putting the default playback device's mute back as recorded.
#include "audio/AudioState.h"

#include "win32/ComInitScope.h"
#include "win32/ComPtr.h"
#include "plugin/Log.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "process/ActiveConsoleUser.h"

#include "Registry.h"
#include "TandemConfig.h"

#include <windows.h>
// Defines the interface identifiers below in this unit, as the SDK requires.
#include <initguid.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>

#include <string>

using Impl = NxReVadiruService::Impl;

namespace {

constexpr wchar_t kSettingKeyPath[] = L"\\SOFTWARE\\Norvane\\DeskSuite\\setting";
constexpr wchar_t kPcMuteValue[] = L"pcmute";
constexpr int32_t kNothingRecorded = -1;

std::wstring UserSettingKey() {
    return GetActiveUserSid() + kSettingKeyPath;
}

}  // namespace

int32_t GetPCMuteState() {
    const std::wstring subKey = UserSettingKey();
    DE::Registry users;
    users.SetRootKey(HKEY_USERS);
    if (!users.KeyExists(subKey)) {
        return kNothingRecorded;
    }
    int32_t state = 0;
    if (!DE::Registry::GetValue(HKEY_USERS, subKey, kPcMuteValue, state, KEY_ALL_ACCESS)) {
        return kNothingRecorded;
    }
    LogInfo(L"GetPCMuteState", "get pc mute =", state);
    return state;
}

bool SetPCMuteState() {
    const std::wstring subKey = UserSettingKey();
    DE::Registry users;
    users.SetRootKey(HKEY_USERS);
    if (!users.KeyExists(subKey) && !users.CreateKey(subKey)) {
        return false;
    }
    DE::Registry::SetValue(HKEY_USERS, subKey, kPcMuteValue, kNothingRecorded, KEY_ALL_ACCESS);
    LogInfo(L"SetPCMuteState", "save screen pc mute =", kNothingRecorded);
    return true;
}

void Impl::CancelAudioMute() {
    constexpr wchar_t kOperation[] = L"NxReVadiruService::Impl::CancelAudioMute";
    const int32_t state = GetPCMuteState();
    if (state < 0) {
        return;
    }
    // Declared in this order so that the interfaces are released volume first,
    // enumerator last, and COM is uninitialised after all of them.
    const ComInitScope com;
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<IMMDevice> device;
    ComPtr<IAudioEndpointVolume> volume;
    HRESULT result = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IMMDeviceEnumerator, enumerator.put_void());
    if (SUCCEEDED(result)) {
        result = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.put());
    }
    if (SUCCEEDED(result)) {
        result = device->Activate(IID_IAudioEndpointVolume, CLSCTX_ALL, nullptr, volume.put_void());
    }
    if (SUCCEEDED(result)) {
        LogInfo(kOperation, "set mute state:", state);
        result = volume->SetMute(state, nullptr);
    }
    if (FAILED(result)) {
        LogError(kOperation, "attatch err:", result);
    }
    // The record is used up whether or not applying it worked.
    SetPCMuteState();
}

void Impl::RestoreAudioPos() {
    constexpr wchar_t kOperation[] = L"NxReVadiruService::Impl::RestoreAudioPos";
    constexpr int32_t kAudioPos = 0;
    LogInfo(kOperation, "restore audio pos:", kAudioPos);
    if (!TandemConfig::IsExistsRegKey(kSettingKeyPath, true)) {
        return;
    }
    const std::wstring sid = GetActiveUserSid();
    // Without a console user the service's own hive is the only one to write to.
    const HKEY root = sid.empty() ? HKEY_CURRENT_USER : HKEY_USERS;
    DE::Registry::SetValue(root, sid + kSettingKeyPath, L"AudioPos", kAudioPos, KEY_ALL_ACCESS);
}
