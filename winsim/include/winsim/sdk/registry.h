// Simulated Windows SDK: registry declarations.
#pragma once

#include <winsim/sdk/base.h>
