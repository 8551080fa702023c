// Natively the directory lives on the build machine's own file system, where
// removing a tree removes a symbolic link as the link and never enters it. The
// deletion is also journaled by the simulated machine ("file", "delete
// directory <path>"): deleting a directory that is not there leaves no other
// trace a test could see.
#include "DragDropShare.h"

#include <winsim/Machine.h>

#include <filesystem>
#include <system_error>

bool DE::DeleteDirectory(const std::wstring& path) {
    winsim::Current().Record("file", "delete directory " + winsim::Narrow(path));
    std::error_code error;
    std::filesystem::remove_all(path, error);
    return !error && !DirectoryExists(path);
}
