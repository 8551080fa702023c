// The host's module protocol: every module library the host service loads
// exports these two functions, which the host calls after loading it and
// before unloading it.
#pragma once

extern "C" {
bool InitializePluginModule();
void UninitializePluginModule();
}
