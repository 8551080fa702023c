// DE::Registry and TandemConfig::IsExistsRegKey against the simulated registry.
#include "Registry.h"
#include "TandemConfig.h"

#include "support/SimTest.h"

#include <winsim/SimRegistry.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::wstring kSid = L"S-1-5-21-1-2-3-1001";
const std::wstring kSetting = L"\\SOFTWARE\\Norvane\\DeskSuite\\setting";
const std::string kSettingJournal =
    "HKEY_USERS\\S-1-5-21-1-2-3-1001\\SOFTWARE\\Norvane\\DeskSuite\\setting";
const std::wstring kIddSettings = L"\\SOFTWARE\\DeskSuite\\Drivers\\IDDSettings";

class RegistryStoreTest : public SimTest {
protected:
    winsim::SimRegistry registry_{machine()};
};

class SignedRoundTrip : public RegistryStoreTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(SignedRoundTrip, ReadsBackTheIntegerWrittenAsOneDword) {
    registry_.CreateKey(HKEY_USERS, kSid + kSetting);
    const int32_t written = GetParam();
    ASSERT_TRUE(
        DE::Registry::SetValue(HKEY_USERS, kSid + kSetting, L"pcmute", written, KEY_ALL_ACCESS));

    int32_t asSigned = 12345;
    uint32_t asUnsigned = 12345;
    EXPECT_TRUE(
        DE::Registry::GetValue(HKEY_USERS, kSid + kSetting, L"pcmute", asSigned, KEY_ALL_ACCESS));
    EXPECT_TRUE(
        DE::Registry::GetValue(HKEY_USERS, kSid + kSetting, L"pcmute", asUnsigned, KEY_ALL_ACCESS));
    const auto pattern = static_cast<uint32_t>(written);
    EXPECT_EQ(written, asSigned);
    EXPECT_EQ(pattern, asUnsigned);
    EXPECT_EQ(DWORD{REG_DWORD}, registry_.GetType(HKEY_USERS, kSid + kSetting, L"pcmute"));
    EXPECT_THAT(Journal("registry"),
                ElementsAre("set " + kSettingJournal + "\\pcmute = " + std::to_string(pattern)));
}

INSTANTIATE_TEST_SUITE_P(Values, SignedRoundTrip,
                         ::testing::Values(1, -1, std::numeric_limits<int32_t>::min()));

TEST_F(RegistryStoreTest, UnreadableValuesAnswerFalseAndLeaveTheVariable) {
    const std::wstring key = kSid + L"\\SOFTWARE\\DeskSuite\\NxReVadiru\\";
    const struct {
        const char* what;
        void (*arrange)(winsim::SimRegistry&, const std::wstring&);
    } cases[] = {
        {"missing key", [](winsim::SimRegistry&, const std::wstring&) {}},
        {"missing value",
         [](winsim::SimRegistry& r, const std::wstring& k) { r.CreateKey(HKEY_USERS, k); }},
        {"text value",
         [](winsim::SimRegistry& r, const std::wstring& k) {
             r.SetString(HKEY_USERS, k, L"restoreDpi", L"150");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        registry_.DeleteKey(HKEY_USERS, kSid);
        c.arrange(registry_, key);
        int32_t asSigned = 7;
        uint32_t asUnsigned = 7;
        EXPECT_FALSE(
            DE::Registry::GetValue(HKEY_USERS, key, L"restoreDpi", asSigned, KEY_ALL_ACCESS));
        EXPECT_FALSE(
            DE::Registry::GetValue(HKEY_USERS, key, L"restoreDpi", asUnsigned, KEY_ALL_ACCESS));
        EXPECT_EQ(7, asSigned);
        EXPECT_EQ(7u, asUnsigned);
    }
}

TEST_F(RegistryStoreTest, PathsMayBeginAndEndWithBackslashes) {
    // An empty SID leaves the path starting with a backslash: it then names
    // the key directly below the root.
    registry_.SetDword(HKEY_USERS, L"SOFTWARE\\Norvane\\DeskSuite\\setting", L"pcmute", 1);
    registry_.SetDword(HKEY_USERS, kSid + L"\\SOFTWARE\\DeskSuite\\NxReVadiru", L"restoreDpi", 150);
    int32_t withoutSid = 0;
    int32_t withTrailing = 0;
    EXPECT_TRUE(
        DE::Registry::GetValue(HKEY_USERS, kSetting, L"pcmute", withoutSid, KEY_ALL_ACCESS));
    EXPECT_TRUE(DE::Registry::GetValue(HKEY_USERS, kSid + L"\\SOFTWARE\\DeskSuite\\NxReVadiru\\",
                                       L"restoreDpi", withTrailing, KEY_ALL_ACCESS));
    EXPECT_EQ(1, withoutSid);
    EXPECT_EQ(150, withTrailing);
}

TEST_F(RegistryStoreTest, SetValueNeverCreatesTheKey) {
    EXPECT_FALSE(DE::Registry::SetValue(HKEY_USERS, kSid + kSetting, L"nxExcreenRunning", 0,
                                        KEY_ALL_ACCESS));
    EXPECT_FALSE(registry_.KeyExists(HKEY_USERS, kSid + kSetting));
    EXPECT_THAT(Journal("registry"), IsEmpty());
}

TEST_F(RegistryStoreTest, CreateKeyCreatesOnceAndKeyExistsSeesIt) {
    registry_.CreateKey(HKEY_USERS, kSid);
    DE::Registry store;
    store.SetRootKey(HKEY_USERS);
    EXPECT_FALSE(store.KeyExists(kSid + kSetting));
    EXPECT_TRUE(store.CreateKey(kSid + kSetting));
    EXPECT_TRUE(store.CreateKey(kSid + kSetting));
    EXPECT_TRUE(store.KeyExists(kSid + kSetting));
    EXPECT_THAT(Journal("registry"), ElementsAre("create " + kSettingJournal));
}

// On a read-only key: existence is asked with read rights only, and a read
// opens the key with the access its caller gives.
TEST_F(RegistryStoreTest, ReadOnlyKeyExistsAndIsReadWithTheCallersAccess) {
    registry_.SetDword(HKEY_USERS, kSid + kSetting, L"pcmute", 1);
    registry_.SetAccess(HKEY_USERS, kSid + kSetting, winsim::KeyAccess::ReadOnly);
    DE::Registry store;
    store.SetRootKey(HKEY_USERS);

    int32_t value = 0;
    EXPECT_TRUE(store.KeyExists(kSid + kSetting));
    EXPECT_FALSE(
        DE::Registry::GetValue(HKEY_USERS, kSid + kSetting, L"pcmute", value, KEY_ALL_ACCESS));
    EXPECT_TRUE(DE::Registry::GetValue(HKEY_USERS, kSid + kSetting, L"pcmute", value, KEY_READ));
    EXPECT_EQ(1, value);
}

TEST_F(RegistryStoreTest, DelKeyRemovesTheKeyWithItsSubkeys) {
    registry_.SetDword(HKEY_LOCAL_MACHINE, kIddSettings + L"\\Monitor0", L"Width", 1920);
    registry_.SetDword(HKEY_LOCAL_MACHINE, kIddSettings, L"Count", 1);
    EXPECT_TRUE(DE::Registry::DelKey(HKEY_LOCAL_MACHINE, kIddSettings, KEY_ALL_ACCESS));
    EXPECT_FALSE(registry_.KeyExists(HKEY_LOCAL_MACHINE, kIddSettings));
    EXPECT_TRUE(registry_.KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\DeskSuite\\Drivers"));
    EXPECT_THAT(
        Journal("registry"),
        ElementsAre("delete HKEY_LOCAL_MACHINE\\SOFTWARE\\DeskSuite\\Drivers\\IDDSettings"));
}

TEST_F(RegistryStoreTest, DelKeyFailsWithoutDeletingAnything) {
    const struct {
        const char* what;
        std::wstring path;
    } cases[] = {
        {"missing key", kIddSettings},
        {"missing parent", L"\\SOFTWARE\\Elsewhere\\IDDSettings"},
        {"only backslashes", L"\\\\"},
    };
    registry_.CreateKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\DeskSuite\\Drivers");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(DE::Registry::DelKey(HKEY_LOCAL_MACHINE, c.path, KEY_ALL_ACCESS));
    }
    EXPECT_TRUE(registry_.KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\DeskSuite\\Drivers"));
    EXPECT_THAT(Journal("registry"), IsEmpty());
}

TEST_F(RegistryStoreTest, FailingWin32CallsAnswerFalseAndCloseWhatWasOpened) {
    registry_.SetDword(HKEY_USERS, kSid + kSetting, L"pcmute", 1);
    registry_.CreateKey(HKEY_LOCAL_MACHINE, kIddSettings);
    const struct {
        const char* function;
        bool (*call)(const std::wstring& sidKey);
    } cases[] = {
        {"RegOpenKeyExW",
         [](const std::wstring& k) {
             int32_t v = 0;
             return DE::Registry::GetValue(HKEY_USERS, k, L"pcmute", v, KEY_ALL_ACCESS);
         }},
        {"RegQueryValueExW",
         [](const std::wstring& k) {
             uint32_t v = 0;
             return DE::Registry::GetValue(HKEY_USERS, k, L"pcmute", v, KEY_ALL_ACCESS);
         }},
        {"RegSetValueExW",
         [](const std::wstring& k) {
             return DE::Registry::SetValue(HKEY_USERS, k, L"pcmute", -1, KEY_ALL_ACCESS);
         }},
        {"RegCreateKeyExW",
         [](const std::wstring& k) {
             DE::Registry store;
             store.SetRootKey(HKEY_USERS);
             return store.CreateKey(k);
         }},
        {"RegDeleteTreeW",
         [](const std::wstring&) {
             return DE::Registry::DelKey(HKEY_LOCAL_MACHINE, kIddSettings, KEY_ALL_ACCESS);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.function);
        machine().Fail(c.function, ERROR_ACCESS_DENIED);
        EXPECT_FALSE(c.call(kSid + kSetting));
        EXPECT_EQ(0u, machine().OpenHandleCount());
    }
    EXPECT_EQ(1u, registry_.GetDword(HKEY_USERS, kSid + kSetting, L"pcmute"));
    EXPECT_TRUE(registry_.KeyExists(HKEY_LOCAL_MACHINE, kIddSettings));
    EXPECT_THAT(Journal("registry"), IsEmpty());
}

// TandemConfig::IsExistsRegKey: true looks in HKEY_CURRENT_USER, false in
// HKEY_LOCAL_MACHINE.
struct HiveCase {
    HKEY hive;
    bool currentUser;
    bool found;
};

class TandemConfigTest : public RegistryStoreTest,
                         public ::testing::WithParamInterface<HiveCase> {};

TEST_P(TandemConfigTest, LooksInTheHiveItsSecondArgumentSelects) {
    registry_.CreateKey(GetParam().hive, kSetting);
    EXPECT_EQ(GetParam().found, TandemConfig::IsExistsRegKey(kSetting, GetParam().currentUser));
    EXPECT_FALSE(TandemConfig::IsExistsRegKey(kSetting + L"\\Missing", GetParam().currentUser));
}

INSTANTIATE_TEST_SUITE_P(Hives, TandemConfigTest,
                         ::testing::Values(HiveCase{HKEY_CURRENT_USER, true, true},
                                           HiveCase{HKEY_CURRENT_USER, false, false},
                                           HiveCase{HKEY_LOCAL_MACHINE, false, true},
                                           HiveCase{HKEY_LOCAL_MACHINE, true, false}));

}  // namespace
