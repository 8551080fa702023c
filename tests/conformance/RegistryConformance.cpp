// The registry: what the simulated machine must answer as Windows does.
//
// Everything happens below HKEY_CURRENT_USER\Software\NxReVadiruConformance,
// which each test creates and removes again, except for the registry views,
// which differ below HKEY_LOCAL_MACHINE\Software only (written as Wine lets
// any user do; on Windows that needs an administrator).
//
// Where Wine differs from Windows and from the simulation, the tests below do
// not go:
// - Wine creates keys directly below HKEY_LOCAL_MACHINE and HKEY_USERS;
//   Windows documents that it refuses to, and the simulation refuses with
//   ERROR_ACCESS_DENIED.
// - Doubled backslashes inside a path: Wine collapses them, Windows rejects
//   them on some lookups and not on others; the simulation collapses them.
#include "win32/UniqueAny.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const wchar_t kBasePath[] = L"Software\\NxReVadiruConformance";

class RegistryConformance : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kBasePath);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kBasePath, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, base_.put(), nullptr));
    }
    void TearDown() override {
        base_.reset();
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, kBasePath));
    }

    LSTATUS Create(HKEY parent, const wchar_t* path, UniqueHKey& key, REGSAM view = 0) {
        return RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr);
    }
    LSTATUS Open(HKEY parent, const wchar_t* path, REGSAM access, UniqueHKey& key) {
        return RegOpenKeyExW(parent, path, 0, access, key.put());
    }
    LSTATUS SetDword(HKEY key, const wchar_t* name, DWORD value) {
        return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                              sizeof(value));
    }

    UniqueHKey base_;
};

TEST_F(RegistryConformance, OpeningAMissingKeyFailsAndClearsTheResult) {
    HKEY key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(base_.get(), L"Missing", 0, KEY_READ, &key));
    EXPECT_EQ(nullptr, key);
}

TEST_F(RegistryConformance, DwordReadsBackWithItsTypeAndSize) {
    ASSERT_EQ(ERROR_SUCCESS, SetDword(base_.get(), L"Value", 0xFFFFFFFFu));

    DWORD type = REG_NONE;
    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueExW(base_.get(), L"VALUE", nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(sizeof(DWORD), size);

    DWORD data = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(base_.get(), L"value", nullptr, &type,
                                              reinterpret_cast<LPBYTE>(&data), &size));
    EXPECT_EQ(0xFFFFFFFFu, data);
}

TEST_F(RegistryConformance, MissingValueIsFileNotFoundAndTouchesNoOutput) {
    DWORD type = 77;
    DWORD data = 5;
    DWORD size = sizeof(data);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(base_.get(), L"Missing", nullptr, &type,
                                                     reinterpret_cast<LPBYTE>(&data), &size));
    EXPECT_EQ(77u, type);
    EXPECT_EQ(5u, data);
    EXPECT_EQ(sizeof(data), size);
}

TEST_F(RegistryConformance, ValueAccessFollowsTheHandlesRightsButCreationDoesNot) {
    UniqueHKey created;
    ASSERT_EQ(ERROR_SUCCESS, Create(base_.get(), L"Child", created));
    UniqueHKey readOnly;
    ASSERT_EQ(ERROR_SUCCESS, Open(base_.get(), L"Child", KEY_READ, readOnly));
    UniqueHKey writeOnly;
    ASSERT_EQ(ERROR_SUCCESS, Open(base_.get(), L"Child", KEY_SET_VALUE, writeOnly));

    EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(readOnly.get(), L"Number", 1));
    EXPECT_EQ(ERROR_SUCCESS, SetDword(writeOnly.get(), L"Number", 1));
    DWORD data = 0;
    DWORD size = sizeof(data);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExW(writeOnly.get(), L"Number", nullptr, nullptr,
                                                    reinterpret_cast<LPBYTE>(&data), &size));

    // Creation is checked against the key's security, not the handle's rights.
    UniqueHKey grandChild;
    EXPECT_EQ(ERROR_SUCCESS, Create(readOnly.get(), L"GrandChild", grandChild));
}

TEST_F(RegistryConformance, DeleteTreeRemovesAKeyWithEverythingBelowIt) {
    UniqueHKey inner;
    ASSERT_EQ(ERROR_SUCCESS, Create(base_.get(), L"Outer\\Inner", inner));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(inner.get(), L"Number", 1));
    inner.reset();

    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(base_.get(), L"Outer"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(base_.get(), L"Outer", KEY_READ, inner));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteTreeW(base_.get(), L"Outer"));
}

// A 64-bit program's 32-bit view of the machine's software key is its
// Wow6432Node; the user's software key is one for both views.
TEST_F(RegistryConformance, ThirtyTwoBitViewOfTheMachinesSoftwareIsItsWow6432Node) {
    const wchar_t kMachinePath[] = L"Software\\NxReVadiruConformance";
    const wchar_t kRedirectedPath[] = L"Software\\Wow6432Node\\NxReVadiruConformance";
    UniqueHKey key;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, kMachinePath, key, KEY_WOW64_32KEY));
    EXPECT_EQ(ERROR_SUCCESS, Open(HKEY_LOCAL_MACHINE, kRedirectedPath, KEY_READ, key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(HKEY_LOCAL_MACHINE, kMachinePath, KEY_READ, key));
    key.reset();
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRedirectedPath));
    EXPECT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, kBasePath, KEY_READ | KEY_WOW64_32KEY, key));
}

}  // namespace
