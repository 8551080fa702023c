// The messages the plug-in handles, in registration order, and the checks that
// run between the two registration phases when the host starts the plug-in.
#include "NxReVadiruServiceImpl.h"

using Impl = NxReVadiruService::Impl;

const std::vector<Impl::HandlerEntry>& Impl::EarlyHandlers() {
    static const std::vector<HandlerEntry> entries;
    return entries;
}

const std::vector<Impl::StartupCheck>& Impl::StartupChecks() {
    static const std::vector<StartupCheck> checks;
    return checks;
}

const std::vector<Impl::HandlerEntry>& Impl::LateHandlers() {
    static const std::vector<HandlerEntry> entries;
    return entries;
}
