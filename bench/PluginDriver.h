// Drives the plug-in's private state the way the host and the bus do.
#pragma once

#include "plugin/NxReVadiruServiceImpl.h"

#include <cstdint>
#include <memory>
#include <string>

using PluginState = NxReVadiruService::Impl;

// The handler the plug-in registers for `msgId` (early or late); throws
// std::runtime_error for an id it does not handle.
PluginState::Handler HandlerFor(int32_t msgId);

// The item the bus client hands its callbacks; `body` must outlive it.
TagIPCMessageItem MessageItem(int32_t msgId, const std::string& body);

// Calls that handler with `body`, as the bus client's thread does.
void Deliver(PluginState& plugin, int32_t msgId, const std::string& body);

// Waits until no worker thread of the plug-in holds its state any more (they
// share ownership while they run); throws std::runtime_error when they do not end.
void WaitForWorkers(const std::shared_ptr<PluginState>& plugin);
