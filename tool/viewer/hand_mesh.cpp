#include "tool/viewer/hand_mesh.h"

#include <cmath>

namespace ZEMBRA {
namespace viewer {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr int kAround = 12;  // sides of a cylinder, and meridians of a ball
constexpr int kRings = 6;    // parallels of a ball, pole to pole

Vec3 Plus(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 Minus(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 Times(const Vec3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec3 Unit(const Vec3& a) {
  const double n = std::sqrt(Dot(a, a));
  return n > 0 ? Times(a, 1 / n) : Vec3{0, 0, 1};
}

class Builder {
 public:
  explicit Builder(std::vector<MeshVertex>& out) : out_(out) {}

  void Triangle(const Vec3 (&p)[3], const Vec3 (&n)[3], Side side) {
    for (int i = 0; i < 3; ++i)
      out_.push_back(
          {{float(p[i].x), float(p[i].y), float(p[i].z)}, {float(n[i].x), float(n[i].y), float(n[i].z)}, side});
  }

  void Ball(const Vec3& centre, double radius, Side side) {
    const auto at = [&](int ring, int around) {
      const double theta = kPi * ring / kRings, phi = 2 * kPi * around / kAround;
      return Vec3{std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
    };
    for (int r = 0; r < kRings; ++r) {
      for (int a = 0; a < kAround; ++a) {
        const Vec3 n00 = at(r, a), n01 = at(r, a + 1), n10 = at(r + 1, a), n11 = at(r + 1, a + 1);
        const auto p = [&](const Vec3& n) { return Plus(centre, Times(n, radius)); };
        if (r > 0) Triangle({p(n00), p(n01), p(n11)}, {n00, n01, n11}, side);
        if (r < kRings - 1) Triangle({p(n00), p(n11), p(n10)}, {n00, n11, n10}, side);
      }
    }
  }

  void Cylinder(const Vec3& from, const Vec3& to, double radius, Side side) {
    const Vec3 axis = Unit(Minus(to, from));
    const Vec3 any = std::fabs(axis.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
    const Vec3 u = Unit(Cross(axis, any)), v = Cross(axis, u);
    const auto rim = [&](int around) {
      const double phi = 2 * kPi * around / kAround;
      return Plus(Times(u, std::cos(phi)), Times(v, std::sin(phi)));
    };
    for (int a = 0; a < kAround; ++a) {
      const Vec3 n0 = rim(a), n1 = rim(a + 1);
      const Vec3 f0 = Plus(from, Times(n0, radius)), f1 = Plus(from, Times(n1, radius));
      const Vec3 t0 = Plus(to, Times(n0, radius)), t1 = Plus(to, Times(n1, radius));
      Triangle({f0, f1, t1}, {n0, n1, n1}, side);
      Triangle({f0, t1, t0}, {n0, n1, n0}, side);
    }
  }

  // A flat polygon (corners in order round it) made thick: both faces
  // fanned from the centre, and the rim.
  void Slab(const Vec3* corners, int count, const Vec3& normal, double thickness, Side side) {
    Vec3 centre;
    for (int i = 0; i < count; ++i) centre = Plus(centre, corners[i]);
    centre = Times(centre, 1.0 / count);
    const Vec3 half = Times(normal, thickness / 2), down = Times(normal, -1);
    for (int i = 0; i < count; ++i) {
      const Vec3& a = corners[i];
      const Vec3& b = corners[(i + 1) % count];
      Triangle({Plus(centre, half), Plus(a, half), Plus(b, half)}, {normal, normal, normal}, side);
      Triangle({Minus(centre, half), Minus(b, half), Minus(a, half)}, {down, down, down}, side);
      const Vec3 out = Unit(Cross(Minus(b, a), normal));
      // Whichever way round the corners go, the rim faces away from the centre.
      const Vec3 rim = Dot(out, Minus(a, centre)) >= 0 ? out : Times(out, -1);
      Triangle({Plus(a, half), Minus(a, half), Minus(b, half)}, {rim, rim, rim}, side);
      Triangle({Plus(a, half), Minus(b, half), Plus(b, half)}, {rim, rim, rim}, side);
    }
  }

 private:
  std::vector<MeshVertex>& out_;
};

}  // namespace

std::vector<MeshVertex> SceneMesh(const Scene& scene) {
  std::vector<MeshVertex> mesh;
  Builder build(mesh);
  for (const SceneBone& bone : scene.bones) {
    if (bone.inPalm) continue;
    build.Cylinder(bone.from, bone.to, bone.radius, bone.side);
    // The other ends are joints, drawn below.
    if (bone.toEnd) build.Ball(bone.to, bone.radius, bone.side);
  }
  for (const SceneJoint& joint : scene.joints) build.Ball(joint.at, joint.radius, joint.side);
  for (int h = 0; h < 2; ++h) {
    const HandInfo& hand = scene.hands[h];
    if (!hand.present) continue;
    const recording::HandFigure& f = hand.figure;
    build.Slab(f.palm.data(), int(f.palm.size()), f.back, 2 * f.radius, h == 0 ? Side::Left : Side::Right);
  }
  return mesh;
}

}  // namespace viewer
}  // namespace ZEMBRA
