// Simulated Windows SDK: the subset of <windows.h> this project uses, with the
// SDK's names, constants and error codes, implemented over winsim::Machine.
#pragma once

#include <winsim/sdk/base.h>
#include <winsim/sdk/synch.h>
#include <winsim/sdk/libloader.h>
#include <winsim/sdk/registry.h>
#include <winsim/sdk/processes.h>
#include <winsim/sdk/security.h>
#include <winsim/sdk/files.h>
#include <winsim/sdk/display.h>
#include <winsim/sdk/com.h>
