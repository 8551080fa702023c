#include "PluginTable.h"
#include "NxReVadiruService.h"

std::shared_ptr<VLAPlugin> CreatePluginInstance() {
    return std::make_shared<NxReVadiruService>();
}

const PluginRegistrationEntry PluginRegistrationTable[2] = {
    {"VLAMainService.NxReVadiruServicePlugin", CreatePluginInstance},
    {},
};

const std::wstring PluginsManagerFileName = L"VLAPluginsManager.dll";
