// Stands in for the tray helper that clears the icon an ended program left in
// the notification area: records how it was started (see StartRecord.h) to
// the file named by NX_TRAY_HELPER_RECORD_FILE or to NxTrayWndHelper.txt
// beside itself, then exits with 0.
#include "StartRecord.h"

int wmain() {
    return RecordStart(L"NX_TRAY_HELPER_RECORD_FILE") ? 0 : 1;
}
