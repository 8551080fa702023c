// The COM runtime: per-thread apartments and object creation.
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

// Each thread's apartment: its kind and how many initialisations it has not
// yet undone.
struct Apartment {
    bool multithreaded = false;
    int initialisations = 0;
};

struct ComApartments {
    std::mutex mutex;
    std::map<std::thread::id, Apartment> threads;
};

ComApartments& Apartments() {
    return Current().Extension<ComApartments>();
}

}  // namespace

bool ComInitializedOnThisThread() {
    auto& apartments = Apartments();
    std::lock_guard lock(apartments.mutex);
    return apartments.threads.count(std::this_thread::get_id()) != 0;
}

void CheckComApartment() {
    if (!ComInitializedOnThisThread()) {
        Current().AcquireResource("COM call after CoUninitialize");
    }
}

}  // namespace winsim

HRESULT WINAPI CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    auto& machine = winsim::Current();
    uint32_t fault = 0;
    if (machine.TakeFault("CoInitialize", fault)) {
        return static_cast<HRESULT>(fault);
    }
    if (pvReserved != nullptr) {
        return E_INVALIDARG;
    }
    const bool multithreaded = (dwCoInit & COINIT_APARTMENTTHREADED) == 0;
    auto& apartments = winsim::Apartments();
    int count = 0;
    {
        std::lock_guard lock(apartments.mutex);
        auto& apartment = apartments.threads[std::this_thread::get_id()];
        if (apartment.initialisations > 0 && apartment.multithreaded != multithreaded) {
            return RPC_E_CHANGED_MODE;
        }
        apartment.multithreaded = multithreaded;
        count = ++apartment.initialisations;
    }
    machine.AcquireResource(winsim::kInitialisationResource);
    return count == 1 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize() {
    auto& apartments = winsim::Apartments();
    {
        std::lock_guard lock(apartments.mutex);
        const auto thread = apartments.threads.find(std::this_thread::get_id());
        if (thread == apartments.threads.end()) {
            return;
        }
        if (--thread->second.initialisations == 0) {
            apartments.threads.erase(thread);
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
