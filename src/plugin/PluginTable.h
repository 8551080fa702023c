// The table this library hands the host's plug-in manager, and the factory it names.
#pragma once

#include "PluginRegistration.h"

#include <memory>
#include <string>

std::shared_ptr<VLAPlugin> CreatePluginInstance();

// Entry 0 names this plug-in; entry 1, empty, ends the table. The manager keeps
// only the address of entry 0, so the table lives as long as the library.
extern const PluginRegistrationEntry PluginRegistrationTable[2];

// File name of the host's plug-in manager library.
extern const std::wstring PluginsManagerFileName;
