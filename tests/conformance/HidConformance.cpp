// HID device interfaces, opening devices and writing to them: what the
// simulated machine must answer as Windows does. No HID device is assumed to
// be present, so only answers that hold on any machine are checked.
//
// Wine 8.0 differs: its CM_Get_Device_Interface_List_SizeW is a stub that
// answers CR_FAILURE whatever it is asked, so the interface list tests are
// skipped there (and the plug-in's search under Wine always ends with "get
// device interface list size failed").
//
// Whether the list holds the interfaces of devices that are not present
// depends on the devices a machine has had, which neither side can arrange
// here: the native suite shows it (the keyboard channel with its device
// unplugged), as it does an interface the system holds for itself.
#include "conformance/ConformanceHelpers.h"

#include <windows.h>
#include <cfgmgr32.h>
// The SDK's HID headers declare C functions without a C++ linkage block.
extern "C" {
#include <hidsdi.h>
}

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <vector>

namespace {

using conformance::Code;

// The SDK's error constants are signed; GetLastError returns a DWORD.
GUID HidClass() {
    GUID hidClass{};
    HidD_GetHidGuid(&hidClass);
    return hidClass;
}

constexpr char kWineStub[] = "Wine's device interface list functions are stubs";

// A well-formed path of an interface that is not there.
constexpr wchar_t kMissingInterface[] =
    L"\\\\?\\hid#vid_0000&pid_0000#0&00000000&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

TEST(HidConformance, ListSizeCountsTheFinalEmptyStringAndTheListFitsIt) {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr) {
        GTEST_SKIP() << kWineStub;
    }
    GUID hidClass = HidClass();
    ULONG length = 0;
    ASSERT_EQ(CM_Get_Device_Interface_List_SizeW(&length, &hidClass, nullptr,
                                                 CM_GET_DEVICE_INTERFACE_LIST_PRESENT),
              Code(CR_SUCCESS));
    ASSERT_GE(length, 1u);

    std::vector<WCHAR> list(length, L'x');
    ASSERT_EQ(CM_Get_Device_Interface_ListW(&hidClass, nullptr, list.data(), length,
                                            CM_GET_DEVICE_INTERFACE_LIST_PRESENT),
              Code(CR_SUCCESS));
    // Walking the paths ends on the final empty string, the list's last unit.
    size_t at = 0;
    while (list[at] != L'\0') {
        at += std::wcslen(&list[at]) + 1;
        ASSERT_LT(at, list.size());
    }
    EXPECT_EQ(at, list.size() - 1);
}

TEST(HidConformance, OpeningAMissingInterfaceFailsWithFileNotFound) {
    SetLastError(0);
    const HANDLE device =
        CreateFileW(kMissingInterface, GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), Code(ERROR_FILE_NOT_FOUND));
}

// The running program's own file stands in for a device, since it opens on
// every machine; its image is held open for reading, sharing reading.
TEST(HidConformance, OpenThatDoesNotShareWhatAnEarlierOpenDoesIsASharingViolation) {
    const std::wstring own = conformance::OwnPath();
    ASSERT_FALSE(own.empty());
    const auto open = [&own](DWORD share) {
        return CreateFileW(own.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    const HANDLE first = open(FILE_SHARE_READ);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    const HANDLE second = open(FILE_SHARE_READ);
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    SetLastError(0);
    EXPECT_EQ(open(0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), Code(ERROR_SHARING_VIOLATION));
    CloseHandle(second);
    CloseHandle(first);
}

}  // namespace
