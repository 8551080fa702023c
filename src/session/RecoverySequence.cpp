// Puts the PC back as the user had it when an extended-screen session ends.
#include "StringToNumber.h"
#include "plugin/Log.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "process/ActiveConsoleUser.h"

#include "DragDropShare.h"
#include "ProductAdapt.h"
#include "Registry.h"

#include <array>

using Impl = NxReVadiruService::Impl;

namespace {

// Builds from this one on leave the display scaling alone.
constexpr int64_t kFirstBuildWithoutDpiRestore = 26000;
constexpr unsigned char kKeyboardReleaseHead[] = {0x01, 0x08, 0x01};
constexpr wchar_t kSettingKeyPath[] = L"\\SOFTWARE\\Norvane\\DeskSuite\\setting";
constexpr wchar_t kRunningValue[] = L"nxExcreenRunning";
constexpr int32_t kDragDropReceiver = 0x590000;
constexpr int32_t kDragDropStopMsg = 0x590003;

bool BuildRestoresDpi() {
    int64_t build = 0;
    return DE::StollS(ProductAdapt::MachineOSInfo::GetOSCurrentBuildNumber(), build) &&
           build >= 0 && build < kFirstBuildWithoutDpiRestore;
}

}  // namespace

void Impl::ReleaseKeyboard() {
    const std::lock_guard<SrwMutex> lock(recoveryMutex);
    if (BuildRestoresDpi()) {
        RestoreDpi();
    }
    CancelAudioMute();
    RestoreAudioPos();
    StopBasicModeDragDrop();
    if (NeedDisable()) {
        ExecuteCmd();
    }
    LogInfo(L"NxReVadiruService::Impl::ReleaseKeyboard", "ReleaseKeyBoard");
    std::array<unsigned char, kKeyboardReportLength> report{};
    std::copy(std::begin(kKeyboardReleaseHead), std::end(kKeyboardReleaseHead), report.begin());
    WriteToHidDriver(report.data());
    ClearVdisplayInfo();
    const int32_t notRunning = 0;
    DE::Registry::SetValue(HKEY_USERS, GetActiveUserSid() + kSettingKeyPath, kRunningValue,
                           notRunning, KEY_ALL_ACCESS);
}

void Impl::StopBasicModeDragDrop() {
    const std::wstring shareName = VLAZazoRarid::GetNorvaneShareName();
    LogInfo(L"NxReVadiruService::Impl::StopBasicModeDragDrop",
            "[VuVidazi] DRAGDROP - DragFileFail...");
    PostBusMessage(client, kDragDropReceiver, kDragDropStopMsg, std::string());
    if (DE::DirectoryExists(FileInfo::GetNxMirrorPath(shareName, false))) {
        DE::DeleteDirectory(FileInfo::GetNxMirrorPath(shareName, false));
    }
}
