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

const CLSID kUnknownClass = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(AudioConformance, CreatingWithoutComInitialisedFails) {
    void* enumerator = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IMMDeviceEnumerator, &enumerator),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(enumerator, nullptr);
}

TEST(AudioConformance, NestedInitialisationAnswersFalseAndBalances) {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
}

TEST(AudioConformance, EnumeratorIsCreatedAndReleasedWithComInitialised) {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    IMMDeviceEnumerator* enumerator = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IMMDeviceEnumerator, reinterpret_cast<void**>(&enumerator)),
              S_OK);
    ASSERT_NE(enumerator, nullptr);
    enumerator->Release();
    CoUninitialize();
}

TEST(AudioConformance, UnknownClassIsNotRegistered) {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    IUnknown* object = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(CoCreateInstance(kUnknownClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    CoUninitialize();
}

}  // namespace
