// The simulated receiver, checked from the host's side: its bytes are read
// through a real pseudo-terminal and judged by the driver's own protocol
// code and pose engine.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/pose/pose_engine.h"
#include "protocol/channel_report.h"
#include "protocol/packet.h"
#include "sim/command_parser.h"
#include "sim/glove_model.h"
#include "sim/noise_report.h"
#include "sim/packet_builder.h"
#include "sim/receiver_simulator.h"
#include "sim/sensor_encoding.h"
#include "sim/sim_options.h"

namespace ZEMBRA {
namespace sim {
namespace {

using namespace std::chrono_literals;
using protocol::PacketKind;

// ---------------------------------------------------------------------------
// Host side of the port: plain POSIX calls, raw mode, one read at a time.

struct ReadResult {
  ssize_t n = 0;  // bytes, 0 at end of file, -1 on error or time-out
  int error = 0;  // errno of a failed read; 0 on time-out
  std::vector<uint8_t> bytes;
  bool timedOut() const { return n < 0 && error == 0; }
};

class HostPort {
 public:
  explicit HostPort(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    termios raw;
    ::tcgetattr(fd_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd_, TCSANOW, &raw);
  }
  ~HostPort() { Close(); }
  HostPort(const HostPort&) = delete;
  HostPort& operator=(const HostPort&) = delete;

  bool ok() const { return fd_ >= 0; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  void Flush() { ::tcflush(fd_, TCIFLUSH); }

  // Each byte its own write, as the driver sends multi-byte commands.
  bool Write(std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) {
      if (::write(fd_, &b, 1) != 1) return false;
    }
    return true;
  }

  ReadResult ReadOnce(size_t capacity, std::chrono::milliseconds timeout) {
    ReadResult result;
    pollfd p = {fd_, POLLIN, 0};
    if (::poll(&p, 1, int(timeout.count())) <= 0) {
      result.n = -1;
      return result;
    }
    result.bytes.resize(capacity);
    result.n = ::read(fd_, result.bytes.data(), capacity);
    if (result.n < 0) {
      result.error = errno;
      result.bytes.clear();
    } else {
      result.bytes.resize(size_t(result.n));
    }
    return result;
  }

  // Text up to and including the delimiter; "" on time-out. Bytes behind
  // the delimiter are kept for the next call.
  std::string ReadUntil(const std::string& delimiter, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const size_t at = pending_.find(delimiter);
      if (at != std::string::npos) {
        std::string text = pending_.substr(0, at + delimiter.size());
        pending_.erase(0, at + delimiter.size());
        return text;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "";
      const ReadResult r = ReadOnce(4096, left);
      if (r.n <= 0 && !r.timedOut()) return "";
      pending_.append(r.bytes.begin(), r.bytes.end());
    }
  }

  // True when nothing at all arrives for the given time.
  bool StaysSilent(std::chrono::milliseconds time) { return ReadOnce(4096, time).timedOut(); }

 private:
  int fd_ = -1;
  std::string pending_;
};

SimulatorConfig Config(HandType hand, int rate = 200) {
  SimulatorConfig config;
  config.hand = hand;
  config.burstRate = rate;
  return config;
}

// 'j' and the channel byte, then drop whatever the scan left queued.
void SetChannel(ReceiverSimulator& sim, HostPort& host, int channel) {
  const size_t before = sim.stats().channelRequests.size();
  ASSERT_TRUE(host.Write({protocol::kCmdSetChannel, uint8_t(channel)}));
  ASSERT_TRUE(
      sim.WaitFor([before](const Statistics& s, ReceiverState) { return s.channelRequests.size() > before; }, 2s));
  host.Flush();
}

bool AllRecordsValid(const uint8_t* data, PacketKind kind) {
  const protocol::PacketLayout layout = protocol::LayoutOf(kind);
  for (int r = 0; r < layout.recordCount; ++r) {
    if (!protocol::RecordCheckOk(data + layout.records[r].offset)) return false;
  }
  return true;
}

uint64_t BurstSequence(const std::vector<uint8_t>& burst) {
  const protocol::PacketLayout layout = protocol::LayoutOf(PacketKind::UUPU);
  return SequenceFromStatusValue(protocol::DecodeStatus(burst.data(), layout.statusOffset).value);
}

// ---------------------------------------------------------------------------
// Encoding: the driver's own pose engine must read back the model's bends.

TEST(SimEncoding, DecodedBendsEqualTheModelForBothHandsAndModes) {
  for (HandType hand : {Hand_Left, Hand_Right}) {
    for (bool advanced : {false, true}) {
      SCOPED_TRACE(testing::Message() << "hand " << hand << (advanced ? " advanced" : " basic"));
      pose::PoseEngine engine;
      engine.SetHand(hand);
      engine.SetAdvancedMode(advanced);
      const GloveModel model(hand);
      double lowest[kFingerCount], highest[kFingerCount];
      std::fill(lowest, lowest + kFingerCount, 1e9);
      std::fill(highest, highest + kFingerCount, -1e9);
      double worst = 0;
      for (uint64_t n = 0; n < 600; ++n) {
        const HandFrame frame = model.At(double(n) * 0.05);
        const Burst burst = BuildBurst(EncodeSensors(frame, hand), StatusForBurst(n));
        Pose pose{};
        ASSERT_EQ(engine.ProcessPacket(burst.data(), burst.size(), pose), pose::PoseEngine::Outcome::Pose);
        ASSERT_EQ(pose.statusValue, double(n));
        for (int i = 0; i < kFingerCount; ++i) {
          const double err = std::fabs(engine.FingerValue(i) - frame.bend[size_t(i)]);
          worst = std::max(worst, err);
          ASSERT_LT(err, 0.05) << "finger " << i << " at t=" << double(n) * 0.05;
          lowest[i] = std::min(lowest[i], frame.bend[size_t(i)]);
          highest[i] = std::max(highest[i], frame.bend[size_t(i)]);
        }
        // The wrist joint is the model's wrist (a quaternion and its
        // negative are the same rotation).
        const Quat& w = pose.joints[Joint_Wrist];
        const double dot = w.x * frame.wrist.x + w.y * frame.wrist.y + w.z * frame.wrist.z + w.w * frame.wrist.w;
        ASSERT_GT(std::fabs(dot), 1.0 - 1e-6);
      }
      // The hand really moves through open and closed fingers.
      for (int i = 0; i < kFingerCount; ++i) {
        EXPECT_LT(lowest[i], 15.0) << "finger " << i;
        EXPECT_GT(highest[i], i == kThumb ? 45.0 : 75.0) << "finger " << i;
      }
      RecordProperty(
          std::string("worst_error_") + (hand == Hand_Left ? "left" : "right") + (advanced ? "_adv" : "_basic"),
          std::to_string(worst));
    }
  }
}

TEST(SimEncoding, ThumbEncodingDependsOnTheHand) {
  // Decoding a left glove as a right one must give other thumb bends:
  // the thumb encoding is not independent of the hand's reference.
  pose::PoseEngine engine;
  engine.SetHand(Hand_Right);
  const GloveModel model(Hand_Left);
  int differing = 0;
  for (uint64_t n = 0; n < 50; ++n) {
    const HandFrame frame = model.At(double(n) * 0.1);
    const Burst burst = BuildBurst(EncodeSensors(frame, Hand_Left), StatusForBurst(n));
    Pose pose{};
    ASSERT_EQ(engine.ProcessPacket(burst.data(), burst.size(), pose), pose::PoseEngine::Outcome::Pose);
    if (std::fabs(engine.FingerValue(kThumb) - frame.bend[kThumb]) > 1.0) ++differing;
  }
  EXPECT_GT(differing, 40);
}

TEST(SimEncoding, FrameChangeInverseRoundTrips) {
  const QuatD samples[] = {kIdentityD, Normalised({0.1, -0.7, 0.3, 0.6}), Normalised({-0.9, 0.2, 0.05, -0.4})};
  for (const QuatD& q : samples) {
    const QuatD back = HandFrameFromSensor(SensorFromHandFrame(q));
    EXPECT_NEAR(back.x, q.x, 1e-12);
    EXPECT_NEAR(back.y, q.y, 1e-12);
    EXPECT_NEAR(back.z, q.z, 1e-12);
    EXPECT_NEAR(back.w, q.w, 1e-12);
    EXPECT_NEAR(Norm2(SensorFromHandFrame(q)), 1.0, 1e-12);
  }
}

// ---------------------------------------------------------------------------
// Packet building.

SensorQuats SampleSensors() { return EncodeSensors(GloveModel(Hand_Right).At(1.234), Hand_Right); }

TEST(SimPacketBuilder, BurstIsAUUPartThenAPUPartWithValidRecordsAndStatus) {
  const SensorQuats sensors = SampleSensors();
  for (uint64_t n : {uint64_t(0), uint64_t(1), uint64_t(5), uint64_t(6), uint64_t(1000), kSequenceModulus - 1}) {
    const Burst burst = BuildBurst(sensors, StatusForBurst(n));
    ASSERT_EQ(protocol::ClassifyRead(burst.data(), burst.size()), PacketKind::UUPU);
    EXPECT_EQ(protocol::ClassifyRead(burst.data(), protocol::kUUPartSize), PacketKind::UU);
    EXPECT_EQ(protocol::ClassifyRead(burst.data() + protocol::kUUPartSize, protocol::kPUPartSize), PacketKind::PU);
    EXPECT_TRUE(AllRecordsValid(burst.data(), PacketKind::UUPU));
    for (int s = 0; s < protocol::kSensorCount; ++s) {
      const protocol::WireQuat q = protocol::DecodeRecordComponents(burst.data() + RecordOffsetInBurst(s));
      EXPECT_EQ(std::memcmp(&q, &sensors[size_t(s)], sizeof q), 0) << "sensor " << s;
    }
    const protocol::StatusFields status =
        protocol::DecodeStatus(burst.data(), protocol::LayoutOf(PacketKind::UUPU).statusOffset);
    EXPECT_EQ(status.selector, int32_t(n % 6));
    EXPECT_EQ(status.slotValue, SlotValueForSelector(int8_t(n % 6)));
    EXPECT_EQ(status.statusByte, kStatusByte);
    EXPECT_EQ(SequenceFromStatusValue(status.value), n);
  }
  // Past 2^24 the value wraps instead of losing integers.
  EXPECT_EQ(StatusForBurst(kSequenceModulus + 7).value, 7.0f);
}

TEST(SimPacketBuilder, CorruptCheckByteSpoilsOnlyThatSensor) {
  const SensorQuats sensors = SampleSensors();
  for (int bad = 0; bad < protocol::kSensorCount; ++bad) {
    Burst burst = BuildBurst(sensors, StatusForBurst(3));
    CorruptCheckByte(burst, bad);
    for (int s = 0; s < protocol::kSensorCount; ++s) {
      EXPECT_EQ(protocol::RecordCheckOk(burst.data() + RecordOffsetInBurst(s)), s != bad) << bad << "/" << s;
    }
    pose::PoseEngine engine;
    engine.SetHand(Hand_Right);
    Pose pose{};
    EXPECT_EQ(engine.ProcessPacket(burst.data(), burst.size(), pose), pose::PoseEngine::Outcome::NoPose);
    const Burst good = BuildBurst(sensors, StatusForBurst(4));
    EXPECT_EQ(engine.ProcessPacket(good.data(), good.size(), pose), pose::PoseEngine::Outcome::Pose);
  }
}

TEST(SimPacketBuilder, SixBurstsFillEveryStatusSlot) {
  pose::PoseEngine engine;
  engine.SetHand(Hand_Left);
  const SensorQuats sensors = SampleSensors();
  Pose pose{};
  for (uint64_t n = 0; n < 6; ++n) {
    const Burst burst = BuildBurst(sensors, StatusForBurst(n));
    ASSERT_EQ(engine.ProcessPacket(burst.data(), burst.size(), pose), pose::PoseEngine::Outcome::Pose);
  }
  for (int8_t selector = 0; selector < 6; ++selector) {
    EXPECT_EQ(pose.statusTable[protocol::StatusSlotForSelector(selector)], SlotValueForSelector(selector));
  }
  EXPECT_EQ(pose.statusByte, kStatusByte);
  EXPECT_EQ(pose.statusValue, 5.0);
}

// ---------------------------------------------------------------------------
// Channel noise report text.

TEST(SimNoiseReport, FullReportParsesBackToEveryChannel) {
  ChannelNoiseTable custom = DefaultNoise();
  custom[0] = -87.3f;
  custom[99] = 1e-3f;
  custom[41] = 123456.78f;
  for (const ChannelNoiseTable& noise : {DefaultNoise(), custom}) {
    const std::string text = BuildNoiseReport(noise);
    EXPECT_GT(text.size(), 760u);
    EXPECT_EQ(protocol::FindDelimiterEnd(reinterpret_cast<const uint8_t*>(text.data()), text.size(), "TUPU"),
              text.size());
    const size_t mark = text.find("/////");
    ASSERT_NE(mark, std::string::npos);
    const std::string body = text.substr(mark + 5);
    EXPECT_NE(body.find('%'), std::string::npos);
    EXPECT_NE(body.find("\r\n"), std::string::npos);
    EXPECT_NE(body.find('/'), std::string::npos);
    const protocol::ChannelReport report = protocol::ParseChannelReport(text);
    ASSERT_TRUE(report.ok()) << report.error;
    ASSERT_EQ(report.channels.size(), 100u);
    for (int k = 1; k <= 100; ++k) {
      EXPECT_EQ(report.channels[size_t(k - 1)].channel, k);
      EXPECT_EQ(report.channels[size_t(k - 1)].noise, noise[size_t(k - 1)]) << "channel " << k;
    }
  }
}

TEST(SimNoiseReport, DefaultNoiseIsFixedAndVaried) {
  const ChannelNoiseTable a = DefaultNoise();
  EXPECT_EQ(a, DefaultNoise());
  std::vector<float> distinct(a.begin(), a.end());
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  EXPECT_GT(distinct.size(), 50u);
  EXPECT_GE(distinct.front(), 10.0f);
  EXPECT_LE(distinct.back(), 50.0f);
}

TEST(SimNoiseReport, ShortBlockAndMalformedTokens) {
  ReportStyle shortStyle;
  shortStyle.shortBlock = true;
  const std::string block = BuildNoiseReport(DefaultNoise(), shortStyle);
  EXPECT_LE(block.size(), protocol::kReportMinExclusive);
  EXPECT_EQ(block.substr(block.size() - 4), "TUPU");

  for (const std::string token : {"abc", ""}) {
    ReportStyle style;
    style.malformedToken = token;
    const protocol::ChannelReport report = protocol::ParseChannelReport(BuildNoiseReport(DefaultNoise(), style));
    EXPECT_EQ(report.error, "invalid stof argument") << "token '" << token << "'";
    EXPECT_EQ(report.channels.size(), 49u);
  }
  ReportStyle first;
  first.malformedToken = "x1";
  first.malformedChannel = 1;
  const std::string text = BuildNoiseReport(DefaultNoise(), first);
  EXPECT_NE(text.find("/////x1,"), std::string::npos);
  EXPECT_TRUE(protocol::ParseChannelReport(text).channels.empty());
}

// ---------------------------------------------------------------------------
// Command bytes from the host.

TEST(SimCommandParser, CutsTheHostsBytesIntoCommands) {
  CommandParser parser;
  std::vector<Command> commands;
  // The channel after 'j' is 'b' (98) and the pairing channel is 'v' (118):
  // both must be taken as channels, not commands.
  const std::vector<uint8_t> bytes = {'b', 'v', 'c', 's', 'j', 'b', 'p', 'v', 1, 2, 3, 'j', 5, 6, 7, 8, 'x', 'j', 41};
  for (uint8_t b : bytes) {
    if (auto c = parser.Feed(b)) commands.push_back(*c);
  }
  using K = Command::Kind;
  const std::vector<K> kinds = {K::KeepAlive,      K::Vibrate, K::SaveCalibration, K::RssiScan,  K::SetChannel,
                                K::PairingStarted, K::Pair,    K::Unknown,         K::SetChannel};
  ASSERT_EQ(commands.size(), kinds.size());
  for (size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(commands[i].kind, kinds[i]) << i;
  EXPECT_EQ(commands[4].channel, 'b');
  EXPECT_EQ(commands[6].channel, 'v');
  const std::array<uint8_t, 8> address = {1, 2, 3, 'j', 5, 6, 7, 8};
  EXPECT_EQ(commands[6].address, address);
  EXPECT_EQ(commands[7].byte, 'x');
  EXPECT_EQ(commands[8].channel, 41);
}

// ---------------------------------------------------------------------------
// Program options.

TEST(SimOptions, AcceptsEveryOption) {
  const ParsedOptions parsed = ParseSimOptions({"--hand",     "left",
                                                "--rate",     "350",
                                                "--duration", "2.5",
                                                "--jam",      "43",
                                                "--jam",      "47",
                                                "--fault",    "bad-check=3",
                                                "--fault",    "bad-check-sensor=2",
                                                "--fault",    "split=4",
                                                "--fault",    "split-at=63",
                                                "--fault",    "split-gap=9",
                                                "--fault",    "merge=5",
                                                "--fault",    "silence=1500",
                                                "--fault",    "silence-after=20",
                                                "--fault",    "report=short",
                                                "--fault",    "malformed=",
                                                "--fault",    "malformed-channel=7",
                                                "--fault",    "no-confirm",
                                                "--fault",    "unplug=1.5"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const SimOptions& o = *parsed.options;
  EXPECT_EQ(o.config.hand, Hand_Left);
  EXPECT_EQ(o.config.burstRate, 350);
  EXPECT_EQ(o.durationSeconds, 2.5);
  EXPECT_EQ(o.config.jammedChannels, (std::vector<int>{43, 47}));
  const FaultConfig& f = o.config.faults;
  EXPECT_EQ(f.badCheckEvery, 3u);
  EXPECT_EQ(f.badCheckSensor, 2);
  EXPECT_EQ(f.splitEvery, 4u);
  EXPECT_EQ(f.splitAt, 63u);
  EXPECT_EQ(f.splitGap, 9ms);
  EXPECT_EQ(f.mergeEvery, 5u);
  EXPECT_EQ(f.silence, 1500ms);
  EXPECT_EQ(f.silenceAfter, 20u);
  EXPECT_EQ(f.report, ReportMode::ShortOnly);
  ASSERT_TRUE(f.malformedToken);
  EXPECT_EQ(*f.malformedToken, "");
  EXPECT_EQ(f.malformedChannel, 7);
  EXPECT_FALSE(f.confirmPairing);
  ASSERT_TRUE(o.unplugAfterSeconds);
  EXPECT_EQ(*o.unplugAfterSeconds, 1.5);

  const ParsedOptions defaults = ParseSimOptions({"--fault", "malformed", "--fault", "report=none"});
  ASSERT_TRUE(defaults.options) << defaults.error;
  EXPECT_EQ(defaults.options->config.hand, Hand_Right);
  EXPECT_EQ(defaults.options->config.burstRate, 200);
  EXPECT_EQ(*defaults.options->config.faults.malformedToken, "abc");
  EXPECT_EQ(defaults.options->config.faults.report, ReportMode::Missing);
}

TEST(SimOptions, RejectsBadOptions) {
  const std::vector<std::vector<std::string>> bad = {{"--bogus"},
                                                     {"--rate"},
                                                     {"--rate", "99"},
                                                     {"--rate", "501"},
                                                     {"--rate", "2x"},
                                                     {"--rate", "-200"},
                                                     {"--hand", "up"},
                                                     {"--duration", "-1"},
                                                     {"--duration", "x"},
                                                     {"--duration", "nan"},
                                                     {"--jam", "0"},
                                                     {"--jam", "101"},
                                                     {"--fault", "nope"},
                                                     {"--fault", "split=0"},
                                                     {"--fault", "bad-check"},
                                                     {"--fault", "bad-check-sensor=6"},
                                                     {"--fault", "report=loud"},
                                                     {"--fault", "no-confirm=1"},
                                                     {"--fault", "malformed=1,2"},
                                                     {"--fault", "unplug=-2"},
                                                     {"--fault", "split-at=133"},
                                                     {"port"}};
  for (const auto& args : bad) {
    const ParsedOptions parsed = ParseSimOptions(args);
    EXPECT_FALSE(parsed.options) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_FALSE(parsed.error.empty());
  }
}

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
      worst = std::max(worst, std::fabs(engine.FingerValue(i) - frame.bend[size_t(i)]));
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

// ---------------------------------------------------------------------------
// The zembra-receiver-sim program.

struct Child {
  pid_t pid = -1;
  int out = -1;  // its standard output
};

Child Spawn(const std::vector<std::string>& args) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return {};
  std::vector<char*> argv;
  std::string program = ZEMBRA_RECEIVER_SIM_BIN;
  argv.push_back(program.data());
  std::vector<std::string> copies = args;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[1], STDOUT_FILENO);
    const int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, STDERR_FILENO);
    ::close(pipeFds[0]);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  return {pid, pipeFds[0]};
}

std::string ReadLine(int fd, std::chrono::milliseconds timeout) {
  std::string line;
  char c;
  pollfd p = {fd, POLLIN, 0};
  while (::poll(&p, 1, int(timeout.count())) > 0 && ::read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

int WaitExit(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(ReceiverSimProgram, PrintsThePortFirstAndStopsAfterItsDuration) {
  Child child = Spawn({"--hand", "left", "--rate", "300", "--duration", "0.5"});
  ASSERT_GT(child.pid, 0);
  const std::string first = ReadLine(child.out, 5000ms);
  EXPECT_EQ(first.rfind("port: /dev/", 0), 0u) << first;
  EXPECT_EQ(WaitExit(child.pid), 0);
  ::close(child.out);
}

TEST(ReceiverSimProgram, ReportsChannelSetAndStopsOnSigterm) {
  Child child = Spawn({"--hand", "right", "--duration", "0"});
  ASSERT_GT(child.pid, 0);
  const std::string first = ReadLine(child.out, 5000ms);
  ASSERT_EQ(first.rfind("port: ", 0), 0u) << first;
  {
    HostPort host(first.substr(6));
    ASSERT_TRUE(host.ok());
    ASSERT_TRUE(host.Write({protocol::kCmdSetChannel, 45}));
    EXPECT_NE(ReadLine(child.out, 5000ms).find("channel 45"), std::string::npos);
  }
  ::kill(child.pid, SIGTERM);
  EXPECT_EQ(WaitExit(child.pid), 0);
  ::close(child.out);
}

TEST(ReceiverSimProgram, BadOptionsExitWithTwo) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--rate", "9999"}, {"--bogus"}, {"--fault", "explode"}, {"--hand"}}) {
    Child child = Spawn(args);
    ASSERT_GT(child.pid, 0);
    EXPECT_EQ(WaitExit(child.pid), 2) << args[0];
    ::close(child.out);
  }
}

}  // namespace
}  // namespace sim
}  // namespace ZEMBRA
