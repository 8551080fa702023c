// nxbus.exe against a broker on a pipe of the test's own: what it sends
// arrives, and what it watches it prints.
#include "BusBroker.h"
#include "IPCMessageClient.h"
#include "ModulePaths.h"
#include "process/UniqueHandle.h"
#include "support/BusInbox.h"
#include "support/TextLines.h"

#include "support/ChildProcess.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int32_t kReceiver = 0x690000;
constexpr int32_t kWatcher = 0x7E0001;
// Real time under Wine: starting a process takes seconds.
constexpr DWORD kRunTimeoutMs = 30000;

std::wstring UniquePipeName() {
    static std::atomic<int> counter{0};
    return L"\\\\.\\pipe\\NxBusToolTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
}

struct ToolRun {
    std::optional<DWORD> exitCode;  // nothing when it had to be terminated
    std::vector<std::string> output;
};

// What nxbus.exe gets as its standard input.
enum class Input {
    OpenPipe,    // stays open until the run is finished
    ClosedPipe,  // at its end from the start
    NullDevice,  // at its end from the start, and no pipe
};

// nxbus.exe as a child whose standard output is a pipe.
class ToolProcess {
public:
    explicit ToolProcess(const std::wstring& arguments, Input input = Input::OpenPipe) {
        UniqueHandle childInput;
        if (input == Input::NullDevice) {
            SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
            childInput.reset(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         &inheritable, OPEN_EXISTING, 0, nullptr));
        } else if (MakeChildInput(input_, childInput) && input == Input::ClosedPipe) {
            input_.reset();
        }
        if (!childInput) {
            return;
        }
        // Read only once the child has ended, so the pipe holds all it writes.
        constexpr DWORD kOutputBytes = 1 << 16;
        UniqueHandle childOutput;
        if (!MakeChildOutput(output_, childOutput, kOutputBytes)) {
            return;
        }
        process_ =
            StartWithStdHandles(L"\"" + ExecutableDirectory() + L"\\nxbus.exe\" " + arguments,
                                childInput.get(), childOutput.get());
    }

    bool IsStarted() const { return static_cast<bool>(process_); }
    // True once the child has ended, after waiting at most `ms`.
    bool HasEnded(DWORD ms) const {
        return WaitForSingleObject(process_.get(), ms) == WAIT_OBJECT_0;
    }

    // Waits for the child to end (terminating it when it does not), then
    // reads what it wrote: with the child gone the pipe ends.
    ToolRun Finish() {
        ToolRun run;
        DWORD code = 0;
        if (HasEnded(kRunTimeoutMs) && GetExitCodeProcess(process_.get(), &code)) {
            run.exitCode = code;
        } else {
            TerminateProcess(process_.get(), 1);
            WaitForSingleObject(process_.get(), INFINITE);
        }
        input_.reset();
        std::string text;
        char buffer[1024];
        DWORD got = 0;
        while (ReadFile(output_.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
            text.append(buffer, got);
        }
        run.output = SplitLines(text);
        return run;
    }

private:
    UniqueHandle input_;
    UniqueHandle output_;
    UniqueHandle process_;
};

class BusToolTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(broker_.Start()); }

    const std::wstring pipe_ = UniquePipeName();
    BusBroker broker_{pipe_};
};

struct SendCase {
    std::wstring arguments;  // after "send <receiver>"
    int32_t msgId;
    std::string body;
};

TEST_F(BusToolTest, SendDeliversTheMessageFromTheChosenModule) {
    const std::vector<SendCase> cases{
        {L"0x30003 quit_zarCenter", 0x30003, "quit_zarCenter"},
        {L"196612", 0x30004, ""},
        {L"0x7FFF0002 \"two words\" --as 0x7E0005", 0x7FFF0002, "two words"},
    };
    BusInbox inbox;
    IPCMessageClient receiver(kReceiver, false, false, pipe_);
    receiver.RegisterOtherMessagesCallback(inbox.Recorder());
    for (const SendCase& sent : cases) {
        SCOPED_TRACE(std::string(sent.arguments.begin(), sent.arguments.end()));
        const size_t before = inbox.All().size();
        std::optional<BusSeen> arrived;
        // The receiver connects in the background: send until it is there.
        for (int attempt = 0; attempt < 10 && !arrived; ++attempt) {
            ToolProcess tool(L"send 0x690000 " + sent.arguments + L" --pipe " + pipe_);
            ASSERT_TRUE(tool.IsStarted());
            const ToolRun run = tool.Finish();
            ASSERT_EQ(run.exitCode, std::optional<DWORD>(0));
            EXPECT_TRUE(run.output.empty());
            for (int poll = 0; poll < 100 && inbox.All().size() == before; ++poll) {
                Sleep(10);
            }
            if (inbox.All().size() > before) {
                arrived = inbox.All()[before];
            }
        }
        ASSERT_TRUE(arrived);
        EXPECT_EQ(arrived->msgId, sent.msgId);
        EXPECT_EQ(arrived->receiverId, kReceiver);
        EXPECT_EQ(arrived->body, sent.body);
        const int32_t sender =
            sent.arguments.find(L"--as") != std::wstring::npos ? 0x7E0005 : 0x7E0000;
        EXPECT_EQ(arrived->senderId, sender);
    }
}

// An input at its end from the start that is no pipe, as a script's background
// commands get it, does not end the watch.
TEST_F(BusToolTest, WatchPrintsPostedAndPublishedMessagesUntilItsTimeIsUp) {
    IPCMessageClient sender(kReceiver, false, false, pipe_);
    ToolProcess tool(L"watch --as 0x7E0001 --seconds 2 --pipe " + pipe_, Input::NullDevice);
    ASSERT_TRUE(tool.IsStarted());
    // The watcher connects at some point during its two seconds: keep posting,
    // a few times a second so that its lines fit in the output pipe.
    const std::string quoted("say \"hi\"\n", 9);
    for (int round = 0; round < 300 && !tool.HasEnded(100); ++round) {
        TagIPCMessageItem posted = BusItem(kWatcher, 0x30003, quoted);
        sender.PostIPCMessage(posted);
        TagIPCMessageItem published = BusItem(-1, 0x50001, "all");
        sender.PublishIPCMessage(published);
    }
    const ToolRun run = tool.Finish();
    ASSERT_EQ(run.exitCode, std::optional<DWORD>(0));
    const std::string postedLine = "0x690000 -> 0x7e0001 0x30003 \"say \\\"hi\\\"\\x0a\"";
    const std::string publishedLine = "0x690000 -> -0x1 0x50001 \"all\"";
    ASSERT_FALSE(run.output.empty());
    EXPECT_EQ(run.output.back(), "nxbus: stopped: time limit reached");
    const std::vector<std::string> messages(run.output.begin(), run.output.end() - 1);
    EXPECT_NE(std::find(messages.begin(), messages.end(), postedLine), messages.end());
    EXPECT_NE(std::find(messages.begin(), messages.end(), publishedLine), messages.end());
    for (const std::string& line : messages) {
        EXPECT_TRUE(line == postedLine || line == publishedLine) << line;
    }
}

// Many, several at once, so that the stop often comes while the bus client
// starts its thread: the input's reader, ending at once, corrupted the heap then
// in about one run of fifty.
TEST_F(BusToolTest, WatchWhoseInputPipeIsClosedAlreadyStopsCleanlyAtOnce) {
    constexpr int kRounds = 8;
    constexpr int kTogether = 16;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::unique_ptr<ToolProcess>> tools;
        for (int i = 0; i < kTogether; ++i) {
            tools.push_back(
                std::make_unique<ToolProcess>(L"watch --pipe " + pipe_, Input::ClosedPipe));
            ASSERT_TRUE(tools.back()->IsStarted());
        }
        for (const auto& tool : tools) {
            const ToolRun run = tool->Finish();
            ASSERT_EQ(run.exitCode, std::optional<DWORD>(0)) << round;
            ASSERT_EQ(run.output,
                      std::vector<std::string>{"nxbus: stopped: standard input closed"});
        }
    }
}

}  // namespace
