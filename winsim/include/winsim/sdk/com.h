// Simulated Windows SDK: com declarations.
#pragma once

#include <winsim/sdk/base.h>
