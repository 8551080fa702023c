// Simulated Windows SDK: the COM runtime (the part this project uses).
//
// Interfaces are abstract classes with the SDK's method order, so code calls
// them exactly as it does on Windows. A thread's first initialisation puts it
// in an apartment, single-threaded (CoInitialize) or multithreaded; asking it
// for the other kind afterwards fails with RPC_E_CHANGED_MODE and counts for
// nothing. CoInitialize(Ex) and CoUninitialize balance per thread: each
// successful initialisation holds one "COM initialisation" resource until its
// CoUninitialize, so a thread left initialised shows in the machine's
// open-handle count. Every live interface reference counts too (see
// winsim/SimAudio.h). Faults: "CoInitialize" and "CoCreateInstance" return the
// injected error as their HRESULT.
#pragma once

#include <winsim/sdk/base.h>

#define STDMETHODCALLTYPE

typedef GUID IID;
typedef GUID CLSID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef const GUID* LPCGUID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

class IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

extern const IID IID_IUnknown;

typedef enum tagCLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10
} CLSCTX;
#define CLSCTX_ALL \
    (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

typedef enum tagCOINIT {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8
} COINIT;

#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110)

// S_OK for the thread's first initialisation, S_FALSE for a nested one.
// CoInitialize is CoInitializeEx with COINIT_APARTMENTTHREADED.
HRESULT WINAPI CoInitialize(LPVOID pvReserved);
HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
// Undoes one successful initialisation of the calling thread; nothing when
// there is none. The last one takes the thread out of its apartment.
void WINAPI CoUninitialize();

// Known classes: CLSID_MMDeviceEnumerator (in-process). CO_E_NOTINITIALIZED on
// a thread without CoInitialize, REGDB_E_CLASSNOTREG for another class or a
// context without CLSCTX_INPROC_SERVER, CLASS_E_NOAGGREGATION with an outer
// object, E_NOINTERFACE for an interface the class lacks; *ppv is NULL on
// every failure.
HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                REFIID riid, LPVOID* ppv);
