// The simulated registry where it goes beyond what the conformance suite can
// compare with Wine: the journal, key security, root rules, faults and handles.
#include "support/SimTest.h"

#include <windows.h>
#include <winsim/SimRegistry.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

class SimRegistryTest : public SimTest {
protected:
    LSTATUS Create(HKEY parent, const wchar_t* path, REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        const LSTATUS status =
            RegCreateKeyExW(parent, path, 0, nullptr, 0, access, nullptr, &key, nullptr);
        if (key) {
            RegCloseKey(key);
        }
        return status;
    }
    LSTATUS Open(HKEY parent, const wchar_t* path, REGSAM access) {
        HKEY key = nullptr;
        const LSTATUS status = RegOpenKeyExW(parent, path, 0, access, &key);
        if (key) {
            RegCloseKey(key);
        }
        return status;
    }
    LSTATUS Set(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
        return RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    }

    winsim::SimRegistry registry_{machine()};
};

TEST_F(SimRegistryTest, JournalRecordsEachChangeInOrder) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Norvane\\Tree", 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const DWORD minusOne = 0xFFFFFFFFu;
    const wchar_t text[] = L"on";
    const BYTE bytes[] = {0x01, 0xAB};
    EXPECT_EQ(ERROR_SUCCESS, Set(key, L"PcMute", REG_DWORD, &minusOne, sizeof(minusOne)));
    EXPECT_EQ(ERROR_SUCCESS, Set(key, L"pcmute", REG_DWORD, &minusOne, sizeof(minusOne)));
    EXPECT_EQ(ERROR_SUCCESS, Set(key, L"Mode", REG_SZ, text, sizeof(text)));
    EXPECT_EQ(ERROR_SUCCESS, Set(key, nullptr, REG_BINARY, bytes, sizeof(bytes)));
    EXPECT_EQ(ERROR_SUCCESS, Create(key, L"Leaf"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(key, L"LEAF"));
    EXPECT_EQ(ERROR_SUCCESS, Create(key, L"Branch\\Leaf"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(key, L"Branch"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));

    const std::string tree = "HKEY_CURRENT_USER\\Software\\Norvane\\Tree";
    EXPECT_THAT(Journal("registry"),
                ElementsAre("create " + tree,                         //
                            "set " + tree + "\\PcMute = 4294967295",  //
                            "set " + tree + "\\PcMute = 4294967295",  //
                            "set " + tree + "\\Mode = \"on\"",        //
                            "set " + tree + "\\@ = hex:01,ab",        //
                            "create " + tree + "\\Leaf",              //
                            "delete " + tree + "\\Leaf",              //
                            "create " + tree + "\\Branch\\Leaf",      //
                            "delete " + tree + "\\Branch",            //
                            "clear " + tree));
}

TEST_F(SimRegistryTest, KeysCannotBeCreatedDirectlyBelowTheMachineAndUsersRoots) {
    EXPECT_EQ(ERROR_ACCESS_DENIED, Create(HKEY_LOCAL_MACHINE, L"NewHive"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, Create(HKEY_USERS, L"S-1-5-21-9\\SOFTWARE"));
    EXPECT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\DeskSuite"));
    EXPECT_EQ(ERROR_SUCCESS, Create(HKEY_CURRENT_USER, L"Software"));
    registry_.CreateKey(HKEY_USERS, L"S-1-5-21-9");
    EXPECT_EQ(ERROR_SUCCESS, Create(HKEY_USERS, L"S-1-5-21-9\\SOFTWARE"));
    EXPECT_FALSE(registry_.KeyExists(HKEY_LOCAL_MACHINE, L"NewHive"));
}

TEST_F(SimRegistryTest, ReadOnlyKeyRefusesEveryWriteRight) {
    registry_.SetAccess(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Locked", winsim::KeyAccess::ReadOnly);
    const REGSAM refused[] = {KEY_ALL_ACCESS,     KEY_WRITE, KEY_SET_VALUE,
                              KEY_CREATE_SUB_KEY, DELETE,    WRITE_DAC};
    for (const REGSAM access : refused) {
        SCOPED_TRACE(access);
        EXPECT_EQ(ERROR_ACCESS_DENIED, Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Locked", access));
    }
    EXPECT_EQ(ERROR_SUCCESS,
              Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Locked", KEY_READ | KEY_WOW64_64KEY));
    EXPECT_EQ(ERROR_ACCESS_DENIED, Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Locked\\Child"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Locked"));
    EXPECT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Locked", KEY_READ));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Locked"));
    EXPECT_TRUE(registry_.KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Locked"));
}

TEST_F(SimRegistryTest, DeniedKeyCannotBeOpenedButItsSubkeysCan) {
    registry_.CreateKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Hidden\\Open");
    registry_.SetAccess(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Hidden", winsim::KeyAccess::Denied);
    EXPECT_EQ(ERROR_ACCESS_DENIED, Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Hidden", KEY_READ));
    EXPECT_EQ(ERROR_SUCCESS, Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Hidden\\Open", KEY_ALL_ACCESS));
}

TEST_F(SimRegistryTest, EachFunctionFailsByItsOwnNameOnce) {
    registry_.SetDword(HKEY_CURRENT_USER, L"", L"Number", 1);
    registry_.CreateKey(HKEY_CURRENT_USER, L"Software\\X");
    const DWORD data = 2;
    DWORD size = sizeof(data);
    DWORD read = 0;
    const struct {
        const char* function;
        std::function<LSTATUS()> call;
    } cases[] = {
        {"RegOpenKeyExW", [&] { return Open(HKEY_CURRENT_USER, L"Software\\X", KEY_READ); }},
        {"RegCreateKeyExW", [&] { return Create(HKEY_CURRENT_USER, L"Software\\Y"); }},
        {"RegQueryValueExW",
         [&] {
             return RegQueryValueExW(HKEY_CURRENT_USER, L"Number", nullptr, nullptr,
                                     reinterpret_cast<LPBYTE>(&read), &size);
         }},
        {"RegSetValueExW",
         [&] { return Set(HKEY_CURRENT_USER, L"Number", REG_DWORD, &data, sizeof(data)); }},
        {"RegDeleteKeyW", [&] { return RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Y"); }},
        {"RegDeleteTreeW", [&] { return RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\X"); }},
        {"RegCloseKey", [&] { return RegCloseKey(HKEY_CURRENT_USER); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.function);
        machine().Fail(c.function, ERROR_CANTWRITE);
        EXPECT_EQ(ERROR_CANTWRITE, c.call());
        EXPECT_EQ(ERROR_SUCCESS, c.call());
    }
}

TEST_F(SimRegistryTest, OpenKeysCountAsHandlesUntilClosed) {
    HKEY first = nullptr;
    HKEY second = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_READ, &first));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(first, L"", 0, KEY_READ, &second));
    EXPECT_THAT(machine().OpenHandleKinds(), ElementsAre("registry key", "registry key"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(first));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(1u, machine().OpenHandleCount());
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(second));
}

TEST_F(SimRegistryTest, TestSideReadsAndWritesWithoutJournal) {
    registry_.SetDword(HKEY_USERS, L"\\S-1\\SOFTWARE\\", L"Number", 5);
    registry_.SetString(HKEY_USERS, L"S-1\\SOFTWARE", L"Text", L"five");
    registry_.CreateKey(HKEY_USERS, L"S-1\\SOFTWARE\\Child");

    EXPECT_EQ(5u, registry_.GetDword(HKEY_USERS, L"s-1\\software", L"NUMBER"));
    EXPECT_EQ(std::nullopt, registry_.GetDword(HKEY_USERS, L"S-1\\SOFTWARE", L"Text"));
    EXPECT_EQ(L"five", registry_.GetString(HKEY_USERS, L"S-1\\SOFTWARE", L"Text"));
    EXPECT_EQ(DWORD{REG_SZ}, registry_.GetType(HKEY_USERS, L"S-1\\SOFTWARE", L"Text"));
    EXPECT_EQ(std::nullopt, registry_.GetType(HKEY_USERS, L"S-1\\SOFTWARE", L"Missing"));
    EXPECT_THAT(registry_.SubKeyNames(HKEY_USERS, L"S-1\\SOFTWARE"), ElementsAre(L"Child"));

    registry_.DeleteKey(HKEY_USERS, L"S-1");
    EXPECT_FALSE(registry_.KeyExists(HKEY_USERS, L"S-1"));
    EXPECT_THAT(registry_.SubKeyNames(HKEY_USERS, L""), IsEmpty());
    EXPECT_THAT(Journal("registry"), IsEmpty());
}

TEST_F(SimRegistryTest, ConcurrentWritersEachLandTheirValue) {
    registry_.CreateKey(HKEY_CURRENT_USER, L"Software\\Shared");
    constexpr int kWriters = 4;
    std::vector<std::thread> writers;
    for (int i = 0; i < kWriters; ++i) {
        writers.emplace_back([this, i] {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Shared", 0, KEY_SET_VALUE, &key) ==
                ERROR_SUCCESS) {
                const DWORD value = static_cast<DWORD>(i);
                const std::wstring name = L"Writer" + std::to_wstring(i);
                Set(key, name.c_str(), REG_DWORD, &value, sizeof(value));
                RegCloseKey(key);
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    for (int i = 0; i < kWriters; ++i) {
        EXPECT_EQ(static_cast<uint32_t>(i),
                  registry_.GetDword(HKEY_CURRENT_USER, L"Software\\Shared",
                                     L"Writer" + std::to_wstring(i)));
    }
    EXPECT_EQ(static_cast<size_t>(kWriters), Journal("registry").size());
}

}  // namespace
