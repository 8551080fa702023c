// Display scaling on a real Win32 (run under Wine): the display configuration
// query, and the registry effects of the DPI restore state and of the virtual
// display driver state.
//
// Wine 8.0 in a prefix without a real display shows one virtual display and
// does not know the source scaling request, which it answers with
// ERROR_INVALID_PARAMETER: the current scaling then reads as 0 there.
#include "display/DisplayConfigQuery.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "process/ActiveConsoleUser.h"

#include "support/LogCapture.h"
#include "support/ScratchKey.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

TEST(DisplayQueryTest, FindsThePlatformsFirstActivePath) {
    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    ASSERT_EQ(GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &pathCount, &modeCount),
              ERROR_SUCCESS);
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(pathCount);
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(modeCount);
    ASSERT_EQ(QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &pathCount, paths.data(), &modeCount,
                                 modes.data(), nullptr),
              ERROR_SUCCESS);
    ASSERT_GE(pathCount, 1u);
    LogCapture log;
    LUID adapterId{0xAAAA, 7};
    uint32_t sourceId = 0xFFFF;

    ASSERT_TRUE(GetDpiDevInfo(adapterId, sourceId));

    EXPECT_EQ(adapterId.LowPart, paths[0].sourceInfo.adapterId.LowPart);
    EXPECT_EQ(adapterId.HighPart, paths[0].sourceInfo.adapterId.HighPart);
    EXPECT_EQ(sourceId, paths[0].sourceInfo.id);
    EXPECT_TRUE(log.Lines().empty());
}

TEST(DisplayQueryTest, CurrentScaleIsATableEntryOnlyWhenThePlatformAnswers) {
    LUID adapterId{};
    uint32_t sourceId = 0;
    ASSERT_TRUE(GetDpiDevInfo(adapterId, sourceId));
    DpiScalePacket packet{};
    std::memcpy(&packet.header.type, &kDpiScaleRequestType, sizeof(kDpiScaleRequestType));
    packet.header.size = sizeof(packet);
    packet.header.adapterId = adapterId;
    packet.header.id = sourceId;
    const LONG answer = DisplayConfigGetDeviceInfo(&packet.header);

    const uint32_t scale = GetCurrentDpiScale(adapterId, sourceId);

    if (answer == ERROR_SUCCESS) {
        EXPECT_NE(std::find(kDpiScaleTable.begin(), kDpiScaleTable.end(), scale),
                  kDpiScaleTable.end())
            << "steps " << packet.minScaleRel << " " << packet.curScaleRel << " "
            << packet.maxScaleRel;
    } else {
        EXPECT_EQ(scale, 0u) << "the platform answered " << answer;
    }
}

class DisplayRegistryTest : public ::testing::Test {
protected:
    LogCapture log_;
    std::shared_ptr<NxReVadiruService::Impl> impl_ = std::make_shared<NxReVadiruService::Impl>();
};

TEST_F(DisplayRegistryTest, NeedDisableReadsDriverStateFromTheMachineHive) {
    ScratchKey maker(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Norvane");
    ScratchKey driver(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Norvane\\DeskSuite\\NxReVadiru");
    driver.Create();
    driver.Set(L"DriverState", 2);
    EXPECT_TRUE(impl_->NeedDisable());

    driver.Remove(L"DriverState");
    EXPECT_FALSE(impl_->NeedDisable());

    const std::string operation = "(NxReVadiruService::Impl::NeedDisable)";
    EXPECT_EQ(log_.Lines(), (std::vector<std::string>{
                                "3  needDisableDriver VirtualDisplayDriver 2" + operation,
                                "4 get need not disable VirtualDisplayDriver fail" + operation,
                                "3  needDisableDriver VirtualDisplayDriver 0" + operation}));
}

TEST_F(DisplayRegistryTest, ClearVdisplayInfoRemovesTheSettingsKeyWithItsContent) {
    ScratchKey product(HKEY_LOCAL_MACHINE, L"SOFTWARE\\DeskSuite");
    ScratchKey drivers(HKEY_LOCAL_MACHINE, L"SOFTWARE\\DeskSuite\\Drivers");
    ScratchKey settings(HKEY_LOCAL_MACHINE, L"SOFTWARE\\DeskSuite\\Drivers\\IDDSettings");
    settings.Create(L"Monitor0");
    settings.Set(L"Width", 1920);

    impl_->ClearVdisplayInfo();
    EXPECT_FALSE(settings.Exists());
    EXPECT_TRUE(drivers.Exists());

    impl_->ClearVdisplayInfo();

    const std::string operation = "(NxReVadiruService::Impl::ClearVdisplayInfo)";
    EXPECT_EQ(log_.Lines(),
              (std::vector<std::string>{"3 [VuVidazi] Clear Vdisplay info successfully" + operation,
                                        "4 [VuVidazi] Clear Vdisplay info failed" + operation}));
}

TEST_F(DisplayRegistryTest, RestoreStateRoundTripsThroughTheConsoleUsersHive) {
    const std::wstring sid = GetActiveUserSid();
    ASSERT_FALSE(sid.empty());
    ScratchKey product(HKEY_USERS, sid + L"\\SOFTWARE\\DeskSuite");
    ScratchKey restore(HKEY_USERS, sid + L"\\SOFTWARE\\DeskSuite\\NxReVadiru");
    restore.Create();
    restore.Track(L"needRestore");
    restore.Track(L"restoreDpi");

    impl_->SetRestoreDpiFlag(true);
    impl_->SetRestoreDpi(150);
    EXPECT_EQ(restore.Get(L"needRestore"), 1u);
    EXPECT_EQ(restore.Get(L"restoreDpi"), 150u);
    EXPECT_TRUE(impl_->NeedRestoreDpi());
    EXPECT_EQ(impl_->GetRestoreDpi(), 150);
    EXPECT_EQ(impl_->originDpiScale.load(), 150u);

    impl_->SetRestoreDpiFlag(false);
    EXPECT_EQ(restore.Get(L"needRestore"), 0u);
    EXPECT_FALSE(impl_->NeedRestoreDpi());
    EXPECT_EQ(log_.Lines(), std::vector<std::string>{
                                "3 restore value is 150(NxReVadiruService::Impl::GetRestoreDpi)"});
}

}  // namespace
