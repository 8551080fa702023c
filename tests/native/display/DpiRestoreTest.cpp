#include "native/display/ImplTest.h"
#include "native/display/SetDpiProgram.h"

#include <winsim/SimDisplay.h>
#include <winsim/SimProcesses.h>
#include <winsim/SimRegistry.h>
#include <winsim/SimSessions.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

const winsim::UserAccount kAlice{L"DESKTOP\\alice", L"S-1-5-21-1-2-3-1001"};
const winsim::UserAccount kBob{L"DESKTOP\\bob", L"S-1-5-21-1-2-3-1002"};
const std::wstring kRestorePath = L"\\SOFTWARE\\DeskSuite\\NxReVadiru";
const std::string kAliceKey = "HKEY_USERS\\S-1-5-21-1-2-3-1001\\SOFTWARE\\DeskSuite\\NxReVadiru\\";

const std::string kNeedRestoreDpi = "(NxReVadiruService::Impl::NeedRestoreDpi)";
const std::string kSetRestoreDpiFlag = "(NxReVadiruService::Impl::SetRestoreDpiFlag)";
const std::string kGetRestoreDpi = "(NxReVadiruService::Impl::GetRestoreDpi)";
const std::string kSetRestoreDpi = "(NxReVadiruService::Impl::SetRestoreDpi)";
const std::string kRestoreDpi = "(NxReVadiruService::Impl::RestoreDpi)";
const std::string kProcessCreated =
    "4 CreateUserProcessEx processId: 10000(`anonymous-namespace'::CreateProcessAsUserEx)";

// Alice at the console with her restore key in place; the default display
// shows 100 percent with steps 0 to +3.
class DpiRestoreTest : public displaytest::ImplTest {
protected:
    DpiRestoreTest() {
        machine().Extension<winsim::Sessions>().LogOnConsole(kAlice);
        registry.CreateKey(HKEY_USERS, kAlice.sid + kRestorePath);
    }

    void Store(const wchar_t* name, uint32_t value) {
        registry.SetDword(HKEY_USERS, kAlice.sid + kRestorePath, name, value);
    }
    winsim::Processes& processes() { return machine().Extension<winsim::Processes>(); }
    // Command lines of the helper processes started so far.
    std::vector<std::wstring> StartedCommandLines() {
        std::vector<std::wstring> lines;
        for (const auto& process : processes().List()) {
            if (process.imageName == L"NxReVadiru.exe") {
                lines.push_back(process.commandLine);
            }
        }
        return lines;
    }
    // The effects these operations have, in order: log lines and registry writes.
    std::vector<std::string> Effects() { return machine().JournalLines({"log", "registry"}); }

    winsim::SimRegistry registry{machine()};
};

// A stored value (none: absent) and what the operation answers for it: the
// accepted value, or 1 for a pending restore.
struct StoredCase {
    const char* name;
    std::optional<uint32_t> stored;
    int32_t answer;
};

void PrintTo(const StoredCase& value, std::ostream* out) {
    *out << value.name;
}

const std::string kQueryFailed = "4 [VuVidazi] query restoreDpi regedit failed";

class NeedRestoreDpiTest : public DpiRestoreTest,
                           public ::testing::WithParamInterface<StoredCase> {};

TEST_P(NeedRestoreDpiTest, OnlyExactlyOneIsPending) {
    std::vector<std::string> lines;
    if (GetParam().stored) {
        Store(L"needRestore", *GetParam().stored);
    } else {
        lines.push_back(kQueryFailed + kNeedRestoreDpi);
    }

    EXPECT_EQ(impl().NeedRestoreDpi(), GetParam().answer == 1);
    EXPECT_EQ(LogLines(), lines);
}

INSTANTIATE_TEST_SUITE_P(Flag, NeedRestoreDpiTest,
                         ::testing::Values(StoredCase{"Absent", std::nullopt, 0},
                                           StoredCase{"One", 1, 1}, StoredCase{"Two", 2, 0},
                                           StoredCase{"MinusOne", 0xFFFFFFFFu, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

class GetRestoreDpiTest : public DpiRestoreTest,
                          public ::testing::WithParamInterface<StoredCase> {};

TEST_P(GetRestoreDpiTest, AcceptsZeroToTheMaximumAndKeepsItInMemory) {
    impl().originDpiScale = 125;
    std::vector<std::string> lines;
    if (GetParam().stored) {
        Store(L"restoreDpi", *GetParam().stored);
    } else {
        lines.push_back(kQueryFailed + kGetRestoreDpi);
    }
    lines.push_back("3 restore value is " + std::to_string(GetParam().answer) + kGetRestoreDpi);

    EXPECT_EQ(impl().GetRestoreDpi(), GetParam().answer);
    EXPECT_EQ(impl().originDpiScale.load(), static_cast<uint32_t>(GetParam().answer));
    EXPECT_EQ(LogLines(), lines);
}

INSTANTIATE_TEST_SUITE_P(Value, GetRestoreDpiTest,
                         ::testing::Values(StoredCase{"Zero", 0, 0},
                                           StoredCase{"Maximum", 1000, 1000},
                                           StoredCase{"AboveMaximum", 1001, 0},
                                           StoredCase{"Negative", static_cast<uint32_t>(-5), 0},
                                           StoredCase{"Absent", std::nullopt, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

struct WriteCase {
    const char* name;
    void (*write)(NxReVadiruService::Impl&);
    std::string written;  // value name and data as the registry journal shows them
    std::string failure;
};

void PrintTo(const WriteCase& value, std::ostream* out) {
    *out << value.name;
}

class RestoreStateWriteTest : public DpiRestoreTest,
                              public ::testing::WithParamInterface<WriteCase> {};

TEST_P(RestoreStateWriteTest, LogsAFailedWrite) {
    registry.DeleteKey(HKEY_USERS, kAlice.sid + kRestorePath);

    GetParam().write(impl());

    EXPECT_TRUE(Journal("registry").empty());
    EXPECT_EQ(LogLines(), std::vector<std::string>{GetParam().failure});
}

TEST_P(RestoreStateWriteTest, WritesIntoTheKeyOfWhoeverIsAtTheConsoleNow) {
    GetParam().write(impl());
    machine().Extension<winsim::Sessions>().LogOnConsole(kBob);
    registry.CreateKey(HKEY_USERS, kBob.sid + kRestorePath);

    GetParam().write(impl());

    EXPECT_EQ(Journal("registry"),
              (std::vector<std::string>{
                  "set " + kAliceKey + GetParam().written,
                  "set HKEY_USERS\\S-1-5-21-1-2-3-1002\\SOFTWARE\\DeskSuite\\NxReVadiru\\" +
                      GetParam().written}));
    EXPECT_TRUE(LogLines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Writes, RestoreStateWriteTest,
    ::testing::Values(WriteCase{"FlagSet",
                                [](NxReVadiruService::Impl& impl) { impl.SetRestoreDpiFlag(true); },
                                "needRestore = 1",
                                "4 [VuVidazi] set needRestore regedit failed" + kSetRestoreDpiFlag},
                      WriteCase{"Scale",
                                [](NxReVadiruService::Impl& impl) { impl.SetRestoreDpi(150); },
                                "restoreDpi = 150",
                                "4 [VuVidazi] set restoreDpi regedit failed" + kSetRestoreDpi}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DpiRestoreTest, RestoreDpiWithAnUnreadableDisplayShowsCurdpiZero) {
    processes().Register(L"NxReVadiru.exe", displaytest::SetDpiProgram());
    winsim::SimDisplay(machine()).SetPaths({});
    impl().originDpiScale = 175;

    impl().RestoreDpi();

    EXPECT_EQ(LogLines().back(), "3 [VuVidazi] restore dpi 175 curdpi 0" + kRestoreDpi);
    EXPECT_EQ(impl().originDpiScale.load(), 175u);
    EXPECT_TRUE(Journal("registry").empty());
}

// The message handler of 0x6F0005, from a stored state to its effects.
struct HandlerCase {
    const char* name;
    uint32_t needRestore;
    uint32_t restoreDpi;
    winsim::Program helper;  // empty: NxReVadiru.exe cannot be started
    std::vector<std::wstring> started;
    std::vector<std::string> effects;
    uint32_t originAfter;
};

const std::string kClearFlag = "registry: set " + kAliceKey + "needRestore = 0";

void PrintTo(const HandlerCase& value, std::ostream* out) {
    *out << value.name;
}

class RestoreDpiMessageTest : public DpiRestoreTest,
                              public ::testing::WithParamInterface<HandlerCase> {};

TEST_P(RestoreDpiMessageTest, RestoresInOrderAndClearsTheFlag) {
    if (GetParam().helper) {
        processes().Register(L"NxReVadiru.exe", GetParam().helper);
    }
    Store(L"needRestore", GetParam().needRestore);
    Store(L"restoreDpi", GetParam().restoreDpi);
    TagIPCMessageItem message;
    message.msgId = 0x6F0005;

    impl().OnRecvRestoreDpiMsg(message);

    EXPECT_EQ(StartedCommandLines(), GetParam().started);
    EXPECT_EQ(Effects(), GetParam().effects);
    EXPECT_EQ(impl().originDpiScale.load(), GetParam().originAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Handler, RestoreDpiMessageTest,
    ::testing::Values(
        HandlerCase{"DisplayShowsAnotherScale",
                    1,
                    150,
                    winsim::programs::ExitsAtOnce(),
                    {L"NxReVadiru.exe setdpi 150 0"},
                    {"log: 3 restore value is 150" + kGetRestoreDpi, "log: " + kProcessCreated,
                     "log: 3 [VuVidazi] restore dpi 150 curdpi 100" + kRestoreDpi, kClearFlag},
                    150},
        HandlerCase{
            "DisplayShowsTheSavedScale",
            1,
            150,
            displaytest::SetDpiProgram(),
            {L"NxReVadiru.exe setdpi 150 0"},
            {"log: 3 restore value is 150" + kGetRestoreDpi, "log: " + kProcessCreated,
             "log: 3 [VuVidazi] restore dpi 150 curdpi 150" + kRestoreDpi, kClearFlag, kClearFlag},
            0},
        HandlerCase{"HelperFailsToStart",
                    1,
                    150,
                    {},
                    {},
                    {"log: 3 restore value is 150" + kGetRestoreDpi,
                     "log: 4 CreateUserProcessEx failed:2"
                     "(`anonymous-namespace'::CreateProcessAsUserEx)",
                     "log: 4 CreateUserProcessEx processId: 0"
                     "(`anonymous-namespace'::CreateProcessAsUserEx)",
                     "log: 4 [VuVidazi] failed to create user interactive process." + kRestoreDpi,
                     kClearFlag},
                    150},
        HandlerCase{"SavedScaleOutOfRange",
                    1,
                    1001,
                    displaytest::SetDpiProgram(),
                    {},
                    {"log: 3 restore value is 0" + kGetRestoreDpi, kClearFlag},
                    0},
        HandlerCase{"NothingPending", 0, 150, displaytest::SetDpiProgram(), {}, {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
