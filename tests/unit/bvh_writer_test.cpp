// The recording core: rotations to BVH text, the frame grid, the skeleton
// shipped with the tool (read back by the BVH reader and posed), and the
// reader on files of other shapes and on broken ones.
#include "tool/recording/bvh_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "protocol/hand_model.h"
#include "tests/support/engine_hands.h"
#include "tests/support/temp_dir.h"
#include "tool/recording/bvh_pose.h"
#include "tool/recording/bvh_reader.h"
#include "tool/recording/frame_grid.h"

namespace ZEMBRA {
namespace recording {
using testsupport::EngineHand;
using testsupport::PoseOf;

namespace {

constexpr float kHalf = 0.70710677f;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(BvhRotation, AQuarterTurnAboutZIsWrittenForEachHandsFrame) {
  const Quat wrist{0, 0, kHalf, kHalf};
  EXPECT_EQ(ToEulerText(ToBvhRotation(wrist, Hand_Left)), "-90 0 0");
  EXPECT_EQ(ToEulerText(ToBvhRotation(wrist, Hand_Right)), "90 0 180");
  const Quatd right = ToBvhRotation({1, 2, 3, 4}, Hand_Right);
  EXPECT_EQ(right.x, 3);  // (z, w, x, y) of the stored components
  EXPECT_EQ(right.y, 4);
  EXPECT_EQ(right.z, 1);
  EXPECT_EQ(right.w, 2);
}

TEST(BvhRotation, NumbersUseSixSignificantDigitsInTheShorterNotation) {
  EXPECT_EQ(FormatNumber(-12.345678), "-12.3457");
  EXPECT_EQ(FormatNumber(89.99999), "90");
  EXPECT_EQ(FormatNumber(0.00001), "1e-05");
  EXPECT_EQ(FormatNumber(1234567.0), "1.23457e+06");
  EXPECT_EQ(FormatNumber(0.5), "0.5");
  EXPECT_EQ(FormatNumber(180), "180");
  EXPECT_EQ(FormatNumber(0.000123456789), "0.000123457");
  EXPECT_EQ(FormatNumber(-0.0), "0");
}

TEST(BvhRotation, RelativeRotationsAndTheZeroQuaternion) {
  const Quatd turn{0, 0, 0.5, std::sqrt(0.75)};
  const Quatd same = RelativeRotation(turn, turn);
  EXPECT_NEAR(same.w, 1, 1e-12);
  EXPECT_NEAR(std::hypot(same.x, same.y, same.z), 0, 1e-12);
  const Quatd fromZero = RelativeRotation(Quatd{0, 0, 0, 0}, turn);
  EXPECT_EQ(fromZero.x + fromZero.y + fromZero.z + fromZero.w, 0);
  EXPECT_EQ(ToEulerText(Quatd{std::nan(""), 0, 0, 1}), "0 0 0");
  EXPECT_EQ(ToEulerText(Quatd{0, std::numeric_limits<double>::infinity(), 0, 1}), "0 0 0");
}

// The file as the tool writes it, read back: the shipped skeleton, 96
// channels, the shorter list's frame count, every value a finite number.
TEST(BvhFile, BothHandsAreWrittenForTheShorterListAndReadBack) {
  const std::string header = ReadAll(ZEMBRA_BONES_FILE);
  ASSERT_FALSE(header.empty());
  std::vector<Pose> left, right;
  for (int i = 0; i < 100; ++i) left.push_back(PoseOf(Hand_Left, {0, std::sin(i * 0.01f), 0, std::cos(i * 0.01f)}));
  for (int i = 0; i < 98; ++i) right.push_back(PoseOf(Hand_Right, {std::sin(i * 0.02f), 0, 0, std::cos(i * 0.02f)}));
  // A broken record somewhere must not break the file.
  left[7].joints[Joint_IndexDistal] = {std::nanf(""), 0, 0, 1};

  const std::string text = BuildBvhText(header, left, right);
  EXPECT_EQ(text.compare(0, header.size(), header), 0);
  EXPECT_NE(text.find("MOTION\nFrames: 98\nFrame Time: 0.033333\n"), std::string::npos);
  const BvhParseResult parsed = ParseBvh(text);
  ASSERT_TRUE(parsed.ok) << parsed.errorLine << ": " << parsed.error;
  EXPECT_EQ(parsed.file.channelCount, 96);
  EXPECT_EQ(parsed.file.frameCount, 98);
  EXPECT_DOUBLE_EQ(parsed.file.frameTime, 0.033333);
  for (double v : parsed.file.values) EXPECT_TRUE(std::isfinite(v));
  // One line per frame, no space at either end.
  const std::string motion = text.substr(text.find("0.033333\n") + 9);
  std::istringstream lines(motion);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    ASSERT_FALSE(line.empty());
    EXPECT_NE(line.front(), ' ');
    EXPECT_NE(line.back(), ' ');
  }
  EXPECT_EQ(count, 98);
}

// The left half of a line drives the skeleton's left hand, so each list is
// converted for its own half whatever hand value its frames carry.
TEST(BvhFile, EachListIsConvertedForItsOwnHalfOfTheLine) {
  const Pose turned = PoseOf(Hand_Right, {0, 0, kHalf, kHalf});
  std::string right;
  WriteBvhFrameHalf(turned, right);
  std::string left;
  WriteBvhFrameHalf(PoseOf(Hand_Left, {0, 0, kHalf, kHalf}), left);
  ASSERT_NE(left, right);
  std::vector<Pose> rights(3, turned), lefts(3, PoseOf(Hand_Left, {0, 0, kHalf, kHalf}));
  rights[1].type = HandType(7);
  rights[2].type = Hand_Left;
  lefts[1].type = HandType(0);
  lefts[2].type = Hand_Right;
  const std::string text = BuildBvhText("HIERARCHY\n", lefts, rights);
  std::istringstream lines(text.substr(text.find("0.033333\n") + 9));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) EXPECT_EQ(line, left + " " + right) << "frame " << count;
  EXPECT_EQ(count, 3);
}

// Each joint's position in frame f, as three numbers.
std::vector<std::array<double, 3>> Positions(const BvhFile& file, int frame) {
  std::vector<std::array<double, 3>> positions;
  for (const Vec3& p : JointPositions(file, file.values.data() + size_t(frame) * size_t(file.channelCount)))
    positions.push_back({p.x, p.y, p.z});
  return positions;
}

// The engine's pinch: the index finger curled, the thumb curled to meet
// it, the other fingers open.
Pose Pinch(HandType hand) {
  Pose pose = EngineHand(hand, 0, 100);
  const Pose index = EngineHand(hand, 85, 100);
  for (int joint : {Joint_IndexProximal, Joint_IndexIntermediate, Joint_IndexDistal})
    pose.joints[joint] = index.joints[joint];
  return pose;
}

using Vec3d = std::array<double, 3>;
Vec3d Minus(const Vec3d& a, const Vec3d& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3d Cross(const Vec3d& a, const Vec3d& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double Distance(const Vec3d& a, const Vec3d& b) {
  const Vec3d d = Minus(a, b);
  return std::hypot(d[0], d[1], d[2]);
}

// The shipped skeleton posed four ways. Every joint carrying the wrist's
// rotation: both hands flat, palms down (-Y), fingers along +X, each thumb
// root on its own side (towards the other hand). The pose engine's open
// hand, whose thumb always sits at its rest rotation on the wrist: all five
// tips in the plane of the palm, the thumb spread forward and out on its own
// side, the right hand the left one's mirror image. The engine's fist:
// every tip, the thumb's too, towards the palm. Its pinch: the thumb's and
// the index finger's tips together.
TEST(BvhFile, TheShippedSkeletonShowsTheEnginesHandsPalmDownCurlingTowardsThePalm) {
  const std::string text = BuildBvhText(
      ReadAll(ZEMBRA_BONES_FILE),
      {PoseOf(Hand_Left, {0, 0, 0, 1}), EngineHand(Hand_Left, 0, 0), EngineHand(Hand_Left, 85, 55), Pinch(Hand_Left)},
      {PoseOf(Hand_Right, {0, 0, 0, 1}), EngineHand(Hand_Right, 0, 0), EngineHand(Hand_Right, 85, 55),
       Pinch(Hand_Right)});
  const BvhParseResult parsed = ParseBvh(text);
  ASSERT_TRUE(parsed.ok) << parsed.error;
  const BvhFile& file = parsed.file;
  auto find = [&](const std::string& name) {
    for (size_t j = 0; j < file.joints.size(); ++j)
      if (file.joints[j].name == name) return j;
    ADD_FAILURE() << name;
    return size_t(0);
  };
  // A finger's tip: the end site under its distal joint.
  auto tipOf = [&](const std::string& distal) {
    const int parent = int(find(distal));
    for (size_t j = 0; j < file.joints.size(); ++j)
      if (file.joints[j].endSite && file.joints[j].parent == parent) return j;
    ADD_FAILURE() << distal;
    return size_t(0);
  };
  const char* const kLong[] = {"Index", "Middle", "Ring", "Pinky"};
  const auto equal = Positions(file, 0), open = Positions(file, 1), fist = Positions(file, 2),
             pinch = Positions(file, 3);
  for (const std::string side : {"Left", "Right"}) {
    const std::string hand = side + "Hand";
    // A left hand palm down with its fingers pointing away (+X) has its
    // thumb on the right (+Z in a Y-up frame); a right hand on the left.
    const double thumbSide = side == "Left" ? 1 : -1;
    const size_t wrist = find(hand), thumbRoot = find(hand + "Thumb1"), thumbTip = tipOf(hand + "Thumb3");
    const size_t indexRoot = find(hand + "Index1"), pinkyRoot = find(hand + "Pinky1");
    const size_t indexTip = tipOf(hand + "Index3");
    for (const auto* at : {&equal, &open}) {
      for (const char* finger : kLong) {
        const auto& tip = (*at)[tipOf(hand + finger + "3")];
        EXPECT_GT(tip[0], (*at)[wrist][0] + 12) << hand << finger << ": fingers point along +X";
        EXPECT_NEAR(tip[1], (*at)[wrist][1], 0.01) << hand << finger << ": flat";
      }
      EXPECT_GT((((*at)[thumbRoot][2]) - (*at)[wrist][2]) * thumbSide, 2) << hand;
      EXPECT_GT(((*at)[indexRoot][2] - (*at)[pinkyRoot][2]) * thumbSide, 3) << hand;
      // The palm faces -Y, by the viewer's rule: across the knuckles towards
      // the thumb, times along the hand, leaves a right palm and a left back.
      const size_t middleRoot = find(hand + "Middle1");
      const Vec3d normal = Cross(Minus((*at)[indexRoot], (*at)[pinkyRoot]), Minus((*at)[middleRoot], (*at)[wrist]));
      const double palmY = (side == "Left" ? -normal[1] : normal[1]) / std::hypot(normal[0], normal[1], normal[2]);
      EXPECT_LT(palmY, -0.95) << hand << ": palm down";
    }
    EXPECT_NEAR(open[thumbTip][1], open[wrist][1], 1) << hand << ": thumb in the palm's plane";
    EXPECT_GT((open[thumbTip][2] - open[indexRoot][2]) * thumbSide, 3) << hand << ": thumb spread out";
    EXPECT_GT(open[thumbTip][0], open[thumbRoot][0] + 5) << hand << ": thumb points forward";
    for (const char* finger : kLong) {
      const size_t tip = tipOf(hand + finger + "3");
      EXPECT_LT(fist[tip][1], fist[wrist][1] - 5) << hand << finger << ": curls towards the palm";
      EXPECT_LT(fist[tip][0], open[tip][0] - 5) << hand << finger << ": and back towards the wrist";
    }
    EXPECT_LT(fist[thumbTip][1], open[thumbTip][1] - 2.5) << hand << ": thumb bends towards the palm";
    EXPECT_LT((fist[thumbTip][2] - open[thumbTip][2]) * thumbSide, -2) << hand << ": and in across it";
    EXPECT_GT(Distance(open[thumbTip], open[indexTip]), 8) << hand;
    EXPECT_LT(Distance(pinch[thumbTip], pinch[indexTip]), 3) << hand << ": a pinch brings the tips together";
  }
  // The hands lie apart, the left one at -Z (on the left, looking along the
  // fingers), each the other's mirror image through Z = 0.
  EXPECT_LT(open[find("LeftHand")][2], open[find("RightHand")][2] - 15);
  for (const auto* at : {&equal, &open, &fist, &pinch}) {
    const size_t half = (file.joints.size() - 1) / 2;
    for (size_t j = 1; j <= half; ++j) {
      const size_t mirror = j + half;
      EXPECT_NEAR((*at)[j][0], (*at)[mirror][0], 0.01) << file.joints[j].name;
      EXPECT_NEAR((*at)[j][1], (*at)[mirror][1], 0.01) << file.joints[j].name;
      EXPECT_NEAR((*at)[j][2], -(*at)[mirror][2], 0.01) << file.joints[j].name;
    }
  }
}

TEST(FrameGrid, FramesFallOnAThirtiethOfASecondFromTheStart) {
  constexpr int64_t kMs = 1000000;
  const int64_t start = 5000 * kMs;
  // Poses every 5 ms for a second, 200 ms of silence, poses for 300 ms more,
  // the stop 50 ms after the last pose. The right glove runs 2 ms late.
  std::vector<int64_t> times;
  for (int64_t t = 0; t < 1000; t += 5) times.push_back(t);
  for (int64_t t = 1200; t < 1500; t += 5) times.push_back(t);
  const int64_t stop = start + (times.back() + 50) * kMs;
  FrameGrid left, right;
  left.Reset(start);
  right.Reset(start);
  for (int64_t t : times) {
    left.Add(start + t * kMs, PoseOf(Hand_Left, {0, 0, 0, 1}, int32_t(t)));
    right.Add(start + (t + 2) * kMs, PoseOf(Hand_Right, {0, 0, 0, 1}, int32_t(t + 2)));
  }
  left.Finish(stop);
  right.Finish(stop);
  const std::vector<Pose> l = left.Take();
  const std::vector<Pose> r = right.Take();
  EXPECT_EQ(left.size(), 0u);
  // A frame's index is its time: 1545 ms of recording hold 47 grid points.
  EXPECT_EQ(l.size(), 47u);
  EXPECT_LE(std::abs(int(l.size()) - int(r.size())), 1);
  for (size_t k = 0; k < l.size(); ++k) {
    const int64_t point = int64_t(k) * 1000 / 30;  // ms, rounded down
    int64_t expected = -1;
    for (int64_t t : times) {
      if (t * 30 >= int64_t(k) * 1000) {
        expected = t;
        break;
      }
    }
    if (expected < 0) expected = times.back();  // after the last pose: repeated
    EXPECT_EQ(l[k].statusByte, expected) << "frame " << k << " at " << point << " ms";
  }
  // The silence is bridged by the first pose after it; after the last pose
  // the freshest one stands in.
  EXPECT_EQ(l[29].statusByte, 970);
  EXPECT_EQ(l[30].statusByte, 1200);
  EXPECT_EQ(l[36].statusByte, 1200);
  EXPECT_EQ(l[37].statusByte, 1235);
  EXPECT_EQ(l[46].statusByte, 1495);
}

TEST(FrameGrid, NoPoseNoFramesAndAResetForgetsTheLastRecording) {
  FrameGrid grid;
  grid.Reset(0);
  grid.Finish(10000000000);
  EXPECT_TRUE(grid.Take().empty());
  grid.Reset(0);
  grid.Add(0, PoseOf(Hand_Left, {0, 0, 0, 1}, 1));
  grid.Reset(1000);
  grid.Add(1000, PoseOf(Hand_Left, {0, 0, 0, 1}, 2));
  const std::vector<Pose> frames = grid.Take();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].statusByte, 2);
}

TEST(FrameGrid, ATakeEndsAtTheStopItWasGivenAndNamesItsSilences) {
  constexpr int64_t kMs = 1000000;
  const int64_t start = 1000 * kMs;
  FrameGrid grid;
  grid.Reset(start);
  // Poses every 5 ms for 1 s, 600 ms of silence, poses up to 2 s, nothing
  // after: the user pressed Stop at 3 s, and chose the file at 5 s while
  // the glove, back again, delivered from 4 s on.
  const int64_t stop = start + 3000 * kMs;
  for (int64_t t = 0; t < 1000; t += 5) grid.Add(start + t * kMs, PoseOf(Hand_Left, {0, 0, 0, 1}, int32_t(t)));
  for (int64_t t = 1600; t <= 2000; t += 5) grid.Add(start + t * kMs, PoseOf(Hand_Left, {0, 0, 0, 1}, int32_t(t)));
  grid.MarkStop(stop);
  for (int64_t t = 4000; t < 5000; t += 5) grid.Add(start + t * kMs, PoseOf(Hand_Left, {0, 0, 0, 1}, int32_t(t)));

  const std::vector<Silence> silences = grid.SilencesUntil(stop);
  ASSERT_EQ(silences.size(), 2u);
  EXPECT_EQ(silences[0].from, 995 * kMs);
  EXPECT_EQ(silences[0].length, 605 * kMs);
  EXPECT_FALSE(silences[0].atEnd);
  // The silence that ran past the stop counts up to the stop only.
  EXPECT_EQ(silences[1].from, 2000 * kMs);
  EXPECT_EQ(silences[1].length, 1000 * kMs);
  EXPECT_TRUE(silences[1].atEnd);

  const std::vector<Pose> frames = grid.TakeUntil(stop);
  // 3 s of take: grid points 0 to 90, none of the poses after the stop.
  ASSERT_EQ(frames.size(), 91u);
  for (const Pose& frame : frames) EXPECT_LT(frame.statusByte, 4000);
  EXPECT_EQ(frames.back().statusByte, 2000) << "the last pose before the stop holds the end";

  // Stop pressed, then the user went back: the recording runs on as if
  // never stopped, the silence bridged by the pose that ended it.
  grid.Reset(start);
  for (int64_t t = 0; t <= 1000; t += 5) grid.Add(start + t * kMs, PoseOf(Hand_Left, {0, 0, 0, 1}, int32_t(t)));
  grid.MarkStop(start + 1500 * kMs);
  grid.Add(start + 2000 * kMs, PoseOf(Hand_Left, {0, 0, 0, 1}, 2000));
  grid.ClearStop();
  grid.Finish(start + 2000 * kMs);
  const std::vector<Pose> goneOn = grid.Take();
  ASSERT_EQ(goneOn.size(), 61u);
  EXPECT_EQ(goneOn[30].statusByte, 1000);
  for (size_t k = 31; k < goneOn.size(); ++k) EXPECT_EQ(goneOn[k].statusByte, 2000) << k;

  // A glove that went before the stop and never came back.
  grid.Reset(start);
  for (int64_t t = 0; t <= 1000; t += 5) grid.Add(start + t * kMs, PoseOf(Hand_Left, {0, 0, 0, 1}, int32_t(t)));
  const std::vector<Silence> atEnd = grid.SilencesUntil(start + 7000 * kMs);
  ASSERT_EQ(atEnd.size(), 1u);
  EXPECT_EQ(atEnd[0].length, 6000 * kMs);
  EXPECT_TRUE(atEnd[0].atEnd);
  EXPECT_EQ(grid.TakeUntil(start + 7000 * kMs).size(), 211u);
  // Short hiccups of the radio are not worth a word.
  grid.Reset(start);
  for (int64_t t = 0; t <= 1000; t += 200) grid.Add(start + t * kMs, PoseOf(Hand_Left, {0, 0, 0, 1}, int32_t(t)));
  EXPECT_TRUE(grid.SilencesUntil(start + 1100 * kMs).empty());
}

TEST(BvhFile, WriteFailuresAreReported) {
  testsupport::TempDir dir;
  EXPECT_FALSE(WriteTextFile(dir.path() + "/missing/take.bvh", "x").empty());
  EXPECT_FALSE(WriteTextFile(dir.path(), "x").empty()) << "a folder is not a file";
  if (std::ifstream("/dev/full")) {
    EXPECT_FALSE(WriteTextFile("/dev/full", std::string(1 << 16, 'x')).empty()) << "a full disk";
  }
  EXPECT_EQ(WriteTextFile(dir.path() + "/take.bvh", "MOTION\n"), "");
  EXPECT_EQ(ReadAll(dir.path() + "/take.bvh"), "MOTION\n");
}

TEST(BvhReader, ReadsOtherHierarchiesAndCrlfFiles) {
  const std::string text =
      "HIERARCHY\r\nROOT Hips\r\n{\r\n  OFFSET 0 90 0\r\n  CHANNELS 6 Xposition Yposition Zposition Zrotation "
      "Xrotation Yrotation\r\n  JOINT Chest\r\n  {\r\n    OFFSET 0 10 0\r\n    CHANNELS 3 Zrotation Xrotation "
      "Yrotation\r\n    End Site\r\n    {\r\n      OFFSET 0 20 0\r\n    }\r\n  }\r\n}\r\nROOT Prop\r\n{\r\n  OFFSET "
      "5 0 0\r\n  CHANNELS 0\r\n}\r\nMOTION\r\nFrames: 2\r\nFrame Time: 0.0083333\r\n"
      "1 2 3 4 5 6 7 8 9\r\n-1 -2 -3 -4 -5 -6 -7 -8 -9\r\n";
  const BvhParseResult parsed = ParseBvh(text);
  ASSERT_TRUE(parsed.ok) << parsed.errorLine << ": " << parsed.error;
  ASSERT_EQ(parsed.file.joints.size(), 4u);
  EXPECT_EQ(parsed.file.joints[3].name, "Prop");
  EXPECT_EQ(parsed.file.joints[3].parent, -1);
  EXPECT_TRUE(parsed.file.joints[2].endSite);
  EXPECT_EQ(parsed.file.channelCount, 9);
  EXPECT_EQ(parsed.file.Value(1, 8), -9);
  EXPECT_EQ(parsed.file.joints[1].firstChannel, 6);
}

TEST(BvhReader, BrokenFilesAreRefusedWithTheLineAndTheReason) {
  const std::string good =
      "HIERARCHY\nROOT A\n{\nOFFSET 0 0 0\nCHANNELS 1 Xrotation\n}\nMOTION\nFrames: 2\n"
      "Frame Time: 0.1\n1\n2\n";
  ASSERT_TRUE(ParseBvh(good).ok);
  const struct {
    std::string text;
    int line;
    const char* says;
  } cases[] = {
      {good.substr(0, good.size() - 2), 11, "ends in frame 2"},
      {"HIERARCHY\nROOT A\n{\nOFFSET 0 x 0\n", 4, "not a number"},
      {"HIERARCHY\nROOT A\n{\nOFFSET 0 0 0\nCHANNELS 2 Xrotation Wobble\n", 5, "not a channel"},
      {"HIERARCHY\nROOT A\n{\nOFFSET 0 0 0\nCHANNELS 0\n", 5, "ends inside joint"},
      {"MOTION\n", 1, "expected \"HIERARCHY\""},
      {good + "3\n", 12, "more values"},
      {"HIERARCHY\nMOTION\nFrames: 0\nFrame Time: 0.1\n", 2, "no ROOT"},
  };
  for (const auto& c : cases) {
    const BvhParseResult parsed = ParseBvh(c.text);
    EXPECT_FALSE(parsed.ok) << c.text;
    EXPECT_EQ(parsed.errorLine, c.line) << c.text << "\n" << parsed.error;
    EXPECT_NE(parsed.error.find(c.says), std::string::npos) << parsed.error;
    EXPECT_TRUE(parsed.file.joints.empty());
  }
}

}  // namespace
}  // namespace recording
}  // namespace ZEMBRA
