// The host's drag-and-drop share queries and file utilities.
#pragma once

#include <string>

namespace VLAZazoRarid {
// The name of the product's drag-and-drop share.
std::wstring GetNorvaneShareName();
}  // namespace VLAZazoRarid

namespace FileInfo {
// The mirror directory of a share: <root>\<shareName>, where root is the
// environment variable NX_MIRROR_ROOT when set, else
// %ProgramData%\DeskSuite\NxMirror. `create` makes the directory when missing.
std::wstring GetNxMirrorPath(const std::wstring& shareName, bool create);
}  // namespace FileInfo

namespace DE {
bool DirectoryExists(const std::wstring& path);
// Removes the directory with everything in it; true when it removed it. A
// junction or symbolic link, inside or the path itself, is removed as the
// link: its target is never entered.
bool DeleteDirectory(const std::wstring& path);
}  // namespace DE
