#include "protocol/packet.h"

#include <cstring>

namespace ZEMBRA {
namespace protocol {

namespace {

bool StartsWith(const uint8_t* data, size_t size, char a, char b) {
  return size >= 2 && data[0] == uint8_t(a) && data[1] == uint8_t(b);
}

void AddUUPart(PacketLayout& layout, size_t base) {
  layout.records[layout.recordCount++] = {0, base + 2};
  layout.records[layout.recordCount++] = {2, base + 23};
  layout.records[layout.recordCount++] = {3, base + 44};
}

void AddPUPart(PacketLayout& layout, size_t base) {
  layout.records[layout.recordCount++] = {5, base + 2};
  layout.records[layout.recordCount++] = {4, base + 23};
  layout.records[layout.recordCount++] = {1, base + 51};
  layout.hasStatus = true;
  layout.statusOffset = base + 42;
}

}  // namespace

PacketKind ClassifyRead(const uint8_t* data, size_t size) {
  if (StartsWith(data, size, 'P', 'U')) {
    if (size == kPUPartSize) return PacketKind::PU;
    if (size == kMaxReadSize) return PacketKind::PUUU;
    return PacketKind::Rejected;
  }
  if (StartsWith(data, size, 'U', 'U')) {
    if (size == kUUPartSize) return PacketKind::UU;
    if (size == kMaxReadSize) return PacketKind::UUPU;
  }
  return PacketKind::Rejected;
}

void WriteFloatLE(float value, uint8_t* p) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(bits >> (8 * i));
}

PacketLayout LayoutOf(PacketKind kind) {
  PacketLayout layout;
  switch (kind) {
    case PacketKind::PU:
      AddPUPart(layout, 0);
      break;
    case PacketKind::UU:
      AddUUPart(layout, 0);
      break;
    case PacketKind::PUUU:
      AddPUPart(layout, 0);
      AddUUPart(layout, kPUPartSize);
      break;
    case PacketKind::UUPU:
      AddUUPart(layout, 0);
      AddPUPart(layout, kUUPartSize);
      break;
    case PacketKind::Rejected:
      break;
  }
  return layout;
}

StatusFields DecodeStatus(const uint8_t* packet, size_t statusOffset) {
  const uint8_t* s = packet + statusOffset;
  return {int32_t(int8_t(s[0])), int32_t(int8_t(s[1])), int32_t(int8_t(s[2])), ReadFloatLE(s + 3)};
}

int StatusSlotForSelector(int32_t selector) {
  switch (selector) {
    case 3:
      return 0;
    case 2:
      return 1;
    case 4:
      return 2;
    case 1:
      return 4;
    case 0:
      return 5;
    default:
      return 3;
  }
}

}  // namespace protocol
}  // namespace ZEMBRA
