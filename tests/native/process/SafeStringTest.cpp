// The bounded wide copy keeps the contract of wcscpy_s.
#include "SafeString.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

struct CopyCase {
    const char* title;
    bool hasDestination;
    size_t capacity;
    const wchar_t* source;
    int result;
    std::wstring destinationAfter;
};

void PrintTo(const CopyCase& c, std::ostream* out) {
    *out << c.title;
}

class BoundedCopy : public ::testing::TestWithParam<CopyCase> {};

TEST_P(BoundedCopy, CopiesWholeOrNothing) {
    const CopyCase& c = GetParam();
    wchar_t buffer[8] = L"old";
    EXPECT_EQ(DE::WcsCopyS(c.hasDestination ? buffer : nullptr, c.capacity, c.source), c.result);
    EXPECT_EQ(std::wstring(buffer), c.destinationAfter);
}

INSTANTIATE_TEST_SUITE_P(
    SafeString, BoundedCopy,
    ::testing::Values(CopyCase{"FitsWithItsTerminator", true, 5, L"abcd", 0, L"abcd"},
                      CopyCase{"Empty", true, 1, L"", 0, L""},
                      CopyCase{"OneTooLong", true, 4, L"abcd", ERANGE, L""},
                      CopyCase{"NoSource", true, 4, nullptr, EINVAL, L""},
                      CopyCase{"NoCapacity", true, 0, L"a", EINVAL, L"old"},
                      CopyCase{"NoDestination", false, 4, L"a", EINVAL, L"old"}),
    [](const auto& info) { return std::string(info.param.title); });

}  // namespace
