// Simulated Windows SDK: an audio endpoint's volume control, declared up to the
// last method this project calls, in the SDK's order.
#pragma once

#include <windows.h>

class IAudioEndpointVolumeCallback;

class IAudioEndpointVolume : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE
    RegisterControlChangeNotify(IAudioEndpointVolumeCallback* pNotify) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    UnregisterControlChangeNotify(IAudioEndpointVolumeCallback* pNotify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetChannelCount(UINT* pnChannelCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(FLOAT fLevelDB,
                                                           LPCGUID pguidEventContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(FLOAT fLevel,
                                                                 LPCGUID pguidEventContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(FLOAT* pfLevelDB) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(FLOAT* pfLevel) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT nChannel, FLOAT fLevelDB,
                                                            LPCGUID pguidEventContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT nChannel, FLOAT fLevel,
                                                                  LPCGUID pguidEventContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT nChannel, FLOAT* pfLevelDB) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT nChannel,
                                                                  FLOAT* pfLevel) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMute(BOOL bMute, LPCGUID pguidEventContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMute(BOOL* pbMute) = 0;
};

extern const IID IID_IAudioEndpointVolume;
