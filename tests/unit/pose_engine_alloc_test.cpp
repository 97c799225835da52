// The per-packet path must not touch the heap: this executable replaces the
// global allocation functions and counts what they are asked for while the
// engine processes thousands of packets.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "driver/pose/pose_engine.h"
#include "tests/support/pose_fixtures.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void* Allocate(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
  const std::size_t a = static_cast<std::size_t>(align);
  const std::size_t rounded = (size + a - 1) / a * a;
  if (void* p = std::aligned_alloc(a, rounded ? rounded : a)) return p;
  throw std::bad_alloc();
}

// Counts allocations made between construction and Stop().
class AllocationWindow {
 public:
  AllocationWindow() {
    g_allocations.store(0);
    g_counting.store(true);
  }
  long Stop() {
    g_counting.store(false);
    return g_allocations.load();
  }
  ~AllocationWindow() { g_counting.store(false); }
};

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t size, std::align_val_t align) { return AllocateAligned(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return AllocateAligned(size, align); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

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
      case pose::PoseEngine::Outcome::Pose: ++poses; break;
      case pose::PoseEngine::Outcome::NoPose: ++blocked; break;
      case pose::PoseEngine::Outcome::Rejected: ++dropped; break;
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
