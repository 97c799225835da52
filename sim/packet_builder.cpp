#include "sim/packet_builder.h"

#include <algorithm>
#include <stdexcept>

namespace ZEMBRA {
namespace sim {

namespace {

void WriteTag(uint8_t* out, char a, char b) {
  out[0] = uint8_t(a);
  out[1] = uint8_t(b);
}

// Record offsets come from the driver-side layout tables, so the builder
// and the decoder cannot drift apart on where a sensor lives.
void WriteRecords(const protocol::PacketLayout& layout, const SensorQuats& sensors, uint8_t* out) {
  for (int r = 0; r < layout.recordCount; ++r) {
    WriteRecord(sensors[size_t(layout.records[r].sensor)], out + layout.records[r].offset);
  }
}

}  // namespace

int8_t SlotValueForSelector(int8_t selector) {
  // Arbitrary but distinct per selector, negative ones included, so a
  // wrong slot mapping or a lost sign extension shows up.
  static constexpr int8_t kValues[6] = {87, -3, 42, 5, -120, 17};
  return kValues[size_t(selector) % 6];
}

BurstStatus StatusForBurst(uint64_t sequence) {
  const int8_t selector = int8_t(sequence % 6);
  return {kStatusByte, SlotValueForSelector(selector), selector, float(sequence % kSequenceModulus)};
}

void WriteRecord(const protocol::WireQuat& q, uint8_t* record) {
  protocol::WriteFloatLE(q.x, record);
  protocol::WriteFloatLE(q.y, record + 4);
  protocol::WriteFloatLE(q.z, record + 8);
  protocol::WriteFloatLE(q.w, record + 12);
  record[16] = protocol::RecordCheckByte(record);
}

void BuildUUPart(const SensorQuats& sensors, uint8_t* out) {
  std::fill(out, out + protocol::kUUPartSize, uint8_t(0));
  WriteTag(out, 'U', 'U');
  WriteRecords(protocol::LayoutOf(protocol::PacketKind::UU), sensors, out);
}

void BuildPUPart(const SensorQuats& sensors, const BurstStatus& status, uint8_t* out) {
  std::fill(out, out + protocol::kPUPartSize, uint8_t(0));
  WriteTag(out, 'P', 'U');
  const protocol::PacketLayout layout = protocol::LayoutOf(protocol::PacketKind::PU);
  WriteRecords(layout, sensors, out);
  uint8_t* s = out + layout.statusOffset;
  s[0] = uint8_t(status.statusByte);
  s[1] = uint8_t(status.slotValue);
  s[2] = uint8_t(status.selector);
  protocol::WriteFloatLE(status.value, s + 3);
}

Burst BuildBurst(const SensorQuats& sensors, const BurstStatus& status) {
  Burst burst;
  BuildUUPart(sensors, burst.data());
  BuildPUPart(sensors, status, burst.data() + protocol::kUUPartSize);
  return burst;
}

size_t RecordOffsetInBurst(int sensor) {
  const protocol::PacketLayout layout = protocol::LayoutOf(protocol::PacketKind::UUPU);
  for (int r = 0; r < layout.recordCount; ++r) {
    if (layout.records[r].sensor == sensor) return layout.records[r].offset;
  }
  throw std::out_of_range("no such sensor in a burst");
}

void CorruptCheckByte(Burst& burst, int sensor) {
  burst[RecordOffsetInBurst(sensor) + protocol::kRecordSize - 1] ^= 0xA5;
}

}  // namespace sim
}  // namespace ZEMBRA
