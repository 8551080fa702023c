#include "PluginsManager.h"

#include <windows.h>

#include <algorithm>
#include <exception>

namespace {

// The entries of a table, up to the one with an empty name that ends it.
std::vector<const PluginRegistrationEntry*> EntriesOf(const PluginRegistrationEntry* table) {
    std::vector<const PluginRegistrationEntry*> entries;
    for (const PluginRegistrationEntry* entry = table; !entry->name.empty(); ++entry) {
        entries.push_back(entry);
    }
    return entries;
}

// Looked up on every line so that a host which redirects its standard output
// later still gets the lines.
void WriteToStandardOutput(const std::string& line) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// What a plug-in threw, for the log; a plug-in's failure must not take the
// manager or the other plug-ins down.
std::string DescribeCurrentException() {
    try {
        throw;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "unknown exception";
    }
}

}  // namespace

PluginsManager& PluginsManager::Instance() {
    static PluginsManager instance;
    return instance;
}

void PluginsManager::Register(const PluginRegistrationEntry* table) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (table == nullptr || table->name.empty()) {
        Log("manager: ignored an empty registration");
        return;
    }
    if (std::find(tables_.begin(), tables_.end(), table) != tables_.end()) {
        Log("manager: " + table->name + " is already registered");
        return;
    }
    tables_.push_back(table);
    for (const PluginRegistrationEntry* entry : EntriesOf(table)) {
        Log("manager: registered " + entry->name);
    }
}

void PluginsManager::Unregister(const PluginRegistrationEntry* table) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = std::find(tables_.begin(), tables_.end(), table);
    if (found == tables_.end()) {
        Log("manager: ignored the unregistration of an unknown table");
        return;
    }
    // The library is being unloaded and this runs under the loader lock: a
    // plug-in still running is neither stopped nor destroyed here (the host
    // stops them before it unloads), only let go of without calling into it.
    std::erase_if(running_, [&](RunningPlugin& running) {
        if (running.table != table) {
            return false;
        }
        Log("manager: " + running.entry->name + " still runs at its library's unload; left alone");
        // Deliberately never released: its destructor is code of the library
        // that is going away.
        new std::shared_ptr<VLAPlugin>(std::move(running.plugin));
        return true;
    });
    tables_.erase(found);
    for (const PluginRegistrationEntry* entry : EntriesOf(table)) {
        Log("manager: unregistered " + entry->name);
    }
}

unsigned PluginsManager::StartAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const PluginRegistrationEntry* table : tables_) {
        for (const PluginRegistrationEntry* entry : EntriesOf(table)) {
            if (!IsRunning(entry)) {
                Start(table, entry);
            }
        }
    }
    return static_cast<unsigned>(running_.size());
}

void PluginsManager::StopAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto running = running_.rbegin(); running != running_.rend(); ++running) {
        Stop(*running);
    }
    running_.clear();
}

unsigned PluginsManager::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t count = 0;
    for (const PluginRegistrationEntry* table : tables_) {
        count += EntriesOf(table).size();
    }
    return static_cast<unsigned>(count);
}

std::optional<std::string> PluginsManager::Name(unsigned index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const PluginRegistrationEntry* table : tables_) {
        for (const PluginRegistrationEntry* entry : EntriesOf(table)) {
            if (index-- == 0) {
                return entry->name;
            }
        }
    }
    return std::nullopt;
}

void PluginsManager::SetLogSink(VLAManagerLogSink sink) {
    std::lock_guard<std::mutex> lock(mutex_);
    sink_ = sink;
}

bool PluginsManager::IsRunning(const PluginRegistrationEntry* entry) const {
    return std::any_of(running_.begin(), running_.end(),
                       [entry](const RunningPlugin& running) { return running.entry == entry; });
}

void PluginsManager::Start(const PluginRegistrationEntry* table,
                           const PluginRegistrationEntry* entry) {
    if (!entry->factory) {
        Log("manager: " + entry->name + " has no factory");
        return;
    }
    try {
        std::shared_ptr<VLAPlugin> plugin = entry->factory();
        if (!plugin) {
            Log("manager: " + entry->name + " made no plug-in");
            return;
        }
        if (!plugin->Initialize()) {
            Log("manager: " + entry->name + " failed to initialize");
            return;
        }
        if (!plugin->Start()) {
            Log("manager: " + entry->name + " failed to start");
            plugin->Uninitialize();
            return;
        }
        running_.push_back(RunningPlugin{table, entry, std::move(plugin)});
        Log("manager: started " + entry->name);
    } catch (...) {
        Log("manager: " + entry->name + " failed: " + DescribeCurrentException());
    }
}

// Stop() and Uninitialize() report nothing a host acts on, so their results
// are not looked at.
void PluginsManager::Stop(RunningPlugin& running) {
    try {
        running.plugin->Stop();
        running.plugin->Uninitialize();
        running.plugin.reset();
        Log("manager: stopped " + running.entry->name);
    } catch (...) {
        running.plugin.reset();
        Log("manager: " + running.entry->name + " failed to stop: " + DescribeCurrentException());
    }
}

void PluginsManager::Log(const std::string& line) const {
    if (sink_ != nullptr) {
        sink_(line.c_str());
    } else {
        WriteToStandardOutput(line);
    }
}
