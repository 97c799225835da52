// zembra-stream's pure parts: the command line and its refusals, the send
// policy's cap, freshness and common grid over simulated time, the pose
// board's listeners, the finger bones against
// the recording's skeleton and frames (the same joint positions as a
// recorded frame, a turned wrist changing nothing, the right hand the left
// one's mirror), and the message set.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>

#include "stream/options.h"
#include "stream/pose_board.h"
#include "stream/send_policy.h"
#include "stream/vmc_bones.h"
#include "stream/vmc_messages.h"
#include "tests/stream/hand_chain.h"
#include "tests/support/engine_hands.h"
#include "tool/recording/bvh_pose.h"
#include "tool/recording/bvh_reader.h"
#include "tool/recording/bvh_writer.h"

namespace ZEMBRA {
namespace stream {
namespace {

using namespace std::chrono_literals;
using Clock = SendPolicy::Clock;

ParsedOptions Parse(std::vector<std::string> args) { return ParseOptions(args); }

TEST(StreamOptions, DefaultsAndDestinationsForEachPerformer) {
  const ParsedOptions none = Parse({});
  ASSERT_TRUE(none.error.empty());
  ASSERT_EQ(none.options.vmc.size(), 1u);
  EXPECT_EQ(none.options.vmc[0].text(), "127.0.0.1:39539");
  EXPECT_EQ(none.options.vmc[0].performer, 0);
  EXPECT_TRUE(none.options.bundle);
  EXPECT_EQ(none.options.rate, 120);
  EXPECT_EQ(none.options.hold, 0.5);
  EXPECT_FALSE(none.options.alignAfter);

  const ParsedOptions some = Parse({"--vmc", "studio-pc:39540", "--vmc", "1=192.0.2.7:39539", "--no-bundle", "--rate",
                                    "60", "--hold", "0.2", "--align-after", "3", "--wrist", "--quiet"});
  ASSERT_TRUE(some.error.empty()) << some.error;
  ASSERT_EQ(some.options.vmc.size(), 2u);  // no default beside the given ones
  EXPECT_EQ(some.options.vmc[0].host, "studio-pc");
  EXPECT_EQ(some.options.vmc[0].port, 39540);
  EXPECT_EQ(some.options.vmc[1].performer, 1);
  EXPECT_EQ(some.options.vmc[1].text(), "192.0.2.7:39539");
  EXPECT_FALSE(some.options.bundle);
  EXPECT_EQ(some.options.rate, 60);
  EXPECT_EQ(*some.options.alignAfter, 3);
  EXPECT_TRUE(some.options.wrist && some.options.quiet);
}

TEST(StreamOptions, BadWordsAreRefusedWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {"--vmc", "127.0.0.1"},  {"--vmc", ":39539"},      {"--vmc", "host:0"},
      {"--vmc", "host:65536"}, {"--vmc", "host:39x"},    {"--vmc", "100=host:1"},
      {"--vmc", "x=host:1"},   {"--vmc", "[::1]:39539"}, {"--vmc", "::1:39539"},
      {"--rate", "0"},         {"--rate", "fast"},       {"--hold", "0"},
      {"--align-after", "-1"}, {"--seconds", "nan"},     {"--vmc"},
      {"--frobnicate"}};
  for (const auto& words : bad) {
    const ParsedOptions parsed = Parse(words);
    EXPECT_FALSE(parsed.error.empty()) << words[0] << " " << (words.size() > 1 ? words[1] : "");
  }
  EXPECT_NE(Parse({"--vmc", "host:0"}).error.find("1 to 65535"), std::string::npos);
}

// Poses arriving every `gap` for `span`; returns the send times, and
// checks that a send never carries a pose older than allowed.
std::vector<Clock::time_point> Simulate(double rate, Clock::duration gap, Clock::duration span,
                                        Clock::duration* worstAge) {
  SendPolicy policy(rate);
  const Clock::time_point t0 = Clock::time_point() + 1h;
  std::vector<Clock::time_point> sends;
  Clock::time_point newest = Clock::time_point::min(), sentPose = Clock::time_point::min();
  *worstAge = Clock::duration::zero();
  // Step through time in 50 microseconds, as a sender woken on time would.
  for (Clock::time_point now = t0; now < t0 + span; now += 50us) {
    if ((now - t0) % gap < 50us) newest = now;
    const bool pending = newest != Clock::time_point::min() && newest > sentPose;
    const SendPolicy::Decision d = policy.Decide(now, pending, newest);
    if (!d.send) continue;
    EXPECT_TRUE(pending);
    *worstAge = std::max(*worstAge, now - newest);
    sentPose = newest;
    sends.push_back(now);
    policy.Sent(now);
  }
  return sends;
}

TEST(SendPolicy, DensePosesAreCappedAtTheRateAndSentTheMomentTheyArrive) {
  Clock::duration worst;
  // Two hands at 200 poses a second each: a pose every 2.5 ms / 2.
  const auto sends = Simulate(120, 1250us, 2s, &worst);
  EXPECT_GE(sends.size(), 235u);
  EXPECT_LE(sends.size(), 242u);
  for (size_t i = 1; i < sends.size(); ++i) EXPECT_GE(sends[i] - sends[i - 1], 4100us) << i;
  // Past the cap the next fresh pose goes at once; a waiting one never
  // waits longer than half a period and the pose spacing.
  EXPECT_LE(worst, 1300us);
}

TEST(SendPolicy, SparsePosesAreAllSentAtOnceAndALoneLatePoseStillGoes) {
  Clock::duration worst;
  const auto sends = Simulate(120, 20ms, 1s, &worst);
  EXPECT_EQ(sends.size(), 50u);
  EXPECT_EQ(worst, Clock::duration::zero());

  SendPolicy policy(100);
  const Clock::time_point t0 = Clock::time_point() + 1h;
  ASSERT_TRUE(policy.Decide(t0, true, t0).send);
  policy.Sent(t0);
  // Capped: poses count only from the opening, and what waits goes at the
  // grace without one.
  const SendPolicy::Decision capped = policy.Decide(t0 + 2ms, true, t0 + 2ms);
  EXPECT_FALSE(capped.send);
  EXPECT_EQ(capped.posesFrom, t0 + 10ms);
  EXPECT_EQ(capped.lookAgain, t0 + 15ms);
  // Open, but the waiting pose is older than the opening: wait a little for
  // a fresher one, then send it anyway.
  const SendPolicy::Decision waiting = policy.Decide(t0 + 10ms, true, t0 + 2ms);
  EXPECT_FALSE(waiting.send);
  EXPECT_LE(waiting.posesFrom, t0 + 10ms);
  EXPECT_EQ(waiting.lookAgain, t0 + 15ms);
  EXPECT_FALSE(policy.Decide(t0 + 15ms - 1us, true, t0 + 2ms).send);
  EXPECT_TRUE(policy.Decide(waiting.lookAgain, true, t0 + 2ms).send);
  EXPECT_TRUE(policy.Decide(t0 + 11ms, true, t0 + 11ms).send);
  EXPECT_FALSE(policy.Decide(t0 + 11ms, false, t0).send);
}

// Senders on one grid that started at different times: once each has sent
// its first pose, both send at the same moments, so that one wake-up serves
// both; a late send keeps to the grid, one send between two of its points.
TEST(SendPolicy, SendersOnOneGridSendTogetherWhenEverTheyStarted) {
  const Clock::time_point grid = Clock::time_point() + 1h;
  struct Sender {
    SendPolicy policy;
    Clock::time_point from, sentPose = Clock::time_point::min();
    std::vector<Clock::time_point> sends;
  };
  // 100 a second (10 ms); poses every 1.25 ms; first sends 3 and 17.6 ms
  // past the grid's start.
  Sender a{SendPolicy(100, grid), grid + 3ms, Clock::time_point::min(), {}};
  Sender b{SendPolicy(100, grid), grid + 17600us, Clock::time_point::min(), {}};
  Clock::time_point newest = Clock::time_point::min();
  for (Clock::time_point now = grid; now < grid + 1s; now += 50us) {
    if ((now - grid) % 1250us < 50us) newest = now;
    for (Sender* s : {&a, &b}) {
      if (now < s->from || !s->policy.Decide(now, newest > s->sentPose, newest).send) continue;
      s->sentPose = newest;
      s->sends.push_back(now);
      s->policy.Sent(now);
    }
  }
  ASSERT_GE(b.sends.size(), 90u);
  EXPECT_EQ(b.sends.front(), grid + 17600us);
  // b's second send is at the grid point after its first, and from then on
  // a's and b's agree.
  EXPECT_EQ(b.sends[1], grid + 20ms);
  const std::vector<Clock::time_point> aLater(std::find(a.sends.begin(), a.sends.end(), b.sends[1]), a.sends.end());
  EXPECT_EQ(aLater, std::vector<Clock::time_point>(b.sends.begin() + 1, b.sends.end()));
  EXPECT_GE(a.sends.size(), 99u);
  EXPECT_LE(a.sends.size(), 101u);

  // A lone pose sent late, at the grace, and a send by a sender that
  // stalled for periods: the cap opens at the next grid point, never twice
  // between two.
  SendPolicy late(100, grid);
  late.Sent(grid + 3ms);
  ASSERT_TRUE(late.Decide(grid + 15ms, true, grid + 4ms).send);
  late.Sent(grid + 15ms);
  EXPECT_EQ(late.Decide(grid + 16ms, true, grid + 16ms).posesFrom, grid + 20ms);
  late.Sent(grid + 57ms);
  EXPECT_EQ(late.Decide(grid + 58ms, true, grid + 58ms).posesFrom, grid + 60ms);
  // A grid that starts after the first send opens at its start.
  SendPolicy ahead(100, grid + 1s);
  ahead.Sent(grid);
  EXPECT_FALSE(ahead.Decide(grid + 1s - 1us, true, grid + 1s - 1us).send);
  EXPECT_TRUE(ahead.Decide(grid + 1s, true, grid + 1s).send);
}

// Each pose is told to the listeners, with its hand and time, on the
// putting thread; once Unlisten returns no call is made or under way, even
// with another thread putting meanwhile.
TEST(PoseBoard, ListenersHearEachPoseUntilTheyUnlisten) {
  struct Counter final : PoseListener {
    void OnPose(int performer, HandType hand, Clock::time_point at) override {
      inside.store(true);
      last = {performer, hand, at};
      calls.fetch_add(1);
      std::this_thread::sleep_for(50us);
      inside.store(false);
    }
    std::atomic<bool> inside{false};
    std::atomic<int> calls{0};
    std::tuple<int, HandType, Clock::time_point> last;
  };
  PoseBoard board;
  Counter counter;
  board.Listen(&counter);
  const Clock::time_point before = Clock::now();
  board.Put(3, Hand_Right, Pose{});
  EXPECT_EQ(counter.calls.load(), 1);
  EXPECT_EQ(std::get<0>(counter.last), 3);
  EXPECT_EQ(std::get<1>(counter.last), Hand_Right);
  HandSnapshot slot;
  ASSERT_TRUE(board.Read(3, Hand_Right, slot));
  EXPECT_EQ(std::get<2>(counter.last), slot.at);
  EXPECT_GE(slot.at, before);
  // Not a hand, or no such performer: dropped, and nobody told.
  board.Put(3, HandType(7), Pose{});
  board.Put(kMaxPerformers, Hand_Left, Pose{});
  EXPECT_EQ(counter.calls.load(), 1);

  std::atomic<bool> done{false};
  std::thread putter([&] {
    while (!done.load()) board.Put(0, Hand_Left, Pose{});
  });
  while (counter.calls.load() < 20) std::this_thread::yield();
  board.Unlisten(&counter);
  EXPECT_FALSE(counter.inside.load());
  const int calls = counter.calls.load();
  std::this_thread::sleep_for(20ms);
  done.store(true);
  putter.join();
  EXPECT_EQ(counter.calls.load(), calls);
}

std::string BonesText() {
  std::ifstream in(ZEMBRA_BONES_FILE, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str() + "MOTION\nFrames: 0\nFrame Time: 0.033333\n";
}

std::map<std::string, streamtest::ReceivedBone> Received(const HandBones& bones) {
  std::map<std::string, streamtest::ReceivedBone> out;
  for (const Bone& b : bones)
    out[b.name] = {{b.position.x, b.position.y, b.position.z},
                   {b.rotation.x, b.rotation.y, b.rotation.z, b.rotation.w}};
  return out;
}

// Where a recorded frame of the same pose puts each finger joint, seen from
// the wrist, equals where the bones composed down each chain put it: the
// recording's frame is the engine's turned half a turn about X, the T-pose
// hand's frame the engine's through -I (left) or diag(1, -1, 1) (right), so
// the recording's positions with X mirrored for the left hand and Z
// mirrored for the right.
TEST(FingerBones, JointsLieWhereARecordingOfTheSamePosePutsThem) {
  const recording::BvhParseResult parsed = recording::ParseBvh(BonesText());
  ASSERT_TRUE(parsed.ok) << parsed.error;
  const recording::BvhFile& file = parsed.file;
  const char* bvhFingers[5] = {"Thumb", "Index", "Middle", "Ring", "Pinky"};
  for (HandType hand : {Hand_Left, Hand_Right}) {
    const std::string side = hand == Hand_Left ? "Left" : "Right";
    for (const auto& [bend, thumbBend] : {std::pair{0.0, 0.0}, {40.0, 30.0}, {90.0, 60.0}}) {
      const Pose pose = testsupport::EngineHand(hand, bend, thumbBend);
      std::vector<double> frame(size_t(file.channelCount), 0.0);
      const int wrist = recording::FindJoint(file, side + "Hand");
      ASSERT_GE(wrist, 0);
      recording::BvhFrameHalfValues(pose, hand, frame.data() + file.joints[size_t(wrist)].firstChannel);
      const std::vector<recording::Vec3> at = recording::JointPositions(file, frame.data());
      const auto bones = Received(FingerBones(pose, hand));
      for (int f = 0; f < 5; ++f) {
        const streamtest::FingerChain chain = streamtest::Compose(bones, side, f);
        for (int s = 0; s < 3; ++s) {
          const int j = recording::FindJoint(file, side + "Hand" + bvhFingers[f] + std::to_string(s + 1));
          ASSERT_GE(j, 0);
          recording::Vec3 r{at[size_t(j)].x - at[size_t(wrist)].x, at[size_t(j)].y - at[size_t(wrist)].y,
                            at[size_t(j)].z - at[size_t(wrist)].z};
          const streamtest::V3 want = hand == Hand_Left ? streamtest::V3{-r.x / 100, r.y / 100, r.z / 100}
                                                        : streamtest::V3{r.x / 100, r.y / 100, -r.z / 100};
          const streamtest::V3& got = chain.joints[size_t(s)];
          EXPECT_NEAR(got.x, want.x, 2e-5) << side << f << s << " bend " << bend;
          EXPECT_NEAR(got.y, want.y, 2e-5) << side << f << s << " bend " << bend;
          EXPECT_NEAR(got.z, want.z, 2e-5) << side << f << s << " bend " << bend;
        }
        // The open hand is the T-pose: every local rotation the identity.
        if (bend == 0 && thumbBend == 0) {
          for (int s = 0; s < 3; ++s)
            EXPECT_NEAR(bones.at(side + streamtest::kFingers[f] + streamtest::kSegments[s]).rotation.w, 1, 1e-6);
        }
      }
    }
  }
}

TEST(FingerBones, ATurnedWristChangesNoFingerAndTheRightHandMirrorsTheLeft) {
  const Quat turn{0.3f, -0.5f, 0.1f, 0.806226f};  // unit, about (0.37, -0.62, 0.12)
  for (HandType hand : {Hand_Left, Hand_Right}) {
    Pose pose = testsupport::EngineHand(hand, 50, 25);
    const HandBones flat = FingerBones(pose, hand);
    for (Quat& joint : pose.joints) joint = testsupport::Product(turn, joint);
    const HandBones turned = FingerBones(pose, hand);
    for (int b = 0; b < kFingerBones; ++b) {
      EXPECT_NEAR(turned[size_t(b)].rotation.x, flat[size_t(b)].rotation.x, 2e-6) << b;
      EXPECT_NEAR(turned[size_t(b)].rotation.w, flat[size_t(b)].rotation.w, 2e-6) << b;
    }
  }
  const HandBones left = FingerBones(testsupport::EngineHand(Hand_Left, 50, 25), Hand_Left);
  const HandBones right = FingerBones(testsupport::EngineHand(Hand_Right, 50, 25), Hand_Right);
  for (int b = 0; b < kFingerBones; ++b) {
    EXPECT_EQ(std::string("Right") + (left[size_t(b)].name + 4), right[size_t(b)].name);
    EXPECT_FLOAT_EQ(right[size_t(b)].position.x, -left[size_t(b)].position.x);
    EXPECT_FLOAT_EQ(right[size_t(b)].position.z, left[size_t(b)].position.z);
    // A mirror through X = 0 turns (x, y, z, w) into (x, -y, -z, w).
    EXPECT_NEAR(right[size_t(b)].rotation.x, left[size_t(b)].rotation.x, 1e-6) << b;
    EXPECT_NEAR(right[size_t(b)].rotation.y, -left[size_t(b)].rotation.y, 1e-6) << b;
    EXPECT_NEAR(right[size_t(b)].rotation.z, -left[size_t(b)].rotation.z, 1e-6) << b;
  }
  // A bend curls each finger, the thumb too, towards the palm (-Y) on both
  // hands.
  for (const HandBones* bones : {&left, &right}) {
    const std::string side = bones == &left ? "Left" : "Right";
    for (int f = 0; f < 5; ++f)
      EXPECT_LT(streamtest::Compose(Received(*bones), side, f).tipDirection.y, f == 0 ? -0.1 : -0.5) << side << f;
  }
}

TEST(VmcMessages, TheMessageSetNamesEachBoneWithItsTransform) {
  const Pose pose = testsupport::EngineHand(Hand_Right, 30, 10);
  const HandBones fingers = FingerBones(pose, Hand_Right);
  std::vector<Bone> bones(fingers.begin(), fingers.end());
  bones.push_back(WristBone(pose, pose, Hand_Right));
  const std::vector<OscMessage> m = VmcMessages(1.5f, bones);
  ASSERT_EQ(m.size(), 2 + bones.size());
  EXPECT_EQ(m[0].address, "/VMC/Ext/OK");
  ASSERT_EQ(m[0].arguments.size(), 1u);
  EXPECT_EQ(m[0].arguments[0].type, 'i');
  EXPECT_EQ(m[0].arguments[0].i, 1);
  EXPECT_EQ(m[1].address, "/VMC/Ext/T");
  EXPECT_EQ(m[1].arguments[0].f, 1.5f);
  for (size_t i = 2; i < m.size(); ++i) {
    EXPECT_EQ(m[i].address, "/VMC/Ext/Bone/Pos");
    std::string types;
    for (const OscArgument& a : m[i].arguments) types += a.type;
    EXPECT_EQ(types, "sfffffff");
    EXPECT_EQ(m[i].arguments[0].s, bones[i - 2].name);
    EXPECT_EQ(m[i].arguments[7].f, bones[i - 2].rotation.w);
  }
  // The wrist against itself: unturned, at the end of a forearm along +X.
  EXPECT_EQ(m.back().arguments[0].s, "RightHand");
  EXPECT_NEAR(m.back().arguments[7].f, 1, 1e-6);
  EXPECT_GT(m.back().arguments[1].f, 0);
}

}  // namespace
}  // namespace stream
}  // namespace ZEMBRA
