// The plug-in object the host's plug-in manager creates, starts and stops.
#pragma once

#include "VLAPlugin.h"

#include <memory>

class NxReVadiruService : public VLAPlugin {
public:
    NxReVadiruService();
    ~NxReVadiruService() override;
    NxReVadiruService(const NxReVadiruService&) = delete;
    NxReVadiruService& operator=(const NxReVadiruService&) = delete;

    bool Initialize() override;
    bool Uninitialize() override;
    bool Start() override;
    bool Stop() override;

    class Impl;

private:
    // Shared so that worker threads can keep the state alive past Stop() and
    // destruction: they hold their own reference while they run.
    std::shared_ptr<Impl> impl;
};
