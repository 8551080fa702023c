// Whether the process is ending. The entry point learns it at the detach that
// the process's exit brings; by then the system has ended every other thread
// wherever it was, in a handler or holding a lock, so from here on the plug-in
// waits for no thread and takes no lock of its own.
#pragma once

void NoteProcessExit();
bool ProcessIsExiting();
