// Simulated Windows SDK: the multimedia device enumerator over the machine's
// audio endpoints (winsim/SimAudio.h). Interfaces are declared up to the last
// method this project calls, in the SDK's order.
#pragma once

#include <windows.h>

#define E_NOTFOUND ((HRESULT)0x80070490)

typedef enum EDataFlow { eRender = 0, eCapture = 1, eAll = 2, EDataFlow_enum_count = 3 } EDataFlow;

typedef enum ERole {
    eConsole = 0,
    eMultimedia = 1,
    eCommunications = 2,
    ERole_enum_count = 3
} ERole;

typedef struct tagPROPVARIANT PROPVARIANT;
class IMMDeviceCollection;

class IMMDevice : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD dwClsCtx,
                                               PROPVARIANT* pActivationParams, void** ppv) = 0;
};

class IMMDeviceEnumerator : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow dataFlow, DWORD dwStateMask,
                                                         IMMDeviceCollection** ppDevices) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow dataFlow, ERole role,
                                                              IMMDevice** ppEndpoint) = 0;
};

extern const CLSID CLSID_MMDeviceEnumerator;
extern const IID IID_IMMDeviceEnumerator;
extern const IID IID_IMMDevice;
