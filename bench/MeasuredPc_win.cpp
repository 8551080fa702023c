// On Windows (and under Wine): the real system. The bus broker runs in this
// process on the host's pipe; the watched programs are copies of sleeper.exe
// under the watched image names in a directory of their own; the console
// user's keys that the plug-in writes are made when missing and removed again.
#include "MeasuredPc.h"

#include "BusBroker.h"
#include "process/ActiveConsoleUser.h"
#include "win32/UniqueAny.h"

#include <windows.h>

#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

constexpr wchar_t kBusPipe[] = L"\\\\.\\Pipe\\iVellumAssistant";
constexpr wchar_t kStandIn[] = L"sleeper.exe";
constexpr wchar_t kStandInLifetime[] = L" 3600000";  // milliseconds: longer than any run
constexpr UINT kCrashExitCode = 1;
constexpr DWORD kProgramEndLimitMs = 10000;
constexpr DWORD kProcessIdDigits = 16;

std::filesystem::path OwnDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return std::filesystem::path(path).parent_path();
}

bool KeyExists(HKEY root, const std::wstring& path) {
    UniqueHKey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// A key the plug-in writes into. When some of its path is missing, the
// missing part is made, and removed again with everything below it.
class ScratchTree {
public:
    ScratchTree(HKEY root, const std::wstring& path) : root_(root) {
        std::wstring prefix;
        for (size_t start = 0; start <= path.size() && !made_;) {
            const size_t end = std::min(path.find(L'\\', start), path.size());
            prefix = path.substr(0, end);
            if (!KeyExists(root_, prefix)) {
                made_ = prefix;
            }
            start = end + 1;
        }
        UniqueHKey key;
        if (made_) {
            RegCreateKeyExW(root_, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                            nullptr);
        }
    }
    ~ScratchTree() {
        if (made_) {
            RegDeleteTreeW(root_, made_->c_str());
            RegDeleteKeyW(root_, made_->c_str());
        }
    }
    ScratchTree(const ScratchTree&) = delete;
    ScratchTree& operator=(const ScratchTree&) = delete;

private:
    HKEY root_;
    std::optional<std::wstring> made_;
};

std::wstring UserPath(const std::wstring& sid, const wchar_t* below) {
    if (sid.empty()) {
        throw std::runtime_error("no console user: the per-user keys cannot be made");
    }
    return sid + below;
}

}  // namespace

struct MeasuredPc::State {
    State() {
        std::filesystem::create_directories(programs);
        if (!broker.Start()) {
            throw std::runtime_error("the bus broker could not open the host's pipe");
        }
    }
    ~State() {
        for (auto& [id, process] : running) {
            TerminateProcess(process.get(), kCrashExitCode);
            WaitForSingleObject(process.get(), kProgramEndLimitMs);
        }
        running.clear();
        broker.Stop();
        std::error_code ignored;
        std::filesystem::remove_all(programs, ignored);
    }

    const std::wstring sid = GetActiveUserSid();
    const ScratchTree settingKey{HKEY_USERS,
                                 UserPath(sid, L"\\SOFTWARE\\Norvane\\DeskSuite\\setting")};
    const ScratchTree dpiKey{HKEY_USERS, UserPath(sid, L"\\SOFTWARE\\DeskSuite\\NxReVadiru")};
    const std::filesystem::path programs = std::filesystem::temp_directory_path() /
                                           (L"nxmeasure-" + std::to_wstring(GetCurrentProcessId()));
    BusBroker broker{kBusPipe};
    std::map<uint32_t, UniqueHandle> running;
};

MeasuredPc::MeasuredPc() : state_(std::make_unique<State>()) {}

MeasuredPc::~MeasuredPc() = default;

uint32_t MeasuredPc::StartProgram(const std::wstring& imageName) {
    const std::filesystem::path program = state_->programs / imageName;
    if (!std::filesystem::exists(program)) {
        std::filesystem::copy_file(OwnDirectory() / kStandIn, program);
    }
    std::wstring commandLine = L"\"" + program.wstring() + L"\"" + kStandInLifetime;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started)) {
        throw std::runtime_error("cannot start a stand-in program, error " +
                                 std::to_string(GetLastError()));
    }
    const UniqueHandle thread(started.hThread);
    state_->running.emplace(started.dwProcessId, UniqueHandle(started.hProcess));
    return started.dwProcessId;
}

void MeasuredPc::EndProgram(uint32_t processId) {
    const auto found = state_->running.find(processId);
    if (found != state_->running.end()) {
        TerminateProcess(found->second.get(), kCrashExitCode);
        state_->running.erase(found);
    }
}

long MeasuredPc::OpenHandles() const {
    // Wine answers GetProcessHandleCount with 0: every value up to a bound far
    // above what this process uses is tried instead.
    constexpr uintptr_t kHandleValueLimit = 0x10000;
    constexpr uintptr_t kHandleValueStep = 4;
    long count = 0;
    for (uintptr_t value = kHandleValueStep; value < kHandleValueLimit; value += kHandleValueStep) {
        DWORD flags = 0;
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return count;
}

std::filesystem::path MeasuredPc::ThreadDirectory() const {
    // Under Wine the Unix root is drive Z:, but "/proc/self" there would be
    // the Wine server (it opens files for its clients), so tools/measure
    // passes this process's Linux id. On Windows itself there is none.
    wchar_t linuxId[kProcessIdDigits] = {};
    const DWORD length =
        GetEnvironmentVariableW(L"NX_MEASURE_LINUX_PID", linuxId, kProcessIdDigits);
    if (length == 0 || length >= kProcessIdDigits) {
        return {};
    }
    return std::filesystem::path(L"Z:\\proc") / linuxId / L"task";
}
