// Simulated Windows SDK: the COM runtime, as <objbase.h> declares it.
#pragma once

#include <winsim/sdk/com.h>
