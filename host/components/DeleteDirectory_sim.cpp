// Natively the directory lives on the build machine's own file system, where
// removing a tree removes a symbolic link as the link and never enters it.
#include "DragDropShare.h"

#include <filesystem>
#include <system_error>

bool DE::DeleteDirectory(const std::wstring& path) {
    std::error_code error;
    std::filesystem::remove_all(path, error);
    return !error && !DirectoryExists(path);
}
