// Data packets as the receiver sends them: one burst per read, a "UU" part
// (63 bytes, sensors 0, 2, 3), a "PU" part (70 bytes, sensors 5, 4, 1 and the
// status fields), or both back to back (133 bytes, either order).
//
// Everything here is a pure function over bytes: no I/O, no state, no
// exceptions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ZEMBRA {
namespace protocol {

constexpr size_t kRecordSize = 17;
constexpr size_t kUUPartSize = 63;
constexpr size_t kPUPartSize = 70;
constexpr size_t kMaxReadSize = kUUPartSize + kPUPartSize;  // 133
constexpr int kSensorCount = 6;

enum class PacketKind {
  Rejected,
  PU,    // 70 bytes
  UU,    // 63 bytes
  PUUU,  // 133 bytes, "PU" part first
  UUPU,  // 133 bytes, "UU" part first
};

// Classifies one completed read by its first tag and its length; the tag of
// a second part is never examined.
PacketKind ClassifyRead(const uint8_t* data, size_t size);

// XOR of the record's even-offset bytes 0, 2, ..., 14.
inline uint8_t RecordCheckByte(const uint8_t* record) {
  uint8_t x = 0;
  for (size_t i = 0; i < 16; i += 2) x ^= record[i];
  return x;
}
inline bool RecordCheckOk(const uint8_t* record) { return RecordCheckByte(record) == record[16]; }

// Little-endian float32 at p (the wire's byte order on every host).
inline float ReadFloatLE(const uint8_t* p) {
  const uint32_t bits = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
void WriteFloatLE(float value, uint8_t* p);

// The four little-endian float32 components x, y, z, w of a record, as sent.
struct WireQuat {
  float x, y, z, w;
};
inline WireQuat DecodeRecordComponents(const uint8_t* record) {
  return {ReadFloatLE(record), ReadFloatLE(record + 4), ReadFloatLE(record + 8), ReadFloatLE(record + 12)};
}

// Where each sensor record and the status block sit inside a packet.
struct RecordSlot {
  int sensor;
  size_t offset;
};
struct PacketLayout {
  int recordCount = 0;
  RecordSlot records[kSensorCount] = {};
  bool hasStatus = false;
  size_t statusOffset = 0;  // offset of the status byte; slot value, selector and value follow
};
PacketLayout LayoutOf(PacketKind kind);

// The status block of a "PU" part, sign-extended.
struct StatusFields {
  int32_t statusByte;
  int32_t slotValue;
  int32_t selector;
  float value;
};
StatusFields DecodeStatus(const uint8_t* packet, size_t statusOffset);

// Status table slot of a selector: 3->0, 2->1, 4->2, 1->4, 0->5, any other->3.
int StatusSlotForSelector(int32_t selector);

// One completed read, decoded: the step every read takes on its way from
// the port to a pose engine. A rejected read carries nothing else.
struct DecodedRecord {
  int sensor = 0;          // 0..5: pinky, ring, middle, index, thumb, back of the hand
  WireQuat rotation = {};  // as sent, not normalised
  bool checkOk = false;    // the record's check byte held
};
struct DecodedRead {
  PacketKind kind = PacketKind::Rejected;
  int recordCount = 0;  // 3 or 6
  DecodedRecord records[kSensorCount] = {};
  bool hasStatus = false;
  StatusFields status = {};
  // An accepted read counts as a packet for the link's supervision.
  bool accepted() const { return kind != PacketKind::Rejected; }
};
// Inline: on the per-packet path it then folds into its caller.
inline DecodedRead DecodeRead(const uint8_t* data, size_t size) {
  DecodedRead read;
  read.kind = ClassifyRead(data, size);
  if (!read.accepted()) return read;
  const PacketLayout layout = LayoutOf(read.kind);
  read.recordCount = layout.recordCount;
  for (int r = 0; r < layout.recordCount; ++r) {
    const uint8_t* record = data + layout.records[r].offset;
    read.records[r] = {layout.records[r].sensor, DecodeRecordComponents(record), RecordCheckOk(record)};
  }
  read.hasStatus = layout.hasStatus;
  if (layout.hasStatus) read.status = DecodeStatus(data, layout.statusOffset);
  return read;
}

}  // namespace protocol
}  // namespace ZEMBRA
