// Four quaternions side by side, over either lane type (float32::F4 or
// float64::D4): lane i holds quaternion i, (x, y, z, w) with w last, one
// component per lane vector. These are the blocks both pose engines compute
// alike, written once. Each engine adds, in a namespace of its own, the
// blocks it computes its own way on purpose (making a quaternion from its
// scalars, normalising, the relative rotation, Euler angles, interpolation):
// each keeps the numbers of its own engine.
//
// Every block is the scalar formula applied to every lane with the same
// operations in the same order, so lane i's result is what the scalar
// formula gives for lane i's inputs.
#pragma once

namespace ZEMBRA {
namespace lanes {

template <typename V>
struct Quat4 {
  V x, y, z, w;
};

// Lane i of each component to out[i], a quaternion with members x, y, z, w.
template <typename V, typename Q>
void Store(const Quat4<V>& q, Q* out) {
  decltype(Lane0(q.x)) x[4], y[4], z[4], w[4];
  Store(q.x, x);
  Store(q.y, y);
  Store(q.z, z);
  Store(q.w, w);
  for (int i = 0; i < 4; ++i) out[i] = {x[i], y[i], z[i], w[i]};
}

// Per lane: a where m is set, else b.
template <typename M, typename V>
Quat4<V> Select(M m, const Quat4<V>& a, const Quat4<V>& b) {
  return {Select(m, a.x, b.x), Select(m, a.y, b.y), Select(m, a.z, b.z), Select(m, a.w, b.w)};
}

// Hamilton product.
template <typename V>
Quat4<V> Mul(const Quat4<V>& a, const Quat4<V>& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
          a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

template <typename V>
V Dot(const Quat4<V>& a, const Quat4<V>& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

}  // namespace lanes
}  // namespace ZEMBRA
