// The simulated machine's audio endpoints and COM objects, as tests see them.
//
// A new machine has a default playback endpoint for each role (console,
// multimedia, communications), each a device of its own with its own mute,
// none muted, and no capture endpoint. CoCreateInstance(CLSID_MMDeviceEnumerator)
// gives an enumerator; its GetDefaultAudioEndpoint gives the playback endpoint
// or E_NOTFOUND while there is none; the endpoint's Activate gives
// IAudioEndpointVolume, whose SetMute/GetMute act on the endpoint's mute.
//
// Every live reference to one of these objects holds one resource named
// "COM <interface>" (e.g. "COM IMMDevice") until its Release, so a missing
// Release shows in the machine's open-handle count. A call made on an object
// from a thread whose COM initialisation has ended (e.g. a Release after
// CoUninitialize) adds a resource "COM call after CoUninitialize" that never
// goes away, so the test that does it fails its handle check.
//
// Journal (kind "audio"): each successful SetMute adds "SetMute <role> <bMute>",
// the role named console, multimedia or communications and the argument as
// passed (0, 1, ...). Journal (kind "com"): each successful Activate adds
// "Activate <role> <context>", the execution context as passed, in decimal
// (CLSCTX_ALL shows as 23); Windows documents no answer to any particular
// context, so none is refused.
//
// Faults, returned as the call's HRESULT (Machine::Fail(name,
// static_cast<uint32_t>(hr))): "IMMDeviceEnumerator::GetDefaultAudioEndpoint",
// "IMMDevice::Activate", "IAudioEndpointVolume::SetMute",
// "IAudioEndpointVolume::GetMute".
#pragma once

#include <winsim/Machine.h>

#include <memory>

namespace winsim {

class Audio {
public:
    Audio();
    ~Audio();
    Audio(const Audio&) = delete;
    Audio& operator=(const Audio&) = delete;

    // Plugs in or removes the default playback endpoint. An IMMDevice obtained
    // before the removal answers Activate with AUDCLNT_E_DEVICE_INVALIDATED.
    void SetPlaybackEndpointPresent(bool present);
    // The console role's endpoint: the one the user's sound settings show.
    void SetMuted(bool muted);
    bool Muted() const;

    // Implementation detail shared by the area's source files.
    struct State;
    State& state() const { return *state_; }

private:
    std::unique_ptr<State> state_;
};

}  // namespace winsim
