// The SteamVR driver DLL as SteamVR's server on Windows loads it: the
// stand-in server loads bin/win64/driver_zembra.dll of the driver folder
// with LoadLibrary, initialises it and sees the two hand devices; with the
// simulated receivers behind COM5 and COM6 (set up by
// scripts/test-windows.sh) both hands' skeletons stream, and a second Init
// after Cleanup streams again.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "tests/steamvr/standin/standin_host.h"

namespace ZEMBRA {
namespace {

using namespace std::chrono_literals;

std::string DriverFolder() { return std::filesystem::absolute(ZEMBRA_STEAMVR_FOLDER_FROM_BIN).string(); }

bool Added(const standin::StandinHost& host) {
  const std::vector<uint32_t> devices = host.DriverDevices();
  return devices.size() == 2 && host.slot(devices[0]).activated && host.slot(devices[1]).activated;
}

uint64_t SkeletonUpdates(const standin::StandinHost& host, uint32_t device, const char* name) {
  const auto skeleton = host.component(device, name);
  return skeleton ? host.skeleton(skeleton->handle, vr::VRSkeletalMotionRange_WithoutController).updates : 0;
}

TEST(SteamVRDriver, TheDllLoadsInitialisesAndAddsBothHands) {
  standin::StandinHost host(DriverFolder());
  ASSERT_TRUE(host.Load()) << host.error();
  ASSERT_EQ(host.Init(), vr::VRInitError_None);
  ASSERT_TRUE(host.Serve([&] { return Added(host); }, 20s));
  for (uint32_t device : host.DriverDevices()) {
    EXPECT_EQ(host.slot(device).deviceClass, vr::TrackedDeviceClass_Controller);
    EXPECT_TRUE(host.component(device, "/input/finger/index"));
  }
  host.Cleanup();
  EXPECT_TRUE(host.DriverDevices().empty());
}

TEST(SteamVRDriver, BothHandsStreamFromTheReceiversAndAgainAfterASecondInit) {
  if (!std::getenv("ZEMBRA_WINE_RECEIVERS")) GTEST_SKIP() << "no simulated receivers behind COM5 and COM6";
  standin::StandinHost host(DriverFolder());
  ASSERT_TRUE(host.Load()) << host.error();
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(host.Init(), vr::VRInitError_None);
    ASSERT_TRUE(host.Serve([&] { return Added(host); }, 20s));
    const std::vector<uint32_t> devices = host.DriverDevices();
    std::vector<std::string> serials;
    for (uint32_t d : devices) serials.push_back(host.slot(d).serial);
    EXPECT_EQ(serials, (std::vector<std::string>{"zembra-ZEMBRA-LH0-0005", "zembra-ZEMBRA-RH0-0006"}));
    ASSERT_TRUE(host.Serve(
        [&] {
          return SkeletonUpdates(host, devices[0], "/input/skeleton/left") > 50 &&
                 SkeletonUpdates(host, devices[1], "/input/skeleton/right") > 50;
        },
        30s))
        << "round " << round;
    host.Cleanup();
  }
}

}  // namespace
}  // namespace ZEMBRA
