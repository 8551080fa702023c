// A plug-in manager, for the unload probe only, that does what a host's
// manager may do: it keeps the plug-in object it made and releases it when the
// library hands its table back, inside the library's detach notification,
// under the loader lock, with or without stopping it first.
#include "PluginRegistration.h"

#include <atomic>
#include <memory>

namespace {

std::atomic<const PluginRegistrationEntry*> registered{nullptr};
std::shared_ptr<VLAPlugin> held;
bool stopAtUnregistration = false;

}  // namespace

extern "C" {

void RegisterPlugin(const PluginRegistrationEntry* table) {
    registered = table;
}

// Makes the table's first plug-in and starts it; false when there is none.
bool HoldingManagerStart(bool stopFirst) {
    const PluginRegistrationEntry* table = registered;
    if (table == nullptr || !table->factory) {
        return false;
    }
    held = table->factory();
    stopAtUnregistration = stopFirst;
    return held && held->Start();
}

// Stops and releases the plug-in, as a host does before it unloads the library.
void HoldingManagerStop() {
    if (held) {
        held->Stop();
        held.reset();
    }
}

void UnRegisterPlugin(const PluginRegistrationEntry* table) {
    if (table != registered || !held) {
        return;
    }
    if (stopAtUnregistration) {
        held->Stop();
    }
    held.reset();
    registered = nullptr;
}
}
