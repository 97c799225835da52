// Where the joints of a BVH hierarchy are in one frame (forward
// kinematics): each joint's offset and channels, applied in the file's
// channel order, below its parent. Pure: a parsed file and one frame's
// values in, positions out.
#pragma once

#include <string_view>
#include <vector>

#include "tool/recording/bvh_reader.h"

namespace ZEMBRA {
namespace recording {

struct Vec3 {
  double x = 0, y = 0, z = 0;
};

// The position of every entry of file.joints (End Sites included), in the
// same order. frame holds file.channelCount values.
std::vector<Vec3> JointPositions(const BvhFile& file, const double* frame);

// How far a joint is turned against its parent in a frame: the angle, in
// degrees (0 to 180), of the rotation its channels make.
double JointTurn(const BvhJoint& joint, const double* frame);

// Index of the first joint called name, or -1.
int FindJoint(const BvhFile& file, std::string_view name);

}  // namespace recording
}  // namespace ZEMBRA
