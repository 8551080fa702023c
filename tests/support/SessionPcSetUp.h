// A simulated PC in the middle of an extended-screen session, without any test
// framework: a user at the console, the keyboard driver's HID collection, a
// playback device, the helper's programs, and the session's marks in the
// registry. Shared by the native tests and the fuzz targets.
#pragma once

#include "support/SetDpiProgram.h"

#include <winsim/SimDisplay.h>
#include <winsim/SimHid.h>
#include <winsim/SimProcesses.h>
#include <winsim/SimRegistry.h>
#include <winsim/SimSessions.h>

#include <string>

namespace simtest {

inline const winsim::UserAccount kUser{L"DESKTOP\\alice", L"S-1-5-21-1-2-3-1001"};
// Below the user's key: the session's settings and the DPI restore state.
inline const std::wstring kSettingPath = L"SOFTWARE\\Norvane\\DeskSuite\\setting";
inline const std::wstring kDpiPath = L"SOFTWARE\\DeskSuite\\NxReVadiru";
inline const std::wstring kUserSetting = kUser.sid + L"\\" + kSettingPath;
inline const std::wstring kUserDpi = kUser.sid + L"\\" + kDpiPath;
inline const std::wstring kCurrentVersion = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
inline const std::wstring kDriverKey = L"SOFTWARE\\Norvane\\DeskSuite\\NxReVadiru";
inline const std::wstring kIddSettings = L"SOFTWARE\\DeskSuite\\Drivers\\IDDSettings";

// Sets up `pc` (installed) as the session's PC; returns the keyboard
// collection's device path.
inline std::wstring SetUpSessionPc(winsim::Machine& pc, winsim::SimRegistry& registry) {
    pc.Extension<winsim::Sessions>().LogOnConsole(kUser);
    registry.CreateKey(HKEY_USERS, kUserSetting);
    registry.CreateKey(HKEY_USERS, kUserDpi);
    registry.SetString(HKEY_LOCAL_MACHINE, kCurrentVersion, L"CurrentBuildNumber", L"19045");
    registry.CreateKey(HKEY_LOCAL_MACHINE, kIddSettings);
    winsim::DisplayPath display = winsim::DefaultDisplayPath();  // showing 100 percent
    winsim::SimDisplay(pc).SetPaths({display});
    const winsim::HidDeviceSpec keyboard{0xDEED, 0xFEED, 0, {{0xFF00, 0x0001, 93}}};
    const std::wstring keyboardPath = pc.Extension<winsim::Hid>().AddDevice(keyboard).at(0);
    auto& processes = pc.Extension<winsim::Processes>();
    processes.Register(L"NxReVadiru.exe", simtest::SetDpiProgram());
    processes.Register(L"cmd.exe", winsim::programs::ExitsAtOnce());
    processes.Register(L"NxTrayWndHelper.exe", winsim::programs::ExitsAtOnce());
    return keyboardPath;
}

}  // namespace simtest
