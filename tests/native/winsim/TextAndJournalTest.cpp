// Journal order and the text conversions journal entries are written with.
#include "support/SimTest.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

using SimJournalTest = SimTest;

TEST_F(SimJournalTest, EntriesKeepTheirOrderAcrossKindsAndCarryTheVirtualTime) {
    HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, L"NxReVadiru.exe");
    HANDLE unnamed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    machine().Record("log", "3 first");
    ASSERT_TRUE(SetEvent(unnamed));  // unnamed events leave no entry
    machine().Advance(250);
    ASSERT_TRUE(SetEvent(quit));
    ASSERT_TRUE(ResetEvent(quit));
    machine().Record("log", "3 second");

    EXPECT_EQ(machine().JournalLines(), (std::vector<std::string>{
                                            "log: 3 first",
                                            "event: SetEvent NxReVadiru.exe",
                                            "event: ResetEvent NxReVadiru.exe",
                                            "log: 3 second",
                                        }));
    EXPECT_EQ(machine().JournalLines({"event"}),
              (std::vector<std::string>{"event: SetEvent NxReVadiru.exe",
                                        "event: ResetEvent NxReVadiru.exe"}));
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"3 first", "3 second"}));
    const auto journal = machine().Journal();
    ASSERT_EQ(journal.size(), 4u);
    EXPECT_EQ(journal[0].time, 0u);
    EXPECT_EQ(journal[1].time, 250u);

    machine().ClearJournal();
    EXPECT_TRUE(machine().Journal().empty());
    CloseHandle(unnamed);
    CloseHandle(quit);
}

struct TextCase {
    std::wstring wide;
    std::string utf8;
};

TEST(SimText, NarrowAndWidenConvertBetweenWideTextAndUtf8) {
    const TextCase cases[] = {
        {L"", ""},
        {L"C:\\Program Files\\VLAMainService.exe", "C:\\Program Files\\VLAMainService.exe"},
        {L"caf\u00e9", "caf\xc3\xa9"},
        {L"\u20ac100",
         "\xe2\x82\xac"
         "100"},
        {L"\U0001F600", "\xf0\x9f\x98\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(winsim::Narrow(c.wide), c.utf8);
        EXPECT_EQ(winsim::Widen(c.utf8), c.wide);
    }
}

TEST(SimText, SurrogatePairsBecomeOneCharacterAndBrokenInputIsReplaced) {
    EXPECT_EQ(winsim::Narrow(std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}), "\xf0\x9f\x98\x80");
    EXPECT_EQ(winsim::Narrow(std::wstring{wchar_t(0xD83D)}), "\xef\xbf\xbd");
    EXPECT_EQ(winsim::Widen("a\xff"
                            "b"),
              L"a\ufffdb");
    EXPECT_EQ(winsim::Widen("\xe2\x82"), L"\ufffd\ufffd");
}

}  // namespace
