// The reader thread processes packets while the client's thread reads finger
// values, switches the mode and aligns the fingers. Run under
// ThreadSanitizer (label "threaded") this shows the shared state is free of
// data races; the checks below make sure both threads really overlapped and
// saw sound values.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/ZEMBRAIMUImpl.h"
#include "driver/pose/pose_engine.h"
#include "log/log.h"
#include "tests/support/pose_fixtures.h"

namespace ZEMBRA {
namespace {

using namespace testsupport;
using pose::PoseEngine;

size_t CountLines(const std::string& text) {
  size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

constexpr long kClientRounds = 200;

double Length(const Quat& q) {
  return std::sqrt(double(q.x) * q.x + double(q.y) * q.y + double(q.z) * q.z + double(q.w) * q.w);
}

TEST(PoseEngineThreads, ClientCallsRaceFreeWithTheReader) {
  const auto bursts = WanderingBursts(Burst::UUPU, 4000, 99);
  PoseEngine engine;
  engine.SetHand(Hand_Left);
  std::atomic<bool> readerDone{false};
  std::atomic<long> clientRounds{0};
  long poses = 0;

  // The reader streams until the client has overlapped it for a while, so
  // the two really run side by side however fast either one is.
  long passes = 0;
  std::thread reader([&] {
    Pose pose{};
    while (passes < 3 || clientRounds.load() < kClientRounds) {
      for (const auto& b : bursts) poses += engine.ProcessPacket(b.data(), b.size(), pose) == PoseEngine::Outcome::Pose;
      ++passes;
    }
    readerDone = true;
  });

  std::ostringstream out;
  bool finite = true;
  long aligned = 0;
  while (!readerDone.load()) {
    const long round = clientRounds.fetch_add(1);
    for (int f = 0; f < 5; ++f) finite = finite && std::isfinite(engine.FingerValue(f));
    engine.SetAdvancedMode(round % 2 == 0);
    if (round % 50 == 0) {
      engine.AlignFingers(out);
      ++aligned;
    }
    for (int f = 0; f < 4; ++f) finite = finite && std::fabs(Length(engine.Alignment(f)) - 1.0) < 1e-4;
    std::this_thread::yield();
  }
  reader.join();

  EXPECT_EQ(poses, long(passes * bursts.size()));
  EXPECT_TRUE(finite);
  EXPECT_GE(clientRounds.load(), kClientRounds);
  EXPECT_GT(aligned, 0);
  EXPECT_EQ(CountLines(out.str()), size_t(8 * aligned));
}

TEST(PoseEngineThreads, DriverOperationsRaceFreeWithTheReader) {
  // The driver's client-facing calls against its own engine, as the serial
  // link's reader thread would drive it.
  EIMUError err = IMUError_OperationFailed;
  ZEMBRAIMUImpl driver(err, 2, nullptr);
  ASSERT_EQ(err, IMUError_None);
  const auto bursts = WanderingBursts(Burst::PUUU, 3000, 5);
  std::atomic<bool> readerDone{false};
  std::atomic<long> clientRounds{0};
  long poses = 0, passes = 0;
  std::thread reader([&] {
    Pose pose{};
    while (passes < 1 || clientRounds.load() < kClientRounds) {
      for (const auto& b : bursts) {
        poses += driver.engine().ProcessPacket(b.data(), b.size(), pose) == pose::PoseEngine::Outcome::Pose;
      }
      ++passes;
    }
    readerDone = true;
  });

  // The driver's messages, through its log sink.
  std::string captured;
  log::SetSink([](void* text, const char* data, size_t size) { static_cast<std::string*>(text)->append(data, size); },
               &captured);
  long rounds = 0, alignments = 0;
  bool sound = true;
  while (!readerDone.load()) {
    EIMUError e = IMUError_OperationFailed;
    const double bend = driver.GetFingerValue(int(rounds % 5), e);
    sound = sound && e == IMUError_None && std::isfinite(bend);
    driver.SetAdvancedMode(e, rounds % 3 != 0);
    sound = sound && e == IMUError_None;
    if (rounds % 40 == 0) {
      driver.OnOkPoseAlignment();
      ++alignments;
    }
    clientRounds = ++rounds;
    std::this_thread::yield();
  }
  reader.join();
  log::SetSink(nullptr, nullptr);

  EXPECT_EQ(poses, long(passes * bursts.size()));
  EXPECT_TRUE(sound);
  EXPECT_GT(alignments, 0);
  EXPECT_EQ(CountLines(captured), size_t(8 * alignments));
}

}  // namespace
}  // namespace ZEMBRA
