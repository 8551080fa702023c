#include "CenterStarter.h"

#include "ConsoleOutput.h"
#include "HostFiles.h"
#include "ModulePaths.h"
#include "win32/UniqueAny.h"

#include <windows.h>

namespace {

constexpr int32_t kCenterStarterModule = 0x30000;
constexpr int32_t kStartCenterMsg = 0x30003;
constexpr wchar_t kCenterProgram[] = L"NxZarCenter.exe";

// The request's text ("Silent") asks for a start without a window; the
// stand-in center never shows one, so the text is not looked at.
void StartCenter() {
    PrintLine("host: starting " + ToUtf8(kCenterProgram));
    const std::wstring directory = ExecutableDirectory();
    std::wstring commandLine = L"\"" + directory + L"\\" + kCenterProgram + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &created)) {
        PrintLine("host: cannot start " + ToUtf8(kCenterProgram) + " (error " +
                  std::to_string(GetLastError()) + ")");
        return;
    }
    const UniqueHandle process(created.hProcess);
    const UniqueHandle thread(created.hThread);
}

}  // namespace

CenterStarter::CenterStarter(const std::wstring& pipeName)
    : client_(kCenterStarterModule, false, false, pipeName) {
    SetEnvironmentVariableW(L"NX_BUS_PIPE", pipeName.c_str());
    client_.RegisterMessageCallback(kStartCenterMsg, [](TagIPCMessageItem&) { StartCenter(); });
}
