// The registry behind the manager's exports: which tables are registered and
// which of their plug-ins run. One lock serialises every operation, including
// the calls into plug-ins, so a table cannot be forgotten while one of its
// plug-ins is starting or stopping.
#pragma once

#include "PluginsManagerApi.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class PluginsManager {
public:
    static PluginsManager& Instance();

    void Register(const PluginRegistrationEntry* table);
    void Unregister(const PluginRegistrationEntry* table);
    unsigned StartAll();
    void StopAll();
    unsigned Count() const;
    std::optional<std::string> Name(unsigned index) const;
    void SetLogSink(VLAManagerLogSink sink);

private:
    struct RunningPlugin {
        const PluginRegistrationEntry* table;
        const PluginRegistrationEntry* entry;
        std::shared_ptr<VLAPlugin> plugin;
    };

    bool IsRunning(const PluginRegistrationEntry* entry) const;
    void Start(const PluginRegistrationEntry* table, const PluginRegistrationEntry* entry);
    void Stop(RunningPlugin& running);
    void Log(const std::string& line) const;

    mutable std::mutex mutex_;
    std::vector<const PluginRegistrationEntry*> tables_;
    std::vector<RunningPlugin> running_;
    VLAManagerLogSink sink_ = nullptr;
};
