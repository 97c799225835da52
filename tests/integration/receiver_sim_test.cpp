// The simulated receiver over a real pseudo-terminal, checked from the
// host's side: scan, streaming, commands, pairing, reopening, descriptors.
#include <gtest/gtest.h>

#include "tests/support/sim_host.h"

namespace ZEMBRA {
namespace sim {
namespace {

using namespace std::chrono_literals;
using protocol::PacketKind;

// ---------------------------------------------------------------------------
// The simulator over a real pseudo-terminal.

TEST(ReceiverSimulator, RejectsBadConfiguration) {
  EXPECT_THROW(ReceiverSimulator{Config(HandType(0))}, std::invalid_argument);
  EXPECT_THROW(ReceiverSimulator{Config(Hand_Left, 99)}, std::invalid_argument);
  EXPECT_THROW(ReceiverSimulator{Config(Hand_Left, 501)}, std::invalid_argument);
  SimulatorConfig tiny = Config(Hand_Left);
  tiny.queueLimit = 100;
  EXPECT_THROW(ReceiverSimulator{tiny}, std::invalid_argument);
}

TEST(ReceiverSimulator, ScanSendsFullReportsRepeatedly) {
  SimulatorConfig config = Config(Hand_Right);
  config.noise[9] = 3.5f;
  ReceiverSimulator sim(config);
  EXPECT_EQ(sim.PortPath().rfind("/dev/", 0), 0u);
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  for (int round = 0; round < 2; ++round) {
    const std::string report = host.ReadUntil("TUPU", 2000ms);
    ASSERT_FALSE(report.empty()) << "round " << round;
    EXPECT_TRUE(protocol::IsFullReport(report.size())) << report.size();
    const protocol::ChannelReport parsed = protocol::ParseChannelReport(report);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    ASSERT_EQ(parsed.channels.size(), 100u);
    for (int k = 0; k < 100; ++k) EXPECT_EQ(parsed.channels[size_t(k)].noise, config.noise[size_t(k)]);
  }
  EXPECT_EQ(sim.state(), ReceiverState::Scanning);
  EXPECT_TRUE(sim.WaitFor([](const Statistics& s, ReceiverState) { return s.reportsSent >= 2; }, 1s));
}

TEST(ReceiverSimulator, StreamsAtTheRateAndEveryBurstDecodesToTheModel) {
  constexpr int kRate = 250;
  ReceiverSimulator sim(Config(Hand_Right, kRate));
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  ASSERT_FALSE(host.ReadUntil("TUPU", 2000ms).empty());
  SetChannel(sim, host, 41);  // 41 % 4 == 1: a right-hand channel
  EXPECT_EQ(sim.state(), ReceiverState::Streaming);
  EXPECT_EQ(sim.channel(), 41);

  pose::PoseEngine engine;
  engine.SetHand(Hand_Right);
  const auto start = std::chrono::steady_clock::now();
  int bursts = 0;
  uint64_t previous = 0;
  double worst = 0;
  while (std::chrono::steady_clock::now() - start < 1s) {
    const ReadResult r = host.ReadOnce(protocol::kMaxReadSize, 200ms);
    ASSERT_GT(r.n, 0) << "stream stopped";
    const auto received = SimClock::now();
    ASSERT_EQ(r.n, 133);
    ASSERT_EQ(protocol::ClassifyRead(r.bytes.data(), r.bytes.size()), PacketKind::UUPU);
    ASSERT_TRUE(AllRecordsValid(r.bytes.data(), PacketKind::UUPU));
    Pose pose{};
    ASSERT_EQ(engine.ProcessPacket(r.bytes.data(), r.bytes.size(), pose), pose::PoseEngine::Outcome::Pose);
    const uint64_t n = SequenceFromStatusValue(pose.statusValue);
    if (bursts > 0) {
      EXPECT_GT(n, previous);
    }
    previous = n;
    const HandFrame frame = sim.BurstFrame(n);
    for (int i = 0; i < kFingerCount; ++i) {
      // The driver's bend is negative for a curl, the model's positive.
      worst = std::max(worst, std::fabs(engine.FingerValue(i) + frame.bend[size_t(i)]));
    }
    const auto sent = sim.BurstSendTime(n);
    ASSERT_TRUE(sent);
    // Stamped after the write returned, so a quick reader may even be
    // earlier; either way the two lie close together.
    EXPECT_LT(std::chrono::abs(received - *sent), 100ms);
    ++bursts;
  }
  EXPECT_LT(worst, 0.05);
  EXPECT_GE(bursts, kRate * 3 / 4);
  EXPECT_LE(bursts, kRate * 11 / 10);
  EXPECT_TRUE(
      sim.WaitFor([bursts](const Statistics& s, ReceiverState) { return s.burstsSent >= uint64_t(bursts); }, 1s));
  const Statistics stats = sim.stats();
  EXPECT_EQ(stats.burstsCorrupted, 0u);
  EXPECT_EQ(stats.channelRequests, std::vector<int>{41});
}

TEST(ReceiverSimulator, StaysQuietOnChannelsThatDoNotSuitTheGlove) {
  SimulatorConfig config = Config(Hand_Left);
  config.jammedChannels = {43};
  ReceiverSimulator sim(config);
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  for (int channel : {41, 43, 103, 0}) {  // right-hand, jammed, beyond 100, none
    SetChannel(sim, host, channel);
    EXPECT_EQ(sim.state(), ReceiverState::Quiet) << channel;
    EXPECT_TRUE(host.StaysSilent(300ms)) << channel;
  }
  SetChannel(sim, host, 47);  // 47 % 4 == 3: a left-hand channel
  const ReadResult r = host.ReadOnce(protocol::kMaxReadSize, 500ms);
  ASSERT_EQ(r.n, 133);
  EXPECT_EQ(protocol::ClassifyRead(r.bytes.data(), r.bytes.size()), PacketKind::UUPU);
  EXPECT_EQ(sim.stats().channelRequests, (std::vector<int>{41, 43, 103, 0, 47}));
}

TEST(ReceiverSimulator, CountsCommandsAndReturnsToTheScan) {
  ReceiverSimulator sim(Config(Hand_Right));
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  SetChannel(sim, host, 13);
  ASSERT_TRUE(host.Write({'b', 'b', 'v', 'b', 'c', 'v', 'Z'}));
  ASSERT_TRUE(sim.WaitFor(
      [](const Statistics& s, ReceiverState) {
        return s.keepAlives == 3 && s.vibrations == 2 && s.calibrations == 1 && s.unknownBytes == 1;
      },
      2s));
  Statistics stats = sim.stats();
  EXPECT_EQ(stats.vibrationTimes.size(), 2u);
  EXPECT_EQ(stats.calibrationTimes.size(), 1u);
  EXPECT_LE(stats.vibrationTimes[0], stats.vibrationTimes[1]);
  EXPECT_EQ(sim.state(), ReceiverState::Streaming);  // none of these stops the stream

  ASSERT_TRUE(host.Write({protocol::kCmdRssiScan}));
  ASSERT_TRUE(sim.WaitFor(
      [](const Statistics& s, ReceiverState st) { return s.rssiResets == 1 && st == ReceiverState::Scanning; }, 2s));
  host.Flush();
  const std::string report = host.ReadUntil("TUPU", 2000ms);
  EXPECT_TRUE(protocol::IsFullReport(report.size()));
  EXPECT_EQ(protocol::ParseChannelReport(report).channels.size(), 100u);
}

TEST(ReceiverSimulator, PairingIsRecordedAndConfirmedOrLeftWaiting) {
  ReceiverSimulator sim(Config(Hand_Left));
  HostPort host(sim.PortPath());
  ASSERT_TRUE(host.ok());
  ASSERT_TRUE(host.Write({'p', 80, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
  const std::string reply = host.ReadUntil("finished", 2000ms);
  ASSERT_FALSE(reply.empty());
  // The count follows the write; the host may see the text first.
  ASSERT_TRUE(sim.WaitFor([](const Statistics& s, ReceiverState) { return s.pairingConfirmations == 1; }, 1s));
  Statistics stats = sim.stats();
  ASSERT_EQ(stats.pairings.size(), 1u);
  EXPECT_EQ(stats.pairings[0].channel, 80);
  EXPECT_EQ(stats.pairings[0].address, (std::array<uint8_t, 8>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
  EXPECT_EQ(stats.pairingConfirmations, 1u);
  EXPECT_TRUE(sim.WaitFor([](const Statistics&, ReceiverState s) { return s == ReceiverState::Scanning; }, 1s));

  FaultConfig faults = sim.faults();
  faults.confirmPairing = false;
  sim.SetFaults(faults);
  ASSERT_TRUE(host.Write({'p', 90, 1, 2, 3, 4, 5, 6, 7, 8}));
  ASSERT_TRUE(sim.WaitFor([](const Statistics& s, ReceiverState) { return s.pairings.size() == 2; }, 2s));
  EXPECT_TRUE(host.ReadUntil("finished", 400ms).empty());
  EXPECT_EQ(sim.state(), ReceiverState::Pairing);
  EXPECT_EQ(sim.stats().pairings[1].channel, 90);
  EXPECT_EQ(sim.stats().pairingConfirmations, 1u);
}

TEST(ReceiverSimulator, AHostThatReopensThePortGetsAFreshReport) {
  ReceiverSimulator sim(Config(Hand_Right));
  {
    HostPort host(sim.PortPath());
    ASSERT_TRUE(host.ok());
    SetChannel(sim, host, 41);
    ASSERT_EQ(host.ReadOnce(protocol::kMaxReadSize, 500ms).n, 133);
  }
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(sim.state(), ReceiverState::Streaming) << "closing alone changes nothing";
  const uint64_t reports = sim.stats().reportsSent;
  // Opening sets the line up: the receiver resets to its scan.
  HostPort again(sim.PortPath());
  ASSERT_TRUE(again.ok());
  again.Flush();  // the bursts that waited while the port was closed
  EXPECT_TRUE(sim.WaitFor([&](const Statistics& s, ReceiverState) { return s.reportsSent > reports; }, 1s));
  EXPECT_EQ(sim.state(), ReceiverState::Scanning);
  SetChannel(sim, again, 41);
  again.Flush();
  for (int i = 0; i < 5; ++i) {
    const ReadResult r = again.ReadOnce(protocol::kMaxReadSize, 500ms);
    ASSERT_EQ(r.n, 133);
    EXPECT_EQ(protocol::ClassifyRead(r.bytes.data(), r.bytes.size()), PacketKind::UUPU);
  }
  EXPECT_EQ(sim.state(), ReceiverState::Streaming);
}

size_t OpenDescriptors() {
  size_t count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir)) ++count;
    ::closedir(dir);
  }
  return count;
}

TEST(ReceiverSimulator, ReleasesEveryDescriptor) {
  const size_t before = OpenDescriptors();
  for (int i = 0; i < 4; ++i) {
    ReceiverSimulator sim(Config(i % 2 ? Hand_Left : Hand_Right));
    if (i == 0) {
      HostPort host(sim.PortPath());
      ASSERT_TRUE(host.ok());
      SetChannel(sim, host, 41);
      ASSERT_EQ(host.ReadOnce(protocol::kMaxReadSize, 500ms).n, 133);
    }
  }
  EXPECT_EQ(OpenDescriptors(), before);

  // Destroying the simulator while a host still holds the port ends the
  // host's reads like an unplug.
  std::string path;
  std::unique_ptr<HostPort> host;
  {
    ReceiverSimulator sim(Config(Hand_Right));
    path = sim.PortPath();
    host = std::make_unique<HostPort>(path);
    ASSERT_TRUE(host->ok());
  }
  ReadResult r;
  for (int i = 0; i < 100; ++i) {
    r = host->ReadOnce(4096, 500ms);
    if (r.n <= 0) break;
  }
  EXPECT_FALSE(r.timedOut());
}

}  // namespace
}  // namespace sim
}  // namespace ZEMBRA
