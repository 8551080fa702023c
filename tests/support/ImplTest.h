// A fixture with the plug-in's private state on a fresh simulated machine.
#pragma once

#include "plugin/NxReVadiruServiceImpl.h"
#include "support/SimTest.h"

#include <cstring>
#include <memory>

namespace simtest {

// A bus message's item over `length` bytes of `body`: by default all of it, none without a body.
inline TagIPCMessageItem Item(const char* body, int32_t length = -1) {
    TagIPCMessageItem item;
    item.message = body;
    item.messageLen = length >= 0       ? length
                      : body == nullptr ? 0
                                        : static_cast<int32_t>(std::strlen(body));
    return item;
}

class ImplTest : public SimTest {
protected:
    // The state goes first: its bus connection must be gone before the
    // machine's end-of-test checks.
    void TearDown() override {
        impl_.reset();
        SimTest::TearDown();
    }

    NxReVadiruService::Impl& impl() { return *impl_; }

private:
    std::shared_ptr<NxReVadiruService::Impl> impl_ = std::make_shared<NxReVadiruService::Impl>();
};

}  // namespace simtest
