#include "NxReVadiruService.h"
#include "NxReVadiruServiceImpl.h"

NxReVadiruService::NxReVadiruService() : impl(std::make_shared<Impl>()) {}

NxReVadiruService::~NxReVadiruService() = default;

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
