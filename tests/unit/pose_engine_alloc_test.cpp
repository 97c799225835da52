// The per-packet path must not touch the heap: this executable replaces the
// global allocation functions and counts what they are asked for while the
// engine processes thousands of packets.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "driver/pose/pose_engine.h"
#include "tests/support/allocation_counter.h"
#include "tests/support/pose_fixtures.h"

namespace ZEMBRA {
namespace {

using namespace testsupport;

TEST(PoseEngineAllocation, TheCounterSeesAnAllocation) {
  // Guards the test below against a replacement that is never called.
  AllocationWindow window;
  std::vector<int>* v = new std::vector<int>(100);
  const long counted = window.Stop();
  delete v;
  EXPECT_GE(counted, 2);
}

TEST(PoseEngineAllocation, ProcessingPacketsAllocatesNothing) {
  // Every kind of read, poses and blocked packets, both modes and all hands;
  // the bursts are built before the window opens.
  std::vector<std::vector<uint8_t>> bursts;
  for (Burst kind : {Burst::UUPU, Burst::PUUU, Burst::UU, Burst::PU}) {
    auto some = WanderingBursts(kind, 1000, 11u + uint32_t(kind));
    const int carried = kind == Burst::PU ? 5 : 3;
    for (size_t n = 0; n < some.size(); n += 97) some[n][size_t(RecordOffset(kind, carried) + 16)] ^= 0x3C;
    bursts.insert(bursts.end(), some.begin(), some.end());
  }
  std::vector<uint8_t> rejected(133, 'X');
  pose::PoseEngine engine;
  Pose pose{};
  long poses = 0, blocked = 0, dropped = 0;

  AllocationWindow window;
  for (size_t n = 0; n < bursts.size(); ++n) {
    if (n % 1000 == 0) {
      engine.SetHand(n % 3000 == 0 ? Hand_Left : (n % 2000 == 0 ? Hand_Right : HandType(0)));
      engine.SetAdvancedMode(n % 2000 == 0);
    }
    switch (engine.ProcessPacket(bursts[n].data(), bursts[n].size(), pose)) {
      case pose::PoseEngine::Outcome::Pose:
        ++poses;
        break;
      case pose::PoseEngine::Outcome::NoPose:
        ++blocked;
        break;
      case pose::PoseEngine::Outcome::Rejected:
        ++dropped;
        break;
    }
    if (n % 10 == 0) engine.ProcessPacket(rejected.data(), rejected.size(), pose);
    if (engine.FingerValue(int(n % 5)) > 1e9f) ++dropped;
  }
  const long counted = window.Stop();

  EXPECT_EQ(counted, 0);
  EXPECT_GT(poses, 3000);
  EXPECT_GT(blocked, 10);
  EXPECT_EQ(dropped, 0);
}

}  // namespace
}  // namespace ZEMBRA
