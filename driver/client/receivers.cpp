#include "driver/client/receivers.h"

#include <algorithm>

#include "driver/discovery/hand_port.h"
#include "platform/port_enum.h"

namespace ZEMBRA {
namespace client {

namespace {

constexpr size_t kMaxPerformerDigits = 2;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<ReceiverTag> ReadReceiverTag(std::string_view instanceId) {
  const size_t left = instanceId.find(discovery::HandTag(Hand_Left));
  const size_t right = instanceId.find(discovery::HandTag(Hand_Right));
  if (left == std::string_view::npos && right == std::string_view::npos) return std::nullopt;
  ReceiverTag tag;
  tag.hand = left < right ? Hand_Left : Hand_Right;
  const size_t at = std::min(left, right) + std::string_view(discovery::HandTag(tag.hand)).size();
  size_t digits = 0;
  while (at + digits < instanceId.size() && IsDigit(instanceId[at + digits])) ++digits;
  if (digits <= kMaxPerformerDigits) {
    for (size_t i = 0; i < digits; ++i) tag.performer = tag.performer * 10 + (instanceId[at + i] - '0');
  }
  return tag;
}

std::vector<Receiver> ListReceivers() {
  std::vector<Receiver> receivers;
  for (const platform::PortEntry& entry : platform::ListSerialPorts()) {
    const std::optional<ReceiverTag> tag = ReadReceiverTag(entry.instance_id);
    if (!tag) continue;
    Receiver receiver;
    receiver.port.port_name = entry.port_name;
    receiver.port.description = entry.description;
    receiver.port.hardware_id = entry.hardware_id;
    receiver.port.instance_id = entry.instance_id;
    receiver.port.baud_rate = kBaudRate;
    receiver.port.hand = tag->hand;
    receiver.hand = tag->hand;
    receiver.performer = tag->performer;
    receiver.serial = entry.instance_id.substr(entry.instance_id.rfind('\\') + 1);
    receivers.push_back(std::move(receiver));
  }
  return receivers;
}

bool PortPresent(const PortInfo& port) {
  for (const platform::PortEntry& entry : platform::ListSerialPorts()) {
    if (entry.port_name == port.port_name && entry.instance_id == port.instance_id) return true;
  }
  return false;
}

}  // namespace client
}  // namespace ZEMBRA
