// Stands in for the collaboration center's helper: records how it was started
// (see StartRecord.h) to the file named by NX_CENTER_HELPER_RECORD_FILE or to
// NxZarCenterHelper.txt beside itself, then exits with 0.
#include "StartRecord.h"

int wmain() {
    return RecordStart(L"NX_CENTER_HELPER_RECORD_FILE") ? 0 : 1;
}
