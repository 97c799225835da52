// Builds the glove's data bursts byte for byte: a "UU" part (sensors 0, 2, 3)
// followed by a "PU" part (sensors 5, 4, 1 and the status block), 133 bytes.
// Pure functions; no I/O.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/packet.h"
#include "sim/sensor_encoding.h"

namespace ZEMBRA {
namespace sim {

using Burst = std::array<uint8_t, protocol::kMaxReadSize>;

struct BurstStatus {
  int8_t statusByte;
  int8_t slotValue;
  int8_t selector;
  float value;
};

// The float status value carries the burst's sequence number modulo 2^24,
// the range in which a float holds every integer exactly, so a decoded pose
// (its statusValue) names the burst it came from. The selector cycles
// through 0..5 with a fixed slot value per selector.
constexpr uint64_t kSequenceModulus = uint64_t(1) << 24;
BurstStatus StatusForBurst(uint64_t sequence);
int8_t SlotValueForSelector(int8_t selector);
constexpr int8_t kStatusByte = 100;

// Sequence number (modulo 2^24) read back from a pose's status value.
inline uint64_t SequenceFromStatusValue(double statusValue) { return uint64_t(statusValue) % kSequenceModulus; }

// One 17-byte record: x, y, z, w little-endian float32, then the check byte.
void WriteRecord(const protocol::WireQuat& q, uint8_t* record);

// out must hold kUUPartSize / kPUPartSize bytes. Unused bytes are zero.
void BuildUUPart(const SensorQuats& sensors, uint8_t* out);
void BuildPUPart(const SensorQuats& sensors, const BurstStatus& status, uint8_t* out);

Burst BuildBurst(const SensorQuats& sensors, const BurstStatus& status);

// Offset of a sensor's record inside a burst from BuildBurst.
size_t RecordOffsetInBurst(int sensor);

// Spoils the check byte of one sensor's record, leaving the rest intact.
void CorruptCheckByte(Burst& burst, int sensor);

}  // namespace sim
}  // namespace ZEMBRA
