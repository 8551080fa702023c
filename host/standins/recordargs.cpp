// Records how it was started (see StartRecord.h) to the file named by
// NX_RECORDARGS_FILE or to recordargs.txt beside itself, then exits with 0.
#include "StartRecord.h"

int wmain() {
    return RecordStart(L"NX_RECORDARGS_FILE") ? 0 : 1;
}
