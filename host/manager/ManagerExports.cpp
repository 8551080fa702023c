// The exported C functions; each forwards to the registry and keeps every
// exception on this side of the library boundary.
#include "PluginsManager.h"

#include <cstring>

namespace {

template <class Operation, class Result>
Result Guarded(Operation operation, Result onFailure) {
    try {
        return operation();
    } catch (...) {
        return onFailure;
    }
}

template <class Operation>
void Guarded(Operation operation) {
    try {
        operation();
    } catch (...) {
    }
}

}  // namespace

extern "C" {

void RegisterPlugin(const PluginRegistrationEntry* table) {
    Guarded([table] { PluginsManager::Instance().Register(table); });
}

void UnRegisterPlugin(const PluginRegistrationEntry* table) {
    Guarded([table] { PluginsManager::Instance().Unregister(table); });
}

unsigned VLAStartPlugins(void) {
    return Guarded([] { return PluginsManager::Instance().StartAll(); }, 0u);
}

void VLAStopPlugins(void) {
    Guarded([] { PluginsManager::Instance().StopAll(); });
}

unsigned VLAGetPluginCount(void) {
    return Guarded([] { return PluginsManager::Instance().Count(); }, 0u);
}

int VLAGetPluginName(unsigned index, char* buffer, unsigned bufferSize) {
    return Guarded(
        [=] {
            const std::optional<std::string> name = PluginsManager::Instance().Name(index);
            if (!name || buffer == nullptr || name->size() >= bufferSize) {
                return -1;
            }
            std::memcpy(buffer, name->c_str(), name->size() + 1);
            return static_cast<int>(name->size());
        },
        -1);
}

void VLASetLogSink(VLAManagerLogSink sink) {
    Guarded([sink] { PluginsManager::Instance().SetLogSink(sink); });
}
}
