// The user's display scaling kept in the user's hive and put back through the
// helper's "setdpi" command.
#include "support/ClockDriver.h"
#include "support/JournalMatchers.h"
#include "support/NamedRows.h"
#include "support/SessionPc.h"

#include <optional>
#include <string>
#include <vector>

namespace {

using namespace simtest;
using ::testing::Contains;

constexpr char kGetRestoreDpi[] = "NxReVadiruService::Impl::GetRestoreDpi";
constexpr char kNeedRestoreDpi[] = "NxReVadiruService::Impl::NeedRestoreDpi";

using DpiRestoreTest = SessionPcTest;

TEST_F(DpiRestoreTest, WritesWithoutTheKeyAreLogged) {
    registry.DeleteKey(HKEY_USERS, kUserDpi);

    impl().SetRestoreDpiFlag(true);
    impl().SetRestoreDpi(150);

    EXPECT_EQ(
        LogLines(),
        (std::vector<std::string>{
            "4 [VuVidazi] set needRestore regedit "
            "failed(NxReVadiruService::Impl::SetRestoreDpiFlag)",
            "4 [VuVidazi] set restoreDpi regedit failed(NxReVadiruService::Impl::SetRestoreDpi)",
        }));
}

// The handler of 0x6F0005, from the stored state (nullopt: absent) to what
// it reads, starts and clears.
struct HandlerCase : testrows::Named {
    std::optional<uint32_t> needRestore;
    std::optional<uint32_t> restoreDpi;
    std::optional<int32_t> read;  // the scaling it reads; nullopt: it stops at the flag
    const char* queryFailedIn;    // the operation that logs a failed read; nullptr: none
    const char* restoreLine;      // the restore's own line; nullptr: none
    uint32_t originAfter;         // the scaling still to put back, in memory
    int flagCleared;              // how often "needRestore" is written 0
    winsim::Program helper = simtest::SetDpiProgram();  // empty: it cannot be started
    uint32_t shown = 100;  // what the display shows at first; 0: no display
};

class RestoreDpiMessageTest : public DpiRestoreTest,
                              public ::testing::WithParamInterface<HandlerCase> {};

TEST_P(RestoreDpiMessageTest, RestoresInOrderAndClearsTheFlag) {
    const HandlerCase& row = GetParam();
    if (row.helper) {
        processes().Register(L"NxReVadiru.exe", row.helper);
    } else {
        machine().Fail("CreateProcessAsUserW", ERROR_FILE_NOT_FOUND);
    }
    if (row.needRestore) {
        registry.SetDword(HKEY_USERS, kUserDpi, L"needRestore", *row.needRestore);
    }
    if (row.restoreDpi) {
        registry.SetDword(HKEY_USERS, kUserDpi, L"restoreDpi", *row.restoreDpi);
    }
    if (row.shown == 0) {
        winsim::SimDisplay(machine()).SetPaths({});
    }
    ShowPercent(machine(), row.shown);
    TagIPCMessageItem message;

    impl().OnRecvRestoreDpiMsg(message);

    const auto journal = machine().Journal();
    EXPECT_THAT(journal, Contains(LogMentions("restore value is ")).Times(row.read ? 1 : 0));
    if (row.read) {
        EXPECT_THAT(journal, Contains(Logged(3, "restore value is " + std::to_string(*row.read),
                                             kGetRestoreDpi)));
    }
    EXPECT_THAT(
        journal,
        Contains(LogMentions("query restoreDpi regedit failed")).Times(row.queryFailedIn ? 1 : 0));
    if (row.queryFailedIn) {
        EXPECT_THAT(journal, Contains(Logged(4, "[VuVidazi] query restoreDpi regedit failed",
                                             row.queryFailedIn)));
    }
    if (row.restoreLine) {
        EXPECT_THAT(journal, Contains(LogMentions(row.restoreLine)));
    }
    EXPECT_THAT(journal,
                Contains(SetUserValue(kDpiPath, L"needRestore", 0)).Times(row.flagCleared));
    EXPECT_EQ(impl().originDpiScale.load(), row.originAfter);
    const simtest::ClockDriver clock(machine());  // the helper finishes in its own time
    EXPECT_TRUE(machine().WaitForThreads());
}

INSTANTIATE_TEST_SUITE_P(
    Handler, RestoreDpiMessageTest,
    ::testing::Values(
        HandlerCase{"FlagAbsent", std::nullopt, 150, std::nullopt, kNeedRestoreDpi, nullptr, 0, 0},
        HandlerCase{"FlagZero", 0, 150, std::nullopt, nullptr, nullptr, 0, 0},
        HandlerCase{"FlagTwo", 2, 150, std::nullopt, nullptr, nullptr, 0, 0},
        HandlerCase{"DisplayShowsSavedScale", 1, 150, 150, nullptr,
                    "[VuVidazi] restore dpi 150 curdpi 150", 0, 2, simtest::SetDpiProgram(), 150},
        // The scaling is read right after the start, before the helper has
        // set it: the restore stays pending in memory.
        HandlerCase{"HelperStillStarting", 1, 150, 150, nullptr,
                    "[VuVidazi] restore dpi 150 curdpi 100", 150, 1, simtest::SetDpiProgram(500)},
        // The highest scale kept, the display unreadable: it stays pending.
        HandlerCase{"DisplayGoneAtHighest", 1, 1000, 1000, nullptr,
                    "[VuVidazi] restore dpi 1000 curdpi 0", 1000, 1, simtest::SetDpiProgram(), 0},
        HandlerCase{"HelperFailsToStart", 1, 150, 150, nullptr,
                    "[VuVidazi] failed to create user interactive process.", 150, 1,
                    winsim::Program()},
        HandlerCase{"SavedScaleAboveHighest", 1, 1001, 0, nullptr, nullptr, 0, 1},
        HandlerCase{"SavedScaleNegative", 1, static_cast<uint32_t>(-5), 0, nullptr, nullptr, 0, 1},
        HandlerCase{"SavedScaleAbsent", 1, std::nullopt, 0, kGetRestoreDpi, nullptr, 0, 1}),
    testrows::RowName());

}  // namespace
