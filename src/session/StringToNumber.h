// Decimal text to number without exceptions: a failed conversion is logged
// and reported as false, and the output keeps its value.
#pragma once

#include <cstdint>
#include <string>

namespace DE {
bool StollS(const std::string& text, int64_t& value);
bool StoullS(const std::string& text, uint64_t& value);
}  // namespace DE
