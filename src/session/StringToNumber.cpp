#include "StringToNumber.h"
#include "plugin/Log.h"

#include <stdexcept>

namespace DE {

namespace {

// Runs a standard conversion and turns its two exceptions into the given lines.
template <class Convert>
bool ConvertLogged(Convert convert, const wchar_t* operation, const char* prefix,
                   const char* invalidReason, const char* rangeReason) {
    try {
        convert();
        return true;
    } catch (const std::invalid_argument&) {
        LogError(operation, prefix, invalidReason);
    } catch (const std::out_of_range&) {
        LogError(operation, prefix, rangeReason);
    }
    return false;
}

}  // namespace

bool StollS(const std::string& text, int64_t& value) {
    return ConvertLogged([&] { value = std::stoll(text); }, L"DE::StollS",
                         "stoll exception: ", "invalid stoll argument",
                         "stoll argument out of range");
}

bool StoullS(const std::string& text, uint64_t& value) {
    return ConvertLogged([&] { value = std::stoull(text); }, L"DE::StoullS",
                         "stoi exception: ", "invalid stoull argument",
                         "stoull argument out of range");
}

}  // namespace DE
