// A bounded wide-string copy with the contract of wcscpy_s: `destCount` is the
// destination's capacity in characters, terminator included. On success the
// source is copied with its terminator and 0 is returned; on error a non-zero
// code is returned and nothing is copied (the destination, when there is one,
// is left as an empty string).
#pragma once

#include <cstddef>

namespace DE {

int WcsCopyS(wchar_t* dest, size_t destCount, const wchar_t* src);

}  // namespace DE
