// Builds the byte bursts a glove's receiver sends: 17-byte quaternion records
// with their check byte, "UU" (63), "PU" (70) and combined (133) reads. The
// offsets are written out here on their own, not taken from the codec, so
// that tests built on these bytes check the codec's layout as well.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "zembra/Pose.h"

namespace ZEMBRA {
namespace testsupport {

enum class Burst { UU, PU, UUPU, PUUU };

struct StatusBlock {
  int8_t statusByte = 0;
  int8_t slotValue = 0;
  int8_t selector = 0;
  float value = 0.0f;
};

using Sensors = std::array<Quat, 6>;

inline void PutFloatLE(float value, uint8_t* at) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  at[0] = uint8_t(bits);
  at[1] = uint8_t(bits >> 8);
  at[2] = uint8_t(bits >> 16);
  at[3] = uint8_t(bits >> 24);
}

inline uint8_t EvenByteXor(const uint8_t* record) {
  return uint8_t(record[0] ^ record[2] ^ record[4] ^ record[6] ^ record[8] ^ record[10] ^ record[12] ^ record[14]);
}

// x, y, z, w little-endian, then the XOR of the eight even-offset bytes.
inline void PutRecord(const Quat& q, uint8_t* at) {
  PutFloatLE(q.x, at);
  PutFloatLE(q.y, at + 4);
  PutFloatLE(q.z, at + 8);
  PutFloatLE(q.w, at + 12);
  at[16] = EvenByteXor(at);
}

// Record offsets inside each part.
constexpr size_t kUUSensor0 = 2, kUUSensor2 = 23, kUUSensor3 = 44;
constexpr size_t kPUSensor5 = 2, kPUSensor4 = 23, kPUSensor1 = 51;
constexpr size_t kPUStatusByte = 42, kPUSlotValue = 43, kPUSelector = 44, kPUStatusValue = 45;

// Filler for the bytes no field uses, so that a decoder reading them shows.
constexpr uint8_t kFiller = 0xA5;

inline void PutUU(const Sensors& s, uint8_t* part) {
  part[0] = 'U';
  part[1] = 'U';
  PutRecord(s[0], part + kUUSensor0);
  PutRecord(s[2], part + kUUSensor2);
  PutRecord(s[3], part + kUUSensor3);
}

inline void PutPU(const Sensors& s, const StatusBlock& status, uint8_t* part) {
  part[0] = 'P';
  part[1] = 'U';
  PutRecord(s[5], part + kPUSensor5);
  PutRecord(s[4], part + kPUSensor4);
  part[kPUStatusByte] = uint8_t(status.statusByte);
  part[kPUSlotValue] = uint8_t(status.slotValue);
  part[kPUSelector] = uint8_t(status.selector);
  PutFloatLE(status.value, part + kPUStatusValue);
  PutRecord(s[1], part + kPUSensor1);
}

inline std::vector<uint8_t> BuildBurst(Burst kind, const Sensors& s, const StatusBlock& status = {}) {
  std::vector<uint8_t> bytes;
  switch (kind) {
    case Burst::UU:
      bytes.assign(63, kFiller);
      PutUU(s, bytes.data());
      break;
    case Burst::PU:
      bytes.assign(70, kFiller);
      PutPU(s, status, bytes.data());
      break;
    case Burst::UUPU:
      bytes.assign(133, kFiller);
      PutUU(s, bytes.data());
      PutPU(s, status, bytes.data() + 63);
      break;
    case Burst::PUUU:
      bytes.assign(133, kFiller);
      PutPU(s, status, bytes.data());
      PutUU(s, bytes.data() + 70);
      break;
  }
  return bytes;
}

// Offset of sensor's record inside a burst of the given kind, or -1 when the
// burst does not carry it.
inline long RecordOffset(Burst kind, int sensor) {
  const long uu[6] = {long(kUUSensor0), -1, long(kUUSensor2), long(kUUSensor3), -1, -1};
  const long pu[6] = {-1, long(kPUSensor1), -1, -1, long(kPUSensor4), long(kPUSensor5)};
  switch (kind) {
    case Burst::UU:
      return uu[sensor];
    case Burst::PU:
      return pu[sensor];
    case Burst::UUPU:
      return uu[sensor] >= 0 ? uu[sensor] : 63 + pu[sensor];
    case Burst::PUUU:
      return pu[sensor] >= 0 ? pu[sensor] : 70 + uu[sensor];
  }
  return -1;
}

}  // namespace testsupport
}  // namespace ZEMBRA
