// The default playback endpoint and its COM objects: the device enumerator,
// the endpoint device and its volume control.
#include "AudioObjects.h"
#include "ComObject.h"

#include <endpointvolume.h>
#include <mmdeviceapi.h>

#include <string>

const CLSID CLSID_MMDeviceEnumerator = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
const IID IID_IMMDeviceEnumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
const IID IID_IMMDevice = {
    0xD666063F, 0x1587, 0x4E43, {0x81, 0xF1, 0xB9, 0x48, 0xE8, 0x07, 0x36, 0x3F}};
const IID IID_IAudioEndpointVolume = {
    0x5CDF2C82, 0x841E, 0x4546, {0x97, 0x22, 0x0C, 0xF7, 0x40, 0x78, 0x22, 0x9A}};

namespace winsim {

namespace {

// The endpoint an object was made for has been removed since.
constexpr HRESULT kDeviceInvalidated = static_cast<HRESULT>(0x88890004);

Audio::State& AudioState() {
    return Current().Extension<Audio>().state();
}

// A fault injected under `method`, as its HRESULT, or S_OK.
HRESULT InjectedFault(const char* method) {
    uint32_t fault = 0;
    return Current().TakeFault(method, fault) ? static_cast<HRESULT>(fault) : S_OK;
}

const char* RoleName(ERole role) {
    switch (role) {
        case eConsole:
            return "console";
        case eMultimedia:
            return "multimedia";
        default:
            return "communications";
    }
}

bool EndpointStillPresent(uint64_t endpoint) {
    auto& state = AudioState();
    std::lock_guard lock(state.mutex);
    return state.present && state.endpoint == endpoint;
}

class EndpointVolume final : public ComObject<IAudioEndpointVolume> {
public:
    EndpointVolume(uint64_t endpoint, ERole role)
        : ComObject(IID_IAudioEndpointVolume, "COM IAudioEndpointVolume"),
          endpoint_(endpoint),
          role_(role) {}

    HRESULT STDMETHODCALLTYPE SetMute(BOOL bMute, LPCGUID) override {
        CheckComApartment();
        if (const HRESULT fault = InjectedFault("IAudioEndpointVolume::SetMute"); FAILED(fault)) {
            return fault;
        }
        auto& state = AudioState();
        bool changed = false;
        {
            std::lock_guard lock(state.mutex);
            if (!state.present || state.endpoint != endpoint_) {
                return kDeviceInvalidated;
            }
            changed = state.muted[role_] != (bMute != FALSE);
            state.muted[role_] = bMute != FALSE;
        }
        Current().Record("audio",
                         std::string("SetMute ") + RoleName(role_) + " " + std::to_string(bMute));
        return changed ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetMute(BOOL* pbMute) override {
        CheckComApartment();
        if (const HRESULT fault = InjectedFault("IAudioEndpointVolume::GetMute"); FAILED(fault)) {
            return fault;
        }
        if (pbMute == nullptr) {
            return E_POINTER;
        }
        auto& state = AudioState();
        std::lock_guard lock(state.mutex);
        if (!state.present || state.endpoint != endpoint_) {
            return kDeviceInvalidated;
        }
        *pbMute = state.muted[role_] ? TRUE : FALSE;
        return S_OK;
    }

    // Volume levels and notifications are not simulated; they are declared
    // only because they come before the mute methods in the interface.
    HRESULT STDMETHODCALLTYPE RegisterControlChangeNotify(IAudioEndpointVolumeCallback*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE
    UnregisterControlChangeNotify(IAudioEndpointVolumeCallback*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetChannelCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(FLOAT, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(FLOAT, LPCGUID) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(FLOAT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(FLOAT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT, FLOAT, LPCGUID) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT, FLOAT, LPCGUID) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT, FLOAT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT, FLOAT*) override {
        return E_NOTIMPL;
    }

private:
    const uint64_t endpoint_;
    const ERole role_;
};

class EndpointDevice final : public ComObject<IMMDevice> {
public:
    EndpointDevice(uint64_t endpoint, ERole role)
        : ComObject(IID_IMMDevice, "COM IMMDevice"), endpoint_(endpoint), role_(role) {}

    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD dwClsCtx, PROPVARIANT*,
                                       void** ppv) override {
        CheckComApartment();
        if (ppv != nullptr) {
            *ppv = nullptr;
        }
        if (const HRESULT fault = InjectedFault("IMMDevice::Activate"); FAILED(fault)) {
            return fault;
        }
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (!EndpointStillPresent(endpoint_)) {
            return kDeviceInvalidated;
        }
        if (!IsEqualIID(iid, IID_IAudioEndpointVolume)) {
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IAudioEndpointVolume*>(new EndpointVolume(endpoint_, role_));
        Current().Record(
            "com", std::string("Activate ") + RoleName(role_) + " " + std::to_string(dwClsCtx));
        return S_OK;
    }

private:
    const uint64_t endpoint_;
    const ERole role_;
};

class DeviceEnumerator final : public ComObject<IMMDeviceEnumerator> {
public:
    DeviceEnumerator() : ComObject(IID_IMMDeviceEnumerator, "COM IMMDeviceEnumerator") {}

    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow dataFlow, ERole role,
                                                      IMMDevice** ppEndpoint) override {
        CheckComApartment();
        if (ppEndpoint != nullptr) {
            *ppEndpoint = nullptr;
        }
        if (const HRESULT fault = InjectedFault("IMMDeviceEnumerator::GetDefaultAudioEndpoint");
            FAILED(fault)) {
            return fault;
        }
        if (ppEndpoint == nullptr) {
            return E_POINTER;
        }
        if ((dataFlow != eRender && dataFlow != eCapture) ||
            (role != eConsole && role != eMultimedia && role != eCommunications)) {
            return E_INVALIDARG;
        }
        auto& state = AudioState();
        uint64_t endpoint = 0;
        {
            std::lock_guard lock(state.mutex);
            if (dataFlow == eCapture || !state.present) {
                return E_NOTFOUND;
            }
            endpoint = state.endpoint;
        }
        *ppEndpoint = new EndpointDevice(endpoint, role);
        return S_OK;
    }
};

}  // namespace

HRESULT CreateAudioDeviceEnumerator(REFIID riid, void** ppv) {
    auto* enumerator = new DeviceEnumerator();
    const HRESULT result = enumerator->QueryInterface(riid, ppv);
    enumerator->Release();
    return result;
}

Audio::Audio() : state_(std::make_unique<State>()) {}

Audio::~Audio() = default;

void Audio::SetPlaybackEndpointPresent(bool present) {
    std::lock_guard lock(state_->mutex);
    if (present && !state_->present) {
        ++state_->endpoint;
    }
    state_->present = present;
}

void Audio::SetMuted(bool muted) {
    std::lock_guard lock(state_->mutex);
    state_->muted[eConsole] = muted;
}

bool Audio::Muted() const {
    std::lock_guard lock(state_->mutex);
    return state_->muted[eConsole];
}

}  // namespace winsim
