// Simulated Windows SDK: security declarations.
#pragma once

#include <winsim/sdk/base.h>
