#include "SafeString.h"

#include <cerrno>
#include <cwchar>

namespace DE {

#if defined(_WIN32)

// The CRT has the real one.
int WcsCopyS(wchar_t* dest, size_t destCount, const wchar_t* src) {
    return wcscpy_s(dest, destCount, src);
}

#else

// The C library here lacks it; this keeps its contract without the CRT's
// invalid-parameter handler.
int WcsCopyS(wchar_t* dest, size_t destCount, const wchar_t* src) {
    if (dest == nullptr || destCount == 0) {
        return EINVAL;
    }
    if (src == nullptr) {
        dest[0] = L'\0';
        return EINVAL;
    }
    const size_t length = std::wcslen(src);
    if (length >= destCount) {
        dest[0] = L'\0';
        return ERANGE;
    }
    std::wmemcpy(dest, src, length + 1);
    return 0;
}

#endif

}  // namespace DE
