// A fixture with the plug-in's private state on a fresh simulated machine.
#pragma once

#include "plugin/NxReVadiruServiceImpl.h"
#include "support/SimTest.h"

#include <memory>

namespace simtest {

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
