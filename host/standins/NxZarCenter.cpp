// Stands in for the collaboration center: records how it was started (see
// StartRecord.h) to the file named by NX_CENTER_RECORD_FILE or to
// NxZarCenter.txt beside itself, announces its process id on the bus as the
// real center does, then stays alive until it is killed, or for the
// milliseconds given as its one argument.
#include "StandinBus.h"
#include "StartRecord.h"

#include <string>

namespace {

constexpr int32_t kCenterModule = 0x150000;
constexpr int32_t kAnnounceMsg = 0x6F0006;

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (!RecordStart(L"NX_CENTER_RECORD_FILE")) {
        return 1;
    }
    IPCMessageClient client(kCenterModule, false, false, StandinBusPipe());
    if (!PostToPlugin(client, kAnnounceMsg, std::to_string(GetCurrentProcessId()))) {
        return 2;
    }
    Sleep(MillisecondsOrInfinite(argc > 1 ? argv[1] : nullptr));
    return 0;
}
