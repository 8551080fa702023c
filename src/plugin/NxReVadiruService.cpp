#include "NxReVadiruService.h"
#include "NxReVadiruServiceImpl.h"

NxReVadiruService::NxReVadiruService() : impl(std::make_shared<Impl>()) {}

NxReVadiruService::~NxReVadiruService() {
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
