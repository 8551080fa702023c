// The stand-in for the host's main service: runs the bus broker, loads the
// plug-in manager and the plug-in libraries from its own directory, starts the
// plug-ins and stops everything in reverse order when asked to.
#pragma once

#include "ServiceOptions.h"

class StopSignal;

// Process exit codes of the service host.
enum ServiceExitCode : int {
    kExitClean = 0,
    kExitStartFailed = 1,
    kExitUsage = 2,
};

ServiceExitCode RunServiceHost(const ServiceOptions& options, const StopSignal& stopSignal);
