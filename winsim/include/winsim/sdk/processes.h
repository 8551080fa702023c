// Simulated Windows SDK: processes declarations.
#pragma once

#include <winsim/sdk/base.h>
