// The simulated receiver's faults, seen from the host's side of the port.
#include <gtest/gtest.h>

#include "tests/support/sim_host.h"

namespace ZEMBRA {
namespace sim {
namespace {

using namespace std::chrono_literals;
using protocol::PacketKind;

// ---------------------------------------------------------------------------
// Faults.

TEST(ReceiverSimulatorFaults, BadCheckBytesReachTheHost) {
  SimulatorConfig config = Config(Hand_Right);
  config.faults.badCheckEvery = 3;  // bursts 2, 5, 8, ... with a rotating sensor
  ReceiverSimulator sim(config);
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  SetChannel(sim, host, 41);
  pose::PoseEngine engine;
  engine.SetHand(Hand_Right);
  int corrupted = 0, poses = 0;
  for (int i = 0; i < 36; ++i) {
    const ReadResult r = host.ReadOnce(protocol::kMaxReadSize, 500ms);
    ASSERT_EQ(r.n, 133);
    const uint64_t n = BurstSequence(r.bytes);
    const bool bad = n % 3 == 2;
    for (int s = 0; s < protocol::kSensorCount; ++s) {
      const bool expectOk = !(bad && uint64_t(s) == n % 6);
      EXPECT_EQ(protocol::RecordCheckOk(r.bytes.data() + RecordOffsetInBurst(s)), expectOk) << n << "/" << s;
    }
    Pose pose{};
    const auto outcome = engine.ProcessPacket(r.bytes.data(), r.bytes.size(), pose);
    // A spoiled record blocks poses until that sensor's next good record,
    // which the very next burst brings.
    EXPECT_EQ(outcome, bad ? pose::PoseEngine::Outcome::NoPose : pose::PoseEngine::Outcome::Pose) << n;
    corrupted += bad;
    poses += outcome == pose::PoseEngine::Outcome::Pose;
  }
  EXPECT_GE(corrupted, 10);
  EXPECT_GE(poses, 20);
  EXPECT_TRUE(sim.WaitFor(
      [corrupted](const Statistics& s, ReceiverState) { return s.burstsCorrupted >= uint64_t(corrupted); }, 1s));
}

TEST(ReceiverSimulatorFaults, SplitBurstsArriveAsTwoReads) {
  SimulatorConfig config = Config(Hand_Right, 100);
  config.faults.splitEvery = 1;
  config.faults.splitAt = 50;
  config.faults.splitGap = 4ms;
  ReceiverSimulator sim(config);
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  SetChannel(sim, host, 41);
  int heads = 0, tails = 0;
  for (int i = 0; i < 40; ++i) {
    const ReadResult r = host.ReadOnce(protocol::kMaxReadSize, 500ms);
    ASSERT_GT(r.n, 0);
    heads += r.n == 50;
    tails += r.n == 83;
    // A host takes neither piece for a packet.
    if (r.n == 50 || r.n == 83) {
      EXPECT_EQ(protocol::ClassifyRead(r.bytes.data(), r.bytes.size()), PacketKind::Rejected);
    }
  }
  // A slow reader may now and then see both pieces at once; most reads
  // must still be pieces.
  EXPECT_GE(heads, 12);
  EXPECT_GE(tails, 12);
  EXPECT_GT(sim.stats().burstsSplit, 0u);
}

TEST(ReceiverSimulatorFaults, MergedBurstsArriveAsOneChunk) {
  SimulatorConfig config = Config(Hand_Right, 100);
  config.faults.mergeEvery = 2;  // bursts 1, 3, 5 ... wait for the next one
  ReceiverSimulator sim(config);
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  SetChannel(sim, host, 41);
  int doubles = 0;
  for (int i = 0; i < 10; ++i) {
    // A multiple of 133, so a slow reader that finds several chunks
    // waiting still reads whole bursts.
    const ReadResult r = host.ReadOnce(3 * protocol::kMaxReadSize, 500ms);
    ASSERT_GT(r.n, 0);
    ASSERT_EQ(r.n % 133, 0);
    if (r.n != 266) continue;
    ++doubles;
    const std::vector<uint8_t> first(r.bytes.begin(), r.bytes.begin() + 133);
    const std::vector<uint8_t> second(r.bytes.begin() + 133, r.bytes.end());
    EXPECT_EQ(protocol::ClassifyRead(first.data(), first.size()), PacketKind::UUPU);
    EXPECT_EQ(protocol::ClassifyRead(second.data(), second.size()), PacketKind::UUPU);
    const uint64_t n = BurstSequence(first);
    EXPECT_EQ(n % 2, 1u);
    EXPECT_EQ(BurstSequence(second), n + 1);
    EXPECT_EQ(sim.BurstSendTime(n), sim.BurstSendTime(n + 1));
  }
  EXPECT_GE(doubles, 6);
  EXPECT_TRUE(sim.WaitFor(
      [doubles](const Statistics& s, ReceiverState) { return s.burstsMerged >= uint64_t(2 * doubles); }, 1s));
}

struct Arrival {
  std::chrono::steady_clock::time_point time;
  uint64_t sequence = 0;
};

Arrival ReadBurst(HostPort& host) {
  const ReadResult r = host.ReadOnce(protocol::kMaxReadSize, 1000ms);
  EXPECT_EQ(r.n, 133);
  return {std::chrono::steady_clock::now(), r.n == 133 ? BurstSequence(r.bytes) : 0};
}

// Longest pause between consecutive bursts, starting from one already
// read, over the given time, and the sequence numbers on either side of it.
struct Gap {
  std::chrono::steady_clock::duration length{};
  uint64_t before = 0, after = 0;
};

Gap LongestGap(HostPort& host, Arrival from, std::chrono::milliseconds over) {
  Gap gap;
  const auto start = std::chrono::steady_clock::now();
  auto last = from.time;
  uint64_t lastSequence = from.sequence;
  while (std::chrono::steady_clock::now() - start < over) {
    const ReadResult r = host.ReadOnce(protocol::kMaxReadSize, 1000ms);
    if (r.n != 133) break;
    const auto now = std::chrono::steady_clock::now();
    const uint64_t n = BurstSequence(r.bytes);
    if (now - last > gap.length) gap = {now - last, lastSequence, n};
    last = now;
    lastSequence = n;
  }
  return gap;
}

TEST(ReceiverSimulatorFaults, SilenceAtRunTimeLeavesAGap) {
  ReceiverSimulator sim(Config(Hand_Right));
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  SetChannel(sim, host, 41);
  const Arrival first = ReadBurst(host);
  sim.SilenceFor(400ms);
  const Gap gap = LongestGap(host, first, 900ms);
  EXPECT_GE(gap.length, 350ms);
  EXPECT_LT(gap.length, 800ms);
  EXPECT_EQ(gap.after, gap.before + 1);  // silence skips air time, not sequence numbers
}

TEST(ReceiverSimulatorFaults, ConfiguredSilenceFollowsTheChosenBurstCount) {
  SimulatorConfig config = Config(Hand_Right);
  config.faults.silence = 400ms;
  config.faults.silenceAfter = 20;
  ReceiverSimulator sim(config);
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  SetChannel(sim, host, 41);
  const Gap gap = LongestGap(host, ReadBurst(host), 900ms);
  EXPECT_GE(gap.length, 350ms);
  EXPECT_EQ(gap.before, 19u);
  EXPECT_EQ(gap.after, 20u);
}

TEST(ReceiverSimulatorFaults, MissingReportNeverComes) {
  SimulatorConfig config = Config(Hand_Left);
  config.faults.report = ReportMode::Missing;
  ReceiverSimulator sim(config);
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  EXPECT_TRUE(host.StaysSilent(700ms));
  EXPECT_EQ(sim.stats().reportsSent, 0u);
  EXPECT_EQ(sim.state(), ReceiverState::Scanning);
}

TEST(ReceiverSimulatorFaults, ShortReportsNeverReach700Bytes) {
  SimulatorConfig config = Config(Hand_Left);
  config.faults.report = ReportMode::ShortOnly;
  config.reportInterval = 100ms;
  ReceiverSimulator sim(config);
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  for (int i = 0; i < 3; ++i) {
    const std::string block = host.ReadUntil("TUPU", 1000ms);
    ASSERT_FALSE(block.empty());
    EXPECT_FALSE(protocol::IsFullReport(block.size())) << block.size();
  }
}

TEST(ReceiverSimulatorFaults, MalformedTokenFailsTheParse) {
  ReceiverSimulator sim(Config(Hand_Right));
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  for (const char* token : {"abc", ""}) {
    FaultConfig faults;
    faults.malformedToken = token;
    faults.malformedChannel = 30;
    sim.SetFaults(faults);
    // Drop reports written before the change, then take the next one.
    std::this_thread::sleep_for(20ms);
    host.Flush();
    host.ReadUntil("TUPU", 1000ms);  // may be cut by the flush
    const std::string report = host.ReadUntil("TUPU", 1000ms);
    ASSERT_TRUE(protocol::IsFullReport(report.size()));
    const protocol::ChannelReport parsed = protocol::ParseChannelReport(report);
    EXPECT_EQ(parsed.error, "invalid stof argument") << "token '" << token << "'";
    EXPECT_EQ(parsed.channels.size(), 29u);
  }
}

TEST(ReceiverSimulatorFaults, UnplugEndsTheHostsReads) {
  ReceiverSimulator sim(Config(Hand_Right));
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  SetChannel(sim, host, 41);
  ASSERT_EQ(host.ReadOnce(protocol::kMaxReadSize, 500ms).n, 133);
  sim.Unplug();
  EXPECT_EQ(sim.state(), ReceiverState::Unplugged);
  // Bursts already queued may still come; then the read must end.
  ReadResult r;
  for (int i = 0; i < 100; ++i) {
    r = host.ReadOnce(protocol::kMaxReadSize, 500ms);
    if (r.n <= 0) break;
  }
  ASSERT_FALSE(r.timedOut()) << "read neither failed nor hit end of file";
  EXPECT_TRUE(r.n == 0 || r.error == EIO) << r.n << " " << std::strerror(r.error);
  EXPECT_FALSE(host.Write({protocol::kCmdKeepAlive}));
  EXPECT_FALSE(HostPort(sim.PortPath()).ok());
  sim.Unplug();  // a second call is harmless
}

TEST(ReceiverSimulatorFaults, FaultsChangeSafelyWhileStreaming) {
  ReceiverSimulator sim(Config(Hand_Right, 500));
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  SetChannel(sim, host, 41);
  std::atomic<bool> stop{false};
  std::atomic<int> badReads{0}, goodReads{0};
  std::thread reader([&] {
    while (!stop) {
      const ReadResult r = host.ReadOnce(protocol::kMaxReadSize, 100ms);
      if (r.n != 133) continue;
      (AllRecordsValid(r.bytes.data(), PacketKind::UUPU) ? goodReads : badReads)++;
    }
  });
  FaultConfig faults;
  faults.badCheckEvery = 1;
  faults.badCheckSensor = 4;
  sim.SetFaults(faults);
  ASSERT_TRUE(sim.WaitFor([](const Statistics& s, ReceiverState) { return s.burstsCorrupted >= 20; }, 3s));
  sim.SetFaults(FaultConfig());
  const uint64_t corruptedAtReset = sim.stats().burstsCorrupted;
  const int goodBefore = goodReads;
  for (int i = 0; i < 20; ++i) {
    (void)sim.stats();
    (void)sim.faults();
    std::this_thread::sleep_for(10ms);
  }
  stop = true;
  reader.join();
  EXPECT_GE(badReads, 10);
  EXPECT_GT(goodReads, goodBefore + 20);
  EXPECT_LE(sim.stats().burstsCorrupted, corruptedAtReset + 1);  // at most one already in flight
}

TEST(ReceiverSimulatorFaults, FullQueueDropsWholeChunksOnly) {
  ReceiverSimulator sim(Config(Hand_Right, 500));
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  SetChannel(sim, host, 41);
  // Nobody reads: the queue fills and the receiver starts dropping.
  ASSERT_TRUE(sim.WaitFor([](const Statistics& s, ReceiverState) { return s.drops >= 20; }, 3s));
  int reads = 0;
  bool gap = false;
  uint64_t previous = 0;
  for (; reads < 40; ++reads) {
    const ReadResult r = host.ReadOnce(protocol::kMaxReadSize, 500ms);
    ASSERT_EQ(r.n, 133) << "read " << reads;
    ASSERT_EQ(protocol::ClassifyRead(r.bytes.data(), r.bytes.size()), PacketKind::UUPU);
    ASSERT_TRUE(AllRecordsValid(r.bytes.data(), PacketKind::UUPU));
    const uint64_t n = BurstSequence(r.bytes);
    if (reads > 0 && n != previous + 1) gap = true;
    previous = n;
  }
  EXPECT_TRUE(gap) << "dropped bursts leave a gap in the sequence";
}

}  // namespace
}  // namespace sim
}  // namespace ZEMBRA
