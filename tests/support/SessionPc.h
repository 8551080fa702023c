// The session's PC (SessionPcSetUp.h) as a GoogleTest fixture, with a mirror
// directory of its own for the drag-and-drop share.
#pragma once

#include "support/ImplTest.h"
#include "support/SessionPcSetUp.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace simtest {

// The machine's set-up on top of `Base`, a SimTest: the plug-in's private
// state alone (SessionPcTest) or the whole plug-in object.
template <class Base>
class SessionPc : public Base {
protected:
    void SetUp() override {
        Base::SetUp();
        keyboardPath = SetUpSessionPc(this->machine(), registry);
        mirrorRoot = std::filesystem::temp_directory_path() /
                     ("nx-mirror-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        setenv("NX_MIRROR_ROOT", mirrorRoot.string().c_str(), 1);
    }
    void TearDown() override {
        std::filesystem::remove_all(mirrorRoot);
        unsetenv("NX_MIRROR_ROOT");
        Base::TearDown();
    }

    void CreateMirrorDirectory() {
        std::filesystem::create_directories(mirrorRoot / "NorvaneShare");
    }
    bool MirrorDirectoryExists() const {
        return std::filesystem::exists(mirrorRoot / "NorvaneShare");
    }

    winsim::SimRegistry registry{this->machine()};
    std::wstring keyboardPath;
    std::filesystem::path mirrorRoot;
};

using SessionPcTest = SessionPc<simtest::ImplTest>;

}  // namespace simtest
