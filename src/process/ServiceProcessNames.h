// Image names of the special processes the service watches; comparisons with
// them are exact (case-sensitive) where the service picks a special behaviour.
#pragma once

inline constexpr wchar_t kNxReVadiruImage[] = L"NxReVadiru.exe";
inline constexpr wchar_t kMessageCenterImage[] = L"VLAMessageCenter.exe";
