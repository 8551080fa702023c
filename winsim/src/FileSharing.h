// Share modes: who has a file or device open with which access, and what each
// open lets later opens do, as CreateFileW checks them.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace winsim {

// One open's access and sharing; it counts as long as something holds it
// (the open's handle object, or the area that models another program's open).
struct ShareAccess {
    DWORD access = 0;
    DWORD share = 0;
};

// Records an open of the file or device `path` (any case), or gives nothing
// when an earlier open still held does not share what this one asks, or this
// one does not share what an earlier one does. Opens asking neither reading
// nor writing are neither checked nor counted, as on Windows.
std::shared_ptr<const ShareAccess> OpenShared(const std::wstring& path, DWORD access, DWORD share);

}  // namespace winsim
