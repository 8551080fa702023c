// DE::Registry and TandemConfig against the real registry: the current user's
// hive under HKEY_USERS and the machine hive, each test cleaning up after itself.
#include "Registry.h"
#include "TandemConfig.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::wstring kTestKey = L"\\SOFTWARE\\NxReVadiruTest";

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};

// The string form of the SID this process runs as; empty when it cannot be read.
std::wstring CurrentUserSid() {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
        return {};
    }
    const std::unique_ptr<void, HandleCloser> token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
        return {};
    }
    LPWSTR rawText = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &rawText)) {
        return {};
    }
    const std::unique_ptr<void, LocalFreer> text(rawText);
    return rawText;
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        sid_ = CurrentUserSid();
        ASSERT_FALSE(sid_.empty());
        RemoveTestKeys();
    }
    void TearDown() override { RemoveTestKeys(); }

    void RemoveTestKeys() {
        RegDeleteTreeW(HKEY_USERS, (sid_ + kTestKey).c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestKey.substr(1).c_str());
    }

    std::wstring sid_;
};

struct Place {
    const char* name;
    HKEY root;
    bool underUser;
};

TEST_F(RegistryTest, IntegersRoundTripInTheUserAndMachineHives) {
    const Place places[] = {{"user", HKEY_USERS, true}, {"machine", HKEY_LOCAL_MACHINE, false}};
    const int32_t values[] = {0, 1, -1, std::numeric_limits<int32_t>::max(),
                              std::numeric_limits<int32_t>::min()};
    for (const auto& place : places) {
        SCOPED_TRACE(place.name);
        const std::wstring key = (place.underUser ? sid_ : std::wstring()) + kTestKey;
        DE::Registry store;
        store.SetRootKey(place.root);
        EXPECT_FALSE(DE::Registry::SetValue(place.root, key, L"value", 1, KEY_ALL_ACCESS));
        ASSERT_TRUE(store.CreateKey(key));
        ASSERT_TRUE(store.KeyExists(key));
        for (const int32_t value : values) {
            SCOPED_TRACE(value);
            ASSERT_TRUE(DE::Registry::SetValue(place.root, key, L"value", value, KEY_ALL_ACCESS));
            int32_t asSigned = 0;
            uint32_t asUnsigned = 0;
            EXPECT_TRUE(
                DE::Registry::GetValue(place.root, key, L"value", asSigned, KEY_ALL_ACCESS));
            EXPECT_TRUE(
                DE::Registry::GetValue(place.root, key, L"value", asUnsigned, KEY_ALL_ACCESS));
            EXPECT_EQ(value, asSigned);
            EXPECT_EQ(static_cast<uint32_t>(value), asUnsigned);
        }
        int32_t untouched = 9;
        EXPECT_FALSE(
            DE::Registry::GetValue(place.root, key, L"missing", untouched, KEY_ALL_ACCESS));
        EXPECT_EQ(9, untouched);
    }
}

TEST_F(RegistryTest, DelKeyRemovesTheKeyWithItsSubkeys) {
    const std::wstring key = sid_ + kTestKey;
    DE::Registry store;
    store.SetRootKey(HKEY_USERS);
    ASSERT_TRUE(store.CreateKey(key + L"\\Inner\\Deeper"));
    ASSERT_TRUE(DE::Registry::SetValue(HKEY_USERS, key + L"\\Inner", L"value", 5, KEY_ALL_ACCESS));

    EXPECT_TRUE(DE::Registry::DelKey(HKEY_USERS, key, KEY_ALL_ACCESS));
    EXPECT_FALSE(store.KeyExists(key));
    EXPECT_FALSE(DE::Registry::DelKey(HKEY_USERS, key, KEY_ALL_ACCESS));
}

TEST_F(RegistryTest, TandemConfigFindsTheCurrentUsersKeyThroughTheCurrentUserRoot) {
    EXPECT_FALSE(TandemConfig::IsExistsRegKey(kTestKey, true));
    DE::Registry store;
    store.SetRootKey(HKEY_USERS);
    ASSERT_TRUE(store.CreateKey(sid_ + kTestKey));
    EXPECT_TRUE(TandemConfig::IsExistsRegKey(kTestKey, true));
    EXPECT_FALSE(TandemConfig::IsExistsRegKey(kTestKey, false));
}

}  // namespace
