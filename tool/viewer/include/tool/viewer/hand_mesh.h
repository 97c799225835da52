// The solid shapes the hand viewer draws for a Scene, as triangles: each
// bone a capsule (a cylinder with a ball at each end) of its radius, each
// joint a ball, and each hand's palm a slab through the corners of its
// figure, as thick as two finger bones. Pure: no Qt, no GL.
#pragma once

#include <vector>

#include "tool/viewer/hand_scene.h"

namespace ZEMBRA {
namespace viewer {

struct MeshVertex {
  float position[3];
  float normal[3];  // unit, out of the surface
  Side side;
};

// Every three vertices are a triangle.
std::vector<MeshVertex> SceneMesh(const Scene& scene);

}  // namespace viewer
}  // namespace ZEMBRA
