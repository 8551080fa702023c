// Effects of the file utilities that a native test cannot see in the file
// system: deleting a directory that is not there leaves no trace in it.
#pragma once

#include <string>

// Natively a journal entry of the simulated machine (kind "file", "delete
// directory <path>"); on Windows nothing, the file system being the record.
void NoteDirectoryDeletion(const std::wstring& path);
