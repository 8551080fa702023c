// The two functions of the host's module protocol; they carry no logic here.
#pragma once

extern "C" {
bool InitializePluginModule();
void UninitializePluginModule();
}
