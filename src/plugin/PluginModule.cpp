#include "PluginModule.h"

extern "C" {

bool InitializePluginModule() {
    return true;
}

void UninitializePluginModule() {}
}
