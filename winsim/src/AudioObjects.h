// State of the simulated audio area and the enumerator that CoCreateInstance
// hands out.
#pragma once

#include <winsim/SimAudio.h>
#include <windows.h>
#include <mmdeviceapi.h>

#include <cstdint>
#include <mutex>

namespace winsim {

struct Audio::State {
    mutable std::mutex mutex;
    bool present = true;
    // Each role's default endpoint is a device of its own, with its own mute,
    // so that asking for the wrong role is seen.
    bool muted[ERole_enum_count] = {};
    // Grows each time the endpoint is plugged in again; objects of an earlier
    // endpoint are invalidated.
    uint64_t endpoint = 1;
};

// A new IMMDeviceEnumerator queried for `riid`.
HRESULT CreateAudioDeviceEnumerator(REFIID riid, void** ppv);

}  // namespace winsim
