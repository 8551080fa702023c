// Path helper limits the conformance suite does not reach.
#include "support/SimTest.h"

#include <pathcch.h>

#include <vector>

namespace {

using SimPathsTest = SimTest;

TEST_F(SimPathsTest, PathCchRemoveFileSpecRefusesSizesItCannotTrust) {
    std::vector<WCHAR> path = {L'C', L':', L'\\', L'a', L'\\', L'b', L'\0'};
    const struct {
        size_t size;
        HRESULT result;
    } cases[] = {
        {32769, E_INVALIDARG},  // above the long-path limit
        {6, E_INVALIDARG},      // no terminator within the size given
        {7, S_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(PathCchRemoveFileSpec(path.data(), c.size), c.result);
    }
    EXPECT_EQ(std::wstring(path.data()), L"C:\\a");
}

}  // namespace
