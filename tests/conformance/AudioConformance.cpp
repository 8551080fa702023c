// The COM runtime as the audio code uses it: what the simulated machine must
// answer as Windows does. Whether a playback endpoint exists depends on the
// machine, so the endpoint itself is left to the platform tests.
#include <windows.h>
// Defines the interface identifiers below in this unit, as the SDK requires.
#include <initguid.h>
#include <mmdeviceapi.h>
#include <objbase.h>

#include <gtest/gtest.h>

namespace {

// Whether this thread may create the enumerator (it releases it again).
bool EnumeratorCreated() {
    IMMDeviceEnumerator* enumerator = nullptr;
    const HRESULT result =
        CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IMMDeviceEnumerator, reinterpret_cast<void**>(&enumerator));
    if (enumerator != nullptr) {
        enumerator->Release();
    }
    return result == S_OK;
}

TEST(AudioConformance, CreatingWithoutComInitialisedFails) {
    void* enumerator = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IMMDeviceEnumerator, &enumerator),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(enumerator, nullptr);
}

// Each successful initialisation of a thread counts and needs its own
// CoUninitialize (one without an initialisation does nothing). The first puts
// the thread in its apartment for good: asking for the other kind is refused
// and counts for nothing.
TEST(AudioConformance, InitialisationsAreCountedInTheThreadsOneApartment) {
    CoUninitialize();
    const auto initialise = [](DWORD kind) {
        return kind == COINIT_APARTMENTTHREADED ? CoInitialize(nullptr)
                                                : CoInitializeEx(nullptr, kind);
    };
    for (const DWORD kind : {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(initialise(kind), S_OK);
        EXPECT_EQ(initialise(kind ^ COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
        EXPECT_EQ(initialise(kind), S_FALSE);
        CoUninitialize();
        EXPECT_TRUE(EnumeratorCreated());
        CoUninitialize();
        EXPECT_FALSE(EnumeratorCreated());
    }
}

}  // namespace
