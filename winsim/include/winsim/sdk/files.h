// Simulated Windows SDK: files declarations.
#pragma once

#include <winsim/sdk/base.h>
