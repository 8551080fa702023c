// Simulated Windows SDK: display declarations.
#pragma once

#include <winsim/sdk/base.h>
