// The plug-in manager's exports. Plug-in libraries call RegisterPlugin and
// UnRegisterPlugin from their entry point; the host program drives the
// registered plug-ins through the plain C functions below, found with
// GetProcAddress by the names in PluginsManagerExports.
#pragma once

#include "PluginRegistration.h"

extern "C" {

// Receives one line (no line end) for every step the manager takes. Without a
// sink the lines go to the process's standard output handle.
typedef void (*VLAManagerLogSink)(const char* line);

// Remembers the table (entries up to the one with an empty name); it must stay
// valid until it is handed to UnRegisterPlugin.
void RegisterPlugin(const PluginRegistrationEntry* table);
// Forgets the table. It is called under the loader lock, so a plug-in of the
// table that still runs is not stopped or released: the host stops plug-ins
// (VLAStopPlugins) before it unloads their library.
void UnRegisterPlugin(const PluginRegistrationEntry* table);
// Creates, initializes and starts every registered plug-in that is not running
// yet; returns how many are running afterwards.
unsigned VLAStartPlugins(void);
// Stops, uninitializes and releases every running plug-in, last started first.
void VLAStopPlugins(void);
// Registered plug-ins over all tables, in registration order.
unsigned VLAGetPluginCount(void);
// Copies the name of plug-in `index`, zero-terminated; returns its length, or
// -1 when there is no such plug-in or the buffer is too small.
int VLAGetPluginName(unsigned index, char* buffer, unsigned bufferSize);
// Null restores the standard output.
void VLASetLogSink(VLAManagerLogSink sink);
}

namespace PluginsManagerExports {
inline constexpr char kStartPlugins[] = "VLAStartPlugins";
inline constexpr char kStopPlugins[] = "VLAStopPlugins";
inline constexpr char kGetPluginCount[] = "VLAGetPluginCount";
inline constexpr char kGetPluginName[] = "VLAGetPluginName";
inline constexpr char kSetLogSink[] = "VLASetLogSink";
inline constexpr char kRegisterPlugin[] = "RegisterPlugin";
inline constexpr char kUnRegisterPlugin[] = "UnRegisterPlugin";
}  // namespace PluginsManagerExports
