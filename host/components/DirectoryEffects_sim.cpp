#include "DirectoryEffects.h"

#include <winsim/Machine.h>

void NoteDirectoryDeletion(const std::wstring& path) {
    winsim::Current().Record("file", "delete directory " + winsim::Narrow(path));
}
