// What a plug-in library hands the host's plug-in manager: the address of the
// first entry of a table that ends with an entry whose name and factory are empty.
#pragma once

#include "VLAPlugin.h"

#include <functional>
#include <memory>
#include <string>

struct PluginRegistrationEntry {
    std::string name;
    std::function<std::shared_ptr<VLAPlugin>()> factory;
};

// The manager's exports, found by the names "RegisterPlugin" and "UnRegisterPlugin".
using RegisterPluginFunction = void (*)(const PluginRegistrationEntry* table);
