// Usage events of the collaboration center: how it was launched and how it ended.
#include "plugin/NxReVadiruServiceImpl.h"

#include "KyView.h"

using Impl = NxReVadiruService::Impl;

namespace {
constexpr int32_t kZarCenterEventId = 992612907;
constexpr int32_t kUserQuitExit = 1;
constexpr int32_t kNotALaunch = -1;
}  // namespace

void Impl::ReportZarCenterEvent(int32_t exitType, int32_t launchType) {
    KyEvent event(kZarCenterEventId);
    event.PutInt("ZarExitType", exitType).PutInt("ZarLaunchType", launchType);
    KyView::Report(event);
}

void Impl::OnRecvZarCenterQuitMsg(TagIPCMessageItem& /*msg*/) {
    zarCenterUserQuit.exchange(true);
    ReportZarCenterEvent(kUserQuitExit, kNotALaunch);
}
