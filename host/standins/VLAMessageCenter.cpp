// Stands in for the host's message center: records how it was started (see
// StartRecord.h) to the file named by NX_MESSAGE_CENTER_RECORD_FILE or to
// VLAMessageCenter.txt beside itself, then stays alive until it is killed, or
// for the milliseconds given as its one argument.
#include "StartRecord.h"

int wmain(int argc, wchar_t** argv) {
    if (!RecordStart(L"NX_MESSAGE_CENTER_RECORD_FILE")) {
        return 1;
    }
    Sleep(MillisecondsOrInfinite(argc > 1 ? argv[1] : nullptr));
    return 0;
}
