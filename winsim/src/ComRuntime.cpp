// The COM runtime: per-thread initialisation and object creation.
#include "AudioObjects.h"
#include "ComObject.h"

#include <mmdeviceapi.h>

#include <map>
#include <mutex>
#include <thread>

const IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace winsim {

namespace {

constexpr char kInitialisationResource[] = "COM initialisation";

// How many CoInitialize calls each thread has not yet undone.
struct ComApartments {
    std::mutex mutex;
    std::map<std::thread::id, int> initialisations;
};

ComApartments& Apartments() {
    return Current().Extension<ComApartments>();
}

}  // namespace

bool ComInitializedOnThisThread() {
    auto& apartments = Apartments();
    std::lock_guard lock(apartments.mutex);
    return apartments.initialisations.count(std::this_thread::get_id()) != 0;
}

void CheckComApartment() {
    if (!ComInitializedOnThisThread()) {
        Current().AcquireResource("COM call after CoUninitialize");
    }
}

}  // namespace winsim

HRESULT WINAPI CoInitialize(LPVOID pvReserved) {
    auto& machine = winsim::Current();
    uint32_t fault = 0;
    if (machine.TakeFault("CoInitialize", fault)) {
        return static_cast<HRESULT>(fault);
    }
    if (pvReserved != nullptr) {
        return E_INVALIDARG;
    }
    auto& apartments = winsim::Apartments();
    int count = 0;
    {
        std::lock_guard lock(apartments.mutex);
        count = ++apartments.initialisations[std::this_thread::get_id()];
    }
    machine.AcquireResource(winsim::kInitialisationResource);
    return count == 1 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize() {
    auto& apartments = winsim::Apartments();
    {
        std::lock_guard lock(apartments.mutex);
        const auto thread = apartments.initialisations.find(std::this_thread::get_id());
        if (thread == apartments.initialisations.end()) {
            return;
        }
        if (--thread->second == 0) {
            apartments.initialisations.erase(thread);
        }
    }
    winsim::Current().ReleaseResource(winsim::kInitialisationResource);
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                REFIID riid, LPVOID* ppv) {
    if (ppv != nullptr) {
        *ppv = nullptr;
    }
    uint32_t fault = 0;
    if (winsim::Current().TakeFault("CoCreateInstance", fault)) {
        return static_cast<HRESULT>(fault);
    }
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (!winsim::ComInitializedOnThisThread()) {
        return CO_E_NOTINITIALIZED;
    }
    if (!IsEqualCLSID(rclsid, CLSID_MMDeviceEnumerator) ||
        (dwClsContext & CLSCTX_INPROC_SERVER) == 0) {
        return REGDB_E_CLASSNOTREG;
    }
    if (pUnkOuter != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    return winsim::CreateAudioDeviceEnumerator(riid, ppv);
}
