// Keeps the user's display scaling in the user's hive while the extended
// screen may change it, and puts it back through the helper's "setdpi" command.
#include "display/DisplayConfigQuery.h"
#include "plugin/Log.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "process/ActiveConsoleUser.h"
#include "process/UserProcessLauncher.h"

#include "Registry.h"

#include <string>

namespace {

constexpr wchar_t kRestoreKeyPath[] = L"\\SOFTWARE\\DeskSuite\\NxReVadiru\\";
constexpr wchar_t kNeedRestoreName[] = L"needRestore";
constexpr wchar_t kRestoreDpiName[] = L"restoreDpi";

// The SID is looked up for every access: the console user may change between them.
std::wstring RestoreKey() {
    return GetActiveUserSid() + kRestoreKeyPath;
}

}  // namespace

bool NxReVadiruService::Impl::NeedRestoreDpi() {
    int32_t needRestore = 0;
    if (!DE::Registry::GetValue(HKEY_USERS, RestoreKey(), kNeedRestoreName, needRestore,
                                KEY_ALL_ACCESS)) {
        LogError(L"NxReVadiruService::Impl::NeedRestoreDpi",
                 "[VuVidazi] query restoreDpi regedit failed");
        return false;
    }
    return needRestore == 1;
}

void NxReVadiruService::Impl::SetRestoreDpiFlag(bool flag) {
    const int32_t needRestore = flag ? 1 : 0;
    if (!DE::Registry::SetValue(HKEY_USERS, RestoreKey(), kNeedRestoreName, needRestore,
                                KEY_ALL_ACCESS)) {
        LogError(L"NxReVadiruService::Impl::SetRestoreDpiFlag",
                 "[VuVidazi] set needRestore regedit failed");
    }
}

int32_t NxReVadiruService::Impl::GetRestoreDpi() {
    constexpr wchar_t kOperation[] = L"NxReVadiruService::Impl::GetRestoreDpi";
    int32_t restoreDpi = 0;
    if (!DE::Registry::GetValue(HKEY_USERS, RestoreKey(), kRestoreDpiName, restoreDpi,
                                KEY_ALL_ACCESS)) {
        LogError(kOperation, "[VuVidazi] query restoreDpi regedit failed");
    }
    if (restoreDpi < 0 || restoreDpi > maxDpiScale) {
        restoreDpi = 0;
    }
    originDpiScale = static_cast<uint32_t>(restoreDpi);
    LogInfo(kOperation, "restore value is ", restoreDpi);
    return restoreDpi;
}

void NxReVadiruService::Impl::SetRestoreDpi(int32_t value) {
    if (!DE::Registry::SetValue(HKEY_USERS, RestoreKey(), kRestoreDpiName, value, KEY_ALL_ACCESS)) {
        LogError(L"NxReVadiruService::Impl::SetRestoreDpi",
                 "[VuVidazi] set restoreDpi regedit failed");
    }
}

void NxReVadiruService::Impl::RestoreDpi() {
    constexpr wchar_t kOperation[] = L"NxReVadiruService::Impl::RestoreDpi";
    const uint32_t target = originDpiScale;
    if (target == 0) {
        return;
    }
    // The trailing 0 is the fixed second argument of the helper's "setdpi" command.
    const std::wstring commandLine = L"NxReVadiru.exe setdpi " + std::to_wstring(target) + L" 0";
    if (!CreateUserProcess(commandLine)) {
        LogError(kOperation, "[VuVidazi] failed to create user interactive process.");
        return;
    }
    // Read at once, without waiting for the helper: an unchanged display stays pending.
    uint32_t current = 0;
    LUID adapterId{};
    uint32_t sourceId = 0;
    if (GetDpiDevInfo(adapterId, sourceId)) {
        current = GetCurrentDpiScale(adapterId, sourceId);
    }
    // The field itself, not `target`: a screen-info message handled on another
    // thread meanwhile may have put a new scaling there, which must stay
    // unless it is the one in force.
    uint32_t restoring = originDpiScale;
    LogInfo(kOperation, "[VuVidazi] restore dpi ", restoring, " curdpi ", current);
    if (current == restoring && originDpiScale.compare_exchange_strong(restoring, 0)) {
        SetRestoreDpiFlag(false);
    }
}

void NxReVadiruService::Impl::OnRecvRestoreDpiMsg(TagIPCMessageItem& /*msg*/) {
    if (!NeedRestoreDpi()) {
        return;
    }
    GetRestoreDpi();
    RestoreDpi();
    SetRestoreDpiFlag(false);
}
