// Arbitrary bytes into the pose engine, as a stream of reads with the
// client's calls in between. Input layout:
//   byte 0: bits 0-1 the hand (left, right, 0, 7), bit 2 advanced mode;
//   then items: a length byte n followed by n bytes (one read; n is cut to
//   what is left), or 0xFF to align the fingers, or 0xFE to toggle the mode.
// Besides crashes and sanitizer reports it stops when a delivered pose holds
// a non-finite or non-unit joint, when the outcome disagrees with the
// classifier or the validity gate, or when the status fields differ from the
// bytes that carried them.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "driver/pose/pose_engine.h"

namespace {

using ZEMBRA::HandType;
using ZEMBRA::Pose;
using ZEMBRA::Quat;
using ZEMBRA::pose::PoseEngine;

void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "broken rule: %s\n", what);
  std::abort();
}

float FloatLE(const uint8_t* p) {
  const uint32_t bits = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// What the glove last sent in its status block, decoded here on its own.
struct StatusShadow {
  int32_t table[6] = {};
  int32_t statusByte = 0;
  float value = 0.0f;

  void Take(const uint8_t* block) {
    statusByte = int8_t(block[0]);
    const int8_t selector = int8_t(block[2]);
    int slot = 3;
    if (selector == 3) slot = 0;
    if (selector == 2) slot = 1;
    if (selector == 4) slot = 2;
    if (selector == 1) slot = 4;
    if (selector == 0) slot = 5;
    table[slot] = int8_t(block[1]);
    value = FloatLE(block + 3);
  }
};

bool Unit(const Quat& q, double tolerance) {
  const double n = double(q.x) * q.x + double(q.y) * q.y + double(q.z) * q.z + double(q.w) * q.w;
  return std::isfinite(n) && std::fabs(n - 1.0) < tolerance;
}

bool SensorPassesGate(const Quat& q) {
  const float n = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
  return std::fabs(double(n) - 1.0) < 1e-6;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const HandType hands[4] = {ZEMBRA::Hand_Left, ZEMBRA::Hand_Right, HandType(0), HandType(7)};
  const HandType hand = hands[data[0] & 3];
  PoseEngine engine;
  engine.SetHand(hand);
  bool advanced = (data[0] & 4) != 0;
  engine.SetAdvancedMode(advanced);
  StatusShadow status;
  std::ostringstream sink;

  size_t at = 1;
  while (at < size) {
    const uint8_t item = data[at++];
    if (item == 0xFF) {
      sink.str(std::string());
      engine.AlignFingers(sink);
      for (int f = 0; f < 4; ++f) Require(Unit(engine.Alignment(f), 1e-3), "alignment stays a unit rotation");
      continue;
    }
    if (item == 0xFE) {
      advanced = !advanced;
      engine.SetAdvancedMode(advanced);
      continue;
    }
    const size_t n = item < size - at ? item : size - at;
    const uint8_t* read = data + at;
    at += n;

    const bool pu = n >= 2 && read[0] == 'P' && read[1] == 'U';
    const bool uu = n >= 2 && read[0] == 'U' && read[1] == 'U';
    const bool accepted = (pu && (n == 70 || n == 133)) || (uu && (n == 63 || n == 133));
    if (accepted && pu) status.Take(read + 42);
    if (accepted && uu && n == 133) status.Take(read + 63 + 42);

    Pose pose;
    std::memset(&pose, 0, sizeof pose);
    const PoseEngine::Outcome outcome = engine.ProcessPacket(read, n, pose);
    Require((outcome != PoseEngine::Outcome::Rejected) == accepted, "outcome follows the classifier");
    if (outcome == PoseEngine::Outcome::Rejected) continue;

    bool allUnit = true;
    for (int s = 0; s < 6; ++s) allUnit = allUnit && SensorPassesGate(engine.RawSensor(s));
    Require((outcome == PoseEngine::Outcome::Pose) == allUnit, "a pose exactly when every sensor passes the gate");
    if (outcome != PoseEngine::Outcome::Pose) continue;

    // Every sensor passed the gate, so every input to the joints was a
    // finite unit rotation: the joints must be too.
    for (int j = 0; j < ZEMBRA::Joint_Count; ++j)
      Require(Unit(pose.joints[j], 1e-3), "joint is a finite unit rotation");
    for (int f = 0; f < 5; ++f) Require(std::isfinite(engine.FingerValue(f)), "finger value is finite");
    Require(pose.type == hand, "pose carries the hand");
    for (int k = 0; k < 6; ++k) Require(pose.statusTable[k] == status.table[k], "status table as sent");
    Require(pose.statusByte == status.statusByte, "status byte as sent");
    const double widened = double(status.value);
    Require(std::memcmp(&pose.statusValue, &widened, sizeof widened) == 0 ||
                (std::isnan(pose.statusValue) && std::isnan(widened)),
            "status value as sent, widened");
  }
  return 0;
}
