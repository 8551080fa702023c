#include "HostFiles.h"
#include "KyView.h"

void KyView::Report(KyEvent& event) {
    static const AppendOnlyFile file(FileBesideHost(L"NX_USAGE_EVENT_FILE", L"NxUsageEvents.log"),
                                     AppendSharing::ThisProcess);
    file.AppendLine(TimestampPrefix() + event.Describe());
}
