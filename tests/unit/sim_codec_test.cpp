// The simulator's pure parts, checked by the driver's own protocol code and
// pose engine: sensor encoding, packet building, the noise report, the
// command parser and the program's options.
#include <gtest/gtest.h>

#include "tests/support/sim_host.h"

namespace ZEMBRA {
namespace sim {
namespace {

using namespace std::chrono_literals;
using protocol::PacketKind;

// ---------------------------------------------------------------------------
// Encoding: the driver's own pose engine must read back the model's bends,
// negated: the model counts a curl positive, the driver's bend negative.

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
          const double err = std::fabs(engine.FingerValue(i) + frame.bend[size_t(i)]);
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
    if (std::fabs(engine.FingerValue(kThumb) + frame.bend[kThumb]) > 1.0) ++differing;
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
  for (const ChannelNoiseTable& noise : {DefaultNoise(), LoudNoise(), custom}) {
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

TEST(SimNoiseReport, LoudNoiseIsFixedAndVaried) {
  const ChannelNoiseTable a = LoudNoise();
  EXPECT_EQ(a, LoudNoise());
  std::vector<float> distinct(a.begin(), a.end());
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  EXPECT_GT(distinct.size(), 50u);
  EXPECT_GE(distinct.front(), 10.0f);
  EXPECT_LE(distinct.back(), 50.0f);
}

// A receiver in an ordinary room: mostly quiet channels, a few noisy bands,
// and quiet channels for both hands that neither library excludes.
TEST(SimNoiseReport, DefaultNoiseLooksLikeAReceiversReport) {
  const ChannelNoiseTable a = DefaultNoise();
  EXPECT_EQ(a, DefaultNoise());
  std::vector<float> distinct(a.begin(), a.end());
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  EXPECT_GT(distinct.size(), 30u);
  EXPECT_GT(distinct.front(), 0.0f);

  int quiet = 0, bands = 0, quietLeft = 0, quietRight = 0;
  for (int channel = 1; channel <= kChannelCount; ++channel) {
    const float noise = a[size_t(channel - 1)];
    if (noise < 1.0f) {
      ++quiet;
      if (channel % 4 == 3 && channel != 79 && channel != 89) ++quietLeft;
      if (channel % 4 == 1 && channel != 81 && channel != 91) ++quietRight;
    } else {
      EXPECT_GE(noise, 10.0f) << "channel " << channel;
      EXPECT_LE(noise, 50.0f) << "channel " << channel;
      if (channel == 1 || a[size_t(channel - 2)] < 1.0f) ++bands;
    }
  }
  EXPECT_GE(quiet, 70);
  EXPECT_LT(quiet, kChannelCount);
  EXPECT_GE(bands, 2);
  EXPECT_GE(quietLeft, 10);
  EXPECT_GE(quietRight, 10);
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

TEST(SimModel, AnOpenHandAndAFistHoldStillAtTheEndsOfTheRanges) {
  for (HandType hand : {Hand_Left, Hand_Right}) {
    const GloveModel moving(hand), open(hand, HandMotion::Open), fist(hand, HandMotion::Fist);
    for (double t : {0.0, 1.7, 40.0}) {
      const HandFrame o = open.At(t), f = fist.At(t);
      const QuatD start = moving.At(0).wrist;
      for (const QuatD& w : {o.wrist, f.wrist})
        EXPECT_TRUE(w.x == start.x && w.y == start.y && w.z == start.z && w.w == start.w) << t;
      for (int i = 0; i < kFingerCount; ++i) {
        EXPECT_EQ(o.bend[size_t(i)], 5.0) << i;
        EXPECT_EQ(f.bend[size_t(i)], i == kThumb ? 55.0 : 85.0) << i;
      }
    }
  }
}

TEST(SimOptions, AcceptsEveryOption) {
  const ParsedOptions parsed = ParseSimOptions({"--hand",     "left",
                                                "--rate",     "350",
                                                "--pose",     "fist",
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
                                                "--fault",    "noisy",
                                                "--fault",    "unplug=1.5"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const SimOptions& o = *parsed.options;
  EXPECT_EQ(o.config.hand, Hand_Left);
  EXPECT_EQ(o.config.burstRate, 350);
  EXPECT_EQ(o.config.motion, HandMotion::Fist);
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
  EXPECT_EQ(o.config.noise, LoudNoise());
  ASSERT_TRUE(o.unplugAfterSeconds);
  EXPECT_EQ(*o.unplugAfterSeconds, 1.5);

  const ParsedOptions defaults = ParseSimOptions({"--fault", "malformed", "--fault", "report=none"});
  ASSERT_TRUE(defaults.options) << defaults.error;
  EXPECT_EQ(defaults.options->config.hand, Hand_Right);
  EXPECT_EQ(defaults.options->config.burstRate, 200);
  EXPECT_EQ(defaults.options->config.motion, HandMotion::Moving);
  EXPECT_EQ(*defaults.options->config.faults.malformedToken, "abc");
  EXPECT_EQ(defaults.options->config.noise, DefaultNoise());
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
                                                     {"--pose", "wave"},
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
                                                     {"--fault", "noisy=1"},
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

}  // namespace
}  // namespace sim
}  // namespace ZEMBRA
