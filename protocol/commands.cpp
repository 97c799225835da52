#include "protocol/commands.h"

namespace ZEMBRA {
namespace protocol {

std::array<uint8_t, 2 + kPairingAddressBytes> PairingSequence(
    int channel, const std::array<uint8_t, kPairingAddressBytes>& address) {
  std::array<uint8_t, 2 + kPairingAddressBytes> bytes{};
  bytes[0] = kCmdPair;
  bytes[1] = ChannelByte(PairingChannel(channel));
  for (int i = 0; i < kPairingAddressBytes; ++i) bytes[2 + i] = address[i];
  return bytes;
}

}  // namespace protocol
}  // namespace ZEMBRA
