// What one complete recovery on the session PC leaves in the journal (kinds
// log, process, registry, hid, audio and post), for tests that check it whole.
#pragma once

#include "native/session/SessionPc.h"

#include <string>
#include <vector>

namespace sessiontest {

struct RecoveryRun {
    std::string setDpiPid;   // the helper started with "setdpi"
    std::string disablePid;  // the command interpreter running the disable command;
                             // empty: the driver stays on and no command runs
    std::wstring keyboardPath;
    bool audioPositionKeyPresent;  // the configuration component finds the settings key
    bool driverSettingsPresent;    // the driver's settings key is still there to delete
};

inline std::vector<std::string> RecoveryJournal(const RecoveryRun& run) {
    using winsim::Narrow;
    std::string report = "hid: write " + Narrow(run.keyboardPath) + " 93 bytes 01 08 01";
    for (int i = 0; i < 90; ++i) {
        report += " 00";
    }
    std::vector<std::string> journal = {
        // The scaling, through the helper's command on the user's desktop.
        "process: CreateProcessAsUserW user=<DESKTOP\\alice> session=1 app=(null) "
        "cmd=<NxReVadiru.exe setdpi 150 0> dir=(null) env=<USERNAME=alice> flags=0x430 "
        "inherit=0 psa=(null) tsa=(null) si.cb=ok desktop=<winsta0\\default> "
        "startf=0x1 show=0 -> pid " +
            run.setDpiPid,
        "process: ended <NxReVadiru.exe> pid=" + run.setDpiPid + " exit=0",
        "log: 4 CreateUserProcessEx processId: " + run.setDpiPid +
            "(`anonymous-namespace'::CreateProcessAsUserEx)",
        "log: 3 [VuVidazi] restore dpi 150 curdpi 150(NxReVadiruService::Impl::RestoreDpi)",
        "registry: set HKEY_USERS\\" + Narrow(kUserDpi) + "\\needRestore = 0",
        // The mute, then the position.
        "log: 3 get pc mute =1(GetPCMuteState)",
        "log: 3 set mute state:1(NxReVadiruService::Impl::CancelAudioMute)",
        "audio: SetMute console 1",
        "registry: set HKEY_USERS\\" + Narrow(kUserSetting) + "\\pcmute = 4294967295",
        "log: 3 save screen pc mute =-1(SetPCMuteState)",
        "log: 3 restore audio pos:0(NxReVadiruService::Impl::RestoreAudioPos)",
    };
    if (run.audioPositionKeyPresent) {
        journal.push_back("registry: set HKEY_USERS\\" + Narrow(kUserSetting) + "\\AudioPos = 0");
    }
    // Drag-and-drop.
    journal.push_back(
        "log: 3 [VuVidazi] DRAGDROP - "
        "DragFileFail...(NxReVadiruService::Impl::StopBasicModeDragDrop)");
    journal.push_back("post: 0x590000 0x590003 \"\"");
    // The virtual display driver, waited for.
    journal.push_back(std::string("log: 3  needDisableDriver VirtualDisplayDriver ") +
                      (run.disablePid.empty() ? "0" : "1") +
                      "(NxReVadiruService::Impl::NeedDisable)");
    if (!run.disablePid.empty()) {
        journal.push_back(
            "process: CreateProcessW user=<NT AUTHORITY\\SYSTEM> session=0 app=(null) "
            "cmd=<cmd.exe /c NxReVadiru.exe disable> dir=(null) env=inherit "
            "flags=0x8000000 inherit=1 psa=(null) tsa=(null) si.cb=ok desktop=(null) "
            "startf=0x0 show=0 -> pid " +
            run.disablePid);
        journal.push_back("process: ended <cmd.exe> pid=" + run.disablePid + " exit=0");
    }
    const std::vector<std::string> rest = {
        // The keyboard.
        "log: 3 ReleaseKeyBoard(NxReVadiruService::Impl::ReleaseKeyboard)",
        "log: 4 Success: Found my device..(NxReVadiruService::Impl::CheckIfOurDevice)",
        report,
    };
    journal.insert(journal.end(), rest.begin(), rest.end());
    // The driver's settings.
    if (run.driverSettingsPresent) {
        journal.push_back(
            "registry: delete HKEY_LOCAL_MACHINE\\SOFTWARE\\DeskSuite\\Drivers\\IDDSettings");
        journal.push_back(
            "log: 3 [VuVidazi] Clear Vdisplay info "
            "successfully(NxReVadiruService::Impl::ClearVdisplayInfo)");
    } else {
        journal.push_back(
            "log: 4 [VuVidazi] Clear Vdisplay info "
            "failed(NxReVadiruService::Impl::ClearVdisplayInfo)");
    }
    // The running flag.
    journal.push_back("registry: set HKEY_USERS\\" + Narrow(kUserSetting) +
                      "\\nxExcreenRunning = 0");
    return journal;
}

}  // namespace sessiontest
