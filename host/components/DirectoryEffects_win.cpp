#include "DirectoryEffects.h"

void NoteDirectoryDeletion(const std::wstring&) {}
