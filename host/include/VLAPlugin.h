// The host's plug-in base class. The plug-in manager drives every plug-in
// through these five virtual slots, in this order.
#pragma once

class VLAPlugin {
public:
    virtual bool Initialize() = 0;
    virtual bool Uninitialize() = 0;
    virtual bool Start() = 0;
    virtual bool Stop() = 0;
    virtual ~VLAPlugin() = default;
};
