#include "HostFiles.h"
#include "KyView.h"

void KyView::Report(KyEvent& event) {
    static const std::wstring path = FileBesideHost(L"NX_USAGE_EVENT_FILE", L"NxUsageEvents.log");
    AppendLine(path, TimestampPrefix() + event.Describe());
}
