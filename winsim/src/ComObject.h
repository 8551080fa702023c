// What the simulated COM objects share: reference counting that the machine
// sees, and the check that they are called on a thread with COM initialised.
#pragma once

#include <winsim/Machine.h>
#include <windows.h>

#include <atomic>

namespace winsim {

// Whether the calling thread is between CoInitialize and its CoUninitialize.
bool ComInitializedOnThisThread();

// Marks a call made on a COM object from a thread without COM: a resource that
// is never released, so the test's handle check names it.
void CheckComApartment();

// One COM object exposing IUnknown and `Interface`. Each live reference holds
// one machine resource named after the interface; the object deletes itself
// at its last Release.
template <class Interface>
class ComObject : public Interface {
public:
    ComObject(const IID& interfaceId, const char* resource)
        : interfaceId_(interfaceId), resource_(resource) {
        Current().AcquireResource(resource_);
    }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        CheckComApartment();
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, interfaceId_)) {
            *ppvObject = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *ppvObject = static_cast<Interface*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        CheckComApartment();
        Current().AcquireResource(resource_);
        return ++references_;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        CheckComApartment();
        Current().ReleaseResource(resource_);
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

protected:
    virtual ~ComObject() = default;

private:
    const IID& interfaceId_;
    const char* const resource_;
    std::atomic<ULONG> references_{1};
};

}  // namespace winsim
