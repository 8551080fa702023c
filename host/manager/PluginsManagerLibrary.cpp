#include "ModuleExport.h"
#include "PluginsManagerLibrary.h"

#include "ModulePaths.h"

#include <utility>

std::optional<PluginsManagerLibrary> PluginsManagerLibrary::Load() {
    UniqueModule module = LoadBesideExecutable(kFileName);
    if (!module) {
        return std::nullopt;
    }
    PluginsManagerLibrary library(std::move(module));
    if (!library.HasEveryExport()) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return std::nullopt;
    }
    return library;
}

PluginsManagerLibrary::PluginsManagerLibrary(UniqueModule module)
    : module_(std::move(module)),
      register_(ModuleExport<decltype(register_)>(module_, PluginsManagerExports::kRegisterPlugin)),
      unregister_(
          ModuleExport<decltype(unregister_)>(module_, PluginsManagerExports::kUnRegisterPlugin)),
      start_(ModuleExport<decltype(start_)>(module_, PluginsManagerExports::kStartPlugins)),
      stop_(ModuleExport<decltype(stop_)>(module_, PluginsManagerExports::kStopPlugins)),
      count_(ModuleExport<decltype(count_)>(module_, PluginsManagerExports::kGetPluginCount)),
      name_(ModuleExport<decltype(name_)>(module_, PluginsManagerExports::kGetPluginName)),
      setLogSink_(
          ModuleExport<decltype(setLogSink_)>(module_, PluginsManagerExports::kSetLogSink)) {}

bool PluginsManagerLibrary::HasEveryExport() const {
    return register_ && unregister_ && start_ && stop_ && count_ && name_ && setLogSink_;
}

std::vector<std::string> PluginsManagerLibrary::PluginNames() const {
    // Registration names are short; a longer one comes back empty.
    constexpr unsigned kMaxNameLength = 256;
    std::vector<std::string> names;
    const unsigned count = count_();
    for (unsigned index = 0; index < count; ++index) {
        char buffer[kMaxNameLength] = {};
        const int length = name_(index, buffer, kMaxNameLength);
        names.emplace_back(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    }
    return names;
}
