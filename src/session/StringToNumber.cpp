#include "StringToNumber.h"
#include "plugin/Log.h"

#include <cerrno>
#include <cstdlib>

namespace DE {

namespace {

constexpr int kDecimal = 10;

// The conversion std::stoll and std::stoull make (the C library's, base 10),
// with their two failures turned into the given lines instead of exceptions.
// Nothing is thrown: these run on the host's threads, and on mingw-w64 a thread
// that sees an exception gets a record of the threading runtime that this
// library's unload would leave behind.
template <class Number, class Convert>
bool ConvertLogged(Convert convert, const std::string& text, Number& value,
                   const wchar_t* operation, const char* prefix, const char* invalidReason,
                   const char* rangeReason) {
    const int callersErrno = errno;
    errno = 0;
    char* end = nullptr;
    const auto converted = convert(text.c_str(), &end);
    const bool outOfRange = errno == ERANGE;
    errno = callersErrno;
    if (end == text.c_str()) {
        LogError(operation, prefix, invalidReason);
        return false;
    }
    if (outOfRange) {
        LogError(operation, prefix, rangeReason);
        return false;
    }
    value = static_cast<Number>(converted);
    return true;
}

}  // namespace

bool StollS(const std::string& text, int64_t& value) {
    const auto convert = [](const char* digits, char** end) {
        return std::strtoll(digits, end, kDecimal);
    };
    return ConvertLogged(convert, text, value, L"DE::StollS",
                         "stoll exception: ", "invalid stoll argument",
                         "stoll argument out of range");
}

bool StoullS(const std::string& text, uint64_t& value) {
    const auto convert = [](const char* digits, char** end) {
        return std::strtoull(digits, end, kDecimal);
    };
    return ConvertLogged(convert, text, value, L"DE::StoullS",
                         "stoi exception: ", "invalid stoull argument",
                         "stoull argument out of range");
}

}  // namespace DE
