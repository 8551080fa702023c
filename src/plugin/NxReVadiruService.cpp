#include "NxReVadiruService.h"
#include "NxReVadiruServiceImpl.h"
#include "ProcessExit.h"

NxReVadiruService::NxReVadiruService() : impl(std::make_shared<Impl>()) {}

NxReVadiruService::~NxReVadiruService() {
    if (ProcessIsExiting()) {
        // The state's last owner would close the bus client, which waits for
        // a handler on a thread that is gone: it is left to the process's end.
        static_cast<void>(new std::shared_ptr<Impl>(std::move(impl)));
        return;
    }
    // Worker threads may keep the state alive for a long time; the plug-in
    // itself ends here.
    impl->Retire();
}

bool NxReVadiruService::Initialize() {
    return true;
}

bool NxReVadiruService::Uninitialize() {
    return false;
}

bool NxReVadiruService::Start() {
    return impl->Start();
}

bool NxReVadiruService::Stop() {
    return impl->Stop();
}
