#include "ServiceHost.h"

#include "BusBroker.h"
#include "CenterStarter.h"
#include "ConsoleOutput.h"
#include "FastClock.h"
#include "HostFiles.h"
#include "ModuleExport.h"
#include "ModulePaths.h"
#include "PluginsManagerLibrary.h"
#include "StopSignal.h"
#include "PluginModule.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kUnloadTimeoutMs = 5000;

struct PluginModule {
    std::wstring fileName;
    UniqueModule module;
};

void ForwardManagerLine(const char* line) {
    PrintLine(line);
}

std::string ErrorSuffix(DWORD error) {
    return " (error " + std::to_string(error) + ")";
}

// Loads each plug-in library, speeds up its timed waits when asked (before
// its module initializer, so before it starts any thread) and runs that
// initializer; stops at the first that fails, leaving the ones loaded so far
// in `loaded`.
bool LoadPlugins(const ServiceOptions& options, std::vector<PluginModule>& loaded) {
    for (const std::wstring& fileName : options.pluginFiles) {
        const std::string name = ToUtf8(fileName);
        UniqueModule module = LoadBesideExecutable(fileName);
        if (!module) {
            PrintLine("service: cannot load " + name + ErrorSuffix(GetLastError()));
            return false;
        }
        if (options.clockSpeed > 1) {
            if (!SpeedUpTimedWaits(module.get(), options.clockSpeed)) {
                PrintLine("service: cannot speed up the timed waits of " + name);
                return false;
            }
            PrintLine("service: timed waits of " + name + " pass " +
                      std::to_string(options.clockSpeed) + " times faster");
        }
        const auto initialize =
            ModuleExport<decltype(&InitializePluginModule)>(module, "InitializePluginModule");
        if (initialize != nullptr && !initialize()) {
            PrintLine("service: " + name + " refused to initialize");
            return false;
        }
        PrintLine("service: loaded " + name);
        loaded.push_back(PluginModule{fileName, std::move(module)});
    }
    return true;
}

// Last loaded first; each library takes its table back from the manager as it
// unloads, which its own threads may delay for a while.
void UnloadPlugins(std::vector<PluginModule>& loaded) {
    while (!loaded.empty()) {
        PluginModule& plugin = loaded.back();
        const auto uninitialize = ModuleExport<decltype(&UninitializePluginModule)>(
            plugin.module, "UninitializePluginModule");
        if (uninitialize != nullptr) {
            uninitialize();
        }
        plugin.module.reset();
        const std::string name = ToUtf8(plugin.fileName);
        if (WaitUntilUnloaded(plugin.fileName, kUnloadTimeoutMs)) {
            PrintLine("service: unloaded " + name);
        } else {
            PrintLine("service: " + name + " is still loaded after " +
                      std::to_string(kUnloadTimeoutMs) + " ms");
        }
        loaded.pop_back();
    }
}

ServiceExitCode RunPlugins(const ServiceOptions& options, const StopSignal& stopSignal) {
    std::optional<PluginsManagerLibrary> manager = PluginsManagerLibrary::Load();
    const std::string managerName = ToUtf8(PluginsManagerLibrary::kFileName);
    if (!manager) {
        PrintLine("service: cannot load " + managerName + ErrorSuffix(GetLastError()));
        return kExitStartFailed;
    }
    manager->SetLogSink(ForwardManagerLine);
    PrintLine("service: loaded " + managerName);

    std::vector<PluginModule> plugins;
    ServiceExitCode result = kExitStartFailed;
    if (LoadPlugins(options, plugins)) {
        const unsigned running = manager->StartPlugins();
        PrintLine("service: " + std::to_string(running) + " plug-in(s) running");
        PrintLine("service: press Ctrl+C or close the standard input to stop");
        PrintLine("service: stopping (" + stopSignal.Wait() + ")");
        manager->StopPlugins();
        PrintLine("service: plug-ins stopped");
        result = kExitClean;
    }
    UnloadPlugins(plugins);
    manager->SetLogSink(nullptr);
    manager->Unload();
    PrintLine("service: unloaded " + managerName);
    return result;
}

}  // namespace

ServiceExitCode RunServiceHost(const ServiceOptions& options, const StopSignal& stopSignal) {
    const std::string pipeName = ToUtf8(options.pipeName);
    BusBroker broker(options.pipeName);
    if (!broker.Start()) {
        PrintLine("service: cannot start the bus broker on " + pipeName);
        return kExitStartFailed;
    }
    PrintLine("service: bus broker listening on " + pipeName);
    ServiceExitCode result = kExitStartFailed;
    {
        const CenterStarter centerStarter(options.pipeName);
        result = RunPlugins(options, stopSignal);
    }
    broker.Stop();
    PrintLine("service: bus broker stopped");
    return result;
}
