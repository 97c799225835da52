#include "tool/recording/bvh_pose.h"

#include <cmath>

namespace ZEMBRA {
namespace recording {

namespace {

constexpr double kPi = 3.141592653589793;

// A rotation and a translation: x -> r x + t.
struct Transform {
  double r[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  double t[3] = {0, 0, 0};
};

Transform Multiply(const Transform& a, const Transform& b) {
  Transform m;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      m.r[i][j] = 0;
      for (int k = 0; k < 3; ++k) m.r[i][j] += a.r[i][k] * b.r[k][j];
    }
    m.t[i] = a.t[i];
    for (int k = 0; k < 3; ++k) m.t[i] += a.r[i][k] * b.t[k];
  }
  return m;
}

Transform Channel(BvhChannel channel, double value) {
  Transform m;
  const double a = value * kPi / 180, c = std::cos(a), s = std::sin(a);
  switch (channel) {
    case BvhChannel::Xposition:
      m.t[0] = value;
      break;
    case BvhChannel::Yposition:
      m.t[1] = value;
      break;
    case BvhChannel::Zposition:
      m.t[2] = value;
      break;
    case BvhChannel::Xrotation:
      m = Transform{{{1, 0, 0}, {0, c, -s}, {0, s, c}}, {0, 0, 0}};
      break;
    case BvhChannel::Yrotation:
      m = Transform{{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}, {0, 0, 0}};
      break;
    case BvhChannel::Zrotation:
      m = Transform{{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}, {0, 0, 0}};
      break;
  }
  return m;
}

}  // namespace

std::vector<Vec3> JointPositions(const BvhFile& file, const double* frame) {
  std::vector<Transform> world(file.joints.size());
  std::vector<Vec3> at(file.joints.size());
  for (size_t j = 0; j < file.joints.size(); ++j) {
    const BvhJoint& joint = file.joints[j];
    Transform local;
    for (int i = 0; i < 3; ++i) local.t[i] = joint.offset[size_t(i)];
    for (size_t c = 0; c < joint.channels.size(); ++c)
      local = Multiply(local, Channel(joint.channels[c], frame[size_t(joint.firstChannel) + c]));
    // The reader puts parents before their children.
    world[j] = joint.parent < 0 ? local : Multiply(world[size_t(joint.parent)], local);
    at[j] = {world[j].t[0], world[j].t[1], world[j].t[2]};
  }
  return at;
}

double JointTurn(const BvhJoint& joint, const double* frame) {
  Transform turn;
  for (size_t c = 0; c < joint.channels.size(); ++c)
    turn = Multiply(turn, Channel(joint.channels[c], frame[size_t(joint.firstChannel) + c]));
  // Positions leave r alone; its trace gives the angle of the rotation.
  const double cosine = (turn.r[0][0] + turn.r[1][1] + turn.r[2][2] - 1) / 2;
  return std::acos(std::fmax(-1.0, std::fmin(1.0, cosine))) * 180 / kPi;
}

int FindJoint(const BvhFile& file, std::string_view name) {
  for (size_t j = 0; j < file.joints.size(); ++j)
    if (file.joints[j].name == name) return int(j);
  return -1;
}

}  // namespace recording
}  // namespace ZEMBRA
