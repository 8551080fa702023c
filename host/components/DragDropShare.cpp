#include "DragDropShare.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

std::filesystem::path MirrorRoot() {
    if (const char* root = std::getenv("NX_MIRROR_ROOT"); root != nullptr && *root != '\0') {
        return root;
    }
    const char* programData = std::getenv("ProgramData");
    return std::filesystem::path(programData != nullptr ? programData : "") / "DeskSuite" /
           "NxMirror";
}

}  // namespace

std::wstring VLAZazoRarid::GetNorvaneShareName() {
    return L"NorvaneShare";
}

std::wstring FileInfo::GetNxMirrorPath(const std::wstring& shareName, bool create) {
    const std::filesystem::path path = MirrorRoot() / shareName;
    if (create) {
        std::error_code ignored;
        std::filesystem::create_directories(path, ignored);
    }
    return path.wstring();
}

bool DE::DirectoryExists(const std::wstring& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}
