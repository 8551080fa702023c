// A module library that the restart scenario has the service host load ahead
// of the plug-in. In the product the bus outlives a restarted main service, so
// the plug-in starts with the other modules already on the bus; our host
// carries the broker, so its initializer holds the host, broker up and
// plug-ins not yet loaded, until the scenario sees them back and signals the
// event (a host started without the event goes on at once).
#include "PluginModule.h"
#include "win32/UniqueAny.h"

#include <windows.h>

bool InitializePluginModule() {
    constexpr DWORD kLongestHoldMs = 30000;
    const UniqueHandle gate(OpenEventW(SYNCHRONIZE, FALSE, L"nx-e2e-start-gate"));
    if (gate) {
        WaitForSingleObject(gate.get(), kLongestHoldMs);
    }
    return true;
}

void UninitializePluginModule() {}
