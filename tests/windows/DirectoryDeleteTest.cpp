// The mirror directory's delete runs as the service, in a folder a user may
// have had a hand in: a link planted there is removed as the link, and its
// target is left alone. Wine can make neither a junction nor a symbolic link
// (FSCTL_SET_REPARSE_POINT is not supported, CreateSymbolicLinkW makes
// nothing), but it lists a symbolic link made on the Unix side as a directory
// with the reparse-point attribute; the test makes one there with ln. Wine
// cannot delete such a link itself, so only its target and what lies around
// it are checked.
#include "DragDropShare.h"
#include "support/ChildProcess.h"
#include "wait/PollUntil.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// Wine's own export, which Windows does not have.
using UnixFileName = char*(CDECL*)(LPCWSTR);
const auto kUnixFileName = reinterpret_cast<UnixFileName>(reinterpret_cast<void (*)()>(
    GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));

// Runs a program of the Unix side (Wine maps its root to Z:) on paths; Wine
// gives no exit code of one, so callers poll the effect.
void RunUnixProgram(std::wstring commandLine, std::initializer_list<fs::path> paths) {
    for (const fs::path& path : paths) {
        char* name = kUnixFileName(path.c_str());
        commandLine += L" \"" + fs::path(name).wstring() + L"\"";
        HeapFree(GetProcessHeap(), 0, name);
    }
    StartWithStdHandles(commandLine, nullptr, nullptr);
}

bool IsLink(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A tree of links is removed on the Unix side, where rm neither follows them
// nor trips over them: the standard library's remove_all can go round for
// ever in a tree Wine lists links in. The removal runs on after the test, so
// each run works in a folder of its own.
fs::path RunsOwnFolder() {
    return fs::temp_directory_path() /
           ("nx-directory-delete-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount64()));
}

TEST(DirectoryDeleteTest, PlantedLinksAreRemovedAsLinksAndTheirTargetKept) {
    ASSERT_NE(kUnixFileName, nullptr) << "makes its links on Wine's Unix side";
    const fs::path root = RunsOwnFolder();
    const fs::path mirror = root / "mirror";
    const fs::path kept = root / "outside" / "keep.txt";
    fs::create_directories(root / "outside");
    std::ofstream(kept) << "the target's";
    fs::create_directories(mirror / "plain");
    std::ofstream(mirror / "plain" / "file.txt") << "the mirror's";
    // One inside the directory deleted, and one that is the directory deleted.
    const fs::path inside = mirror / "link";
    const fs::path itself = root / "linked-mirror";
    RunUnixProgram(L"Z:\\bin\\ln -s", {root / "outside", inside});
    RunUnixProgram(L"Z:\\bin\\ln -s", {root / "outside", itself});
    ASSERT_TRUE(PollUntil([&] { return IsLink(inside) && IsLink(itself); }));
    DE::DeleteDirectory(mirror);
    EXPECT_TRUE(fs::exists(kept)) << "followed the link inside";
    EXPECT_FALSE(fs::exists(mirror / "plain"));
    DE::DeleteDirectory(itself);
    EXPECT_TRUE(fs::exists(kept)) << "followed the directory that is a link";
    RunUnixProgram(L"Z:\\bin\\rm -rf", {root});
}

}  // namespace
