// The delete of a directory tree, run as the service in folders that users
// may have had a hand in. A junction or symbolic link is deleted as the link,
// never followed: each entry is opened as itself, and only a real directory is
// walked. A directory being emptied is held open without delete sharing, so
// it cannot be renamed away and replaced by a link meanwhile; it is listed
// through that handle, and an entry opened by its path must be the one listed.
#include "DragDropShare.h"
#include "win32/UniqueAny.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kEntryAccess = DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// Others may go on reading and writing an entry, but not rename or delete it.
constexpr DWORD kEntrySharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
// Directories open too, and a link opens as itself.
constexpr DWORD kEntryFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
constexpr size_t kListingBytes = 64 * 1024;

// One entry as its directory's listing showed it; the top has no file id to match.
struct Entry {
    std::wstring path;
    DWORD attributes = 0;
    std::optional<ULONGLONG> fileId;
};

bool IsLink(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The entries of the directory open as `directory`, read through that handle.
bool ListEntries(HANDLE directory, const std::wstring& path, std::vector<Entry>& entries) {
    std::vector<ULONGLONG> buffer(kListingBytes / sizeof(ULONGLONG));  // aligned for the records
    FILE_INFO_BY_HANDLE_CLASS request = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(directory, request, buffer.data(), kListingBytes)) {
        request = FileIdBothDirectoryInfo;
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        for (DWORD offset = 0, step = 1; step != 0; offset += step) {
            const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
            const std::wstring name(record->FileName, record->FileNameLength / sizeof(WCHAR));
            if (name != L"." && name != L"..") {
                entries.push_back({path + L"\\" + name, record->FileAttributes,
                                   static_cast<ULONGLONG>(record->FileId.QuadPart)});
            }
            step = record->NextEntryOffset;
        }
    }
    return GetLastError() == ERROR_NO_MORE_FILES;
}

bool DeleteEntry(const Entry& entry);

bool DeleteEntries(HANDLE directory, const std::wstring& path) {
    std::vector<Entry> entries;
    bool deleted = ListEntries(directory, path, entries);
    for (const Entry& entry : entries) {
        deleted = DeleteEntry(entry) && deleted;
    }
    return deleted;
}

// A directory's entries first, then the entry itself, through its own handle.
bool DeleteEntry(const Entry& entry) {
    const UniqueHandle opened(CreateFileW(entry.path.c_str(), kEntryAccess, kEntrySharing, nullptr,
                                          OPEN_EXISTING, kEntryFlags, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!opened || !GetFileInformationByHandle(opened.get(), &info)) {
        return false;
    }
    const ULONGLONG fileId = (ULONGLONG{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    if (entry.fileId && *entry.fileId != fileId) {
        return false;  // the path leads somewhere else now
    }
    // Windows marks a link on the handle and in listings; Wine in listings only.
    const bool walk = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                      !IsLink(info.dwFileAttributes) && !IsLink(entry.attributes);
    if (walk && !DeleteEntries(opened.get(), entry.path)) {
        return false;
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    return SetFileInformationByHandle(opened.get(), FileDispositionInfo, &disposition,
                                      sizeof disposition) != FALSE;
}

}  // namespace

bool DE::DeleteDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && DeleteEntry({path, attributes, std::nullopt});
}
