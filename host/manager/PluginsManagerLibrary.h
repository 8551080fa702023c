// The host program's side of the manager: the loaded library and its exports.
#pragma once

#include "PluginsManagerApi.h"
#include "win32/UniqueAny.h"

#include <optional>
#include <string>
#include <vector>

class PluginsManagerLibrary {
public:
    static constexpr wchar_t kFileName[] = L"VLAPluginsManager.dll";

    // Loads the manager from the executable's directory; empty when it cannot be
    // loaded or lacks an export, with the reason in GetLastError().
    static std::optional<PluginsManagerLibrary> Load();

    void Register(const PluginRegistrationEntry* table) const { register_(table); }
    void Unregister(const PluginRegistrationEntry* table) const { unregister_(table); }
    unsigned StartPlugins() const { return start_(); }
    void StopPlugins() const { stop_(); }
    std::vector<std::string> PluginNames() const;
    void SetLogSink(VLAManagerLogSink sink) const { setLogSink_(sink); }

    // Frees the library; the object is unusable afterwards.
    void Unload() { module_.reset(); }

private:
    explicit PluginsManagerLibrary(UniqueModule module);
    bool HasEveryExport() const;

    UniqueModule module_;
    decltype(&RegisterPlugin) register_;
    decltype(&UnRegisterPlugin) unregister_;
    decltype(&VLAStartPlugins) start_;
    decltype(&VLAStopPlugins) stop_;
    decltype(&VLAGetPluginCount) count_;
    decltype(&VLAGetPluginName) name_;
    decltype(&VLASetLogSink) setLogSink_;
};
