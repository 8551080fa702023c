#include "FileSharing.h"

#include "MachineState.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <mutex>
#include <vector>

namespace winsim {

namespace {

struct OpenFiles {
    std::mutex mutex;
    std::map<std::wstring, std::vector<std::weak_ptr<const ShareAccess>>> opens;
};

std::wstring Key(std::wstring path) {
    std::transform(path.begin(), path.end(), path.begin(),
                   [](wchar_t unit) { return static_cast<wchar_t>(std::towlower(unit)); });
    return path;
}

// Whether an open with `access` is allowed by an open that shares `share`.
bool Allows(DWORD share, DWORD access) {
    return ((access & GENERIC_READ) == 0 || (share & FILE_SHARE_READ) != 0) &&
           ((access & GENERIC_WRITE) == 0 || (share & FILE_SHARE_WRITE) != 0);
}

}  // namespace

std::shared_ptr<const ShareAccess> OpenShared(const std::wstring& path, DWORD access, DWORD share) {
    auto open = std::make_shared<const ShareAccess>(ShareAccess{access, share});
    if ((access & (GENERIC_READ | GENERIC_WRITE)) == 0) {
        return open;
    }
    auto& files = Current().Extension<OpenFiles>();
    std::lock_guard lock(files.mutex);
    auto& opens = files.opens[Key(path)];
    std::erase_if(opens, [](const auto& earlier) { return earlier.expired(); });
    for (const auto& weak : opens) {
        const auto earlier = weak.lock();
        if (earlier && (!Allows(earlier->share, access) || !Allows(share, earlier->access))) {
            return nullptr;
        }
    }
    opens.push_back(open);
    return open;
}

}  // namespace winsim
