// The viewer's solid hands: every triangle lies on a bone's capsule, a
// joint's ball or its hand's palm slab, in that hand's colour, with unit
// normals; a bone of no length breaks nothing.
#include "tool/viewer/hand_mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "tests/support/engine_hands.h"

namespace ZEMBRA {
namespace viewer {
namespace {

Vec3 Minus(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Length(const Vec3& a) { return std::sqrt(Dot(a, a)); }

double ToSegment(const Vec3& p, const Vec3& a, const Vec3& b) {
  const Vec3 ab = Minus(b, a);
  const double t = Dot(ab, ab) > 0 ? std::clamp(Dot(Minus(p, a), ab) / Dot(ab, ab), 0.0, 1.0) : 0;
  return Length(Minus(p, Vec3{a.x + ab.x * t, a.y + ab.y * t, a.z + ab.z * t}));
}

Scene PosedScene(const HandSkeleton& skeleton) {
  std::vector<double> frame = skeleton.RestFrame();
  skeleton.PlacePose(testsupport::EngineHand(Hand_Left, 70, 30), Hand_Left, frame);
  skeleton.PlacePose(testsupport::EngineHand(Hand_Right, 20, 50), Hand_Right, frame);
  return skeleton.Build(frame.data());
}

TEST(HandMesh, EveryTriangleLiesOnAShapeOfItsOwnHand) {
  std::ifstream in(ZEMBRA_BONES_FILE, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const recording::BvhParseResult parsed = recording::ParseBvh(text.str() + "MOTION\nFrames: 0\nFrame Time: 0.03\n");
  ASSERT_TRUE(parsed.ok);
  const HandSkeleton skeleton(parsed.file);
  const Scene scene = PosedScene(skeleton);
  const std::vector<MeshVertex> mesh = SceneMesh(scene);
  ASSERT_EQ(mesh.size() % 3, 0u);
  ASSERT_GT(mesh.size(), 3000u);

  size_t onBones = 0, onPalms = 0;
  for (const MeshVertex& v : mesh) {
    const Vec3 p{v.position[0], v.position[1], v.position[2]};
    ASSERT_NEAR(std::sqrt(v.normal[0] * v.normal[0] + v.normal[1] * v.normal[1] + v.normal[2] * v.normal[2]), 1, 1e-4);
    ASSERT_NE(v.side, Side::Other);
    bool found = false;
    for (const SceneBone& b : scene.bones) {
      if (b.inPalm || b.side != v.side) continue;
      if (std::fabs(ToSegment(p, b.from, b.to) - b.radius) < 1e-4) found = true;
      if (b.toEnd && std::fabs(Length(Minus(p, b.to)) - b.radius) < 1e-4) found = true;  // the fingertip
    }
    for (const SceneJoint& j : scene.joints)
      if (j.side == v.side && std::fabs(Length(Minus(p, j.at)) - j.radius) < 1e-4) found = true;
    if (found) {
      ++onBones;
      continue;
    }
    // Otherwise on the palm: within its half thickness of its corners'
    // heights over the wrist (the thumb's root sits a little to the palm's
    // side), and no farther from the wrist than the farthest corner.
    const recording::HandFigure& f = scene.hands[v.side == Side::Left ? 0 : 1].figure;
    const double height = Dot(Minus(p, f.points[0]), f.back);
    double reach = 0, lowest = 0, highest = 0;
    for (const Vec3& corner : f.palm) {
      reach = std::max(reach, Length(Minus(corner, f.points[0])));
      lowest = std::min(lowest, Dot(Minus(corner, f.points[0]), f.back));
      highest = std::max(highest, Dot(Minus(corner, f.points[0]), f.back));
    }
    EXPECT_LE(height, highest + f.radius * 1.01) << "a vertex off every shape of its hand";
    EXPECT_GE(height, lowest - f.radius * 1.01) << "a vertex off every shape of its hand";
    EXPECT_LE(Length(Minus(p, f.points[0])), reach + f.radius * 1.2);
    ++onPalms;
  }
  EXPECT_GT(onBones, mesh.size() / 2);
  EXPECT_GT(onPalms, 100u);

  // A bone of no length: no number that is not one.
  Scene tiny;
  tiny.bones.push_back({{1, 1, 1}, {1, 1, 1}, Side::Left, 0.5, false, true});
  for (const MeshVertex& v : SceneMesh(tiny))
    for (float x : {v.position[0], v.position[1], v.position[2], v.normal[0], v.normal[1], v.normal[2]})
      ASSERT_TRUE(std::isfinite(x));
}

}  // namespace
}  // namespace viewer
}  // namespace ZEMBRA
