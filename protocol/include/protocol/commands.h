// Host-to-receiver command bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace ZEMBRA {
namespace protocol {

constexpr uint8_t kCmdSaveCalibration = 'c';
constexpr uint8_t kCmdVibrate = 'v';
constexpr uint8_t kCmdRssiScan = 's';
constexpr uint8_t kCmdPair = 'p';        // then a channel byte and 8 address bytes, each its own write
constexpr uint8_t kCmdSetChannel = 'j';  // then a channel byte, as a separate write
constexpr uint8_t kCmdKeepAlive = 'b';

constexpr std::string_view kPairingDelimiter = "finished";
constexpr int kPairingAddressBytes = 8;

// A channel travels as the low byte of its number.
constexpr uint8_t ChannelByte(int channel) { return uint8_t(channel & 0xFF); }

// The pairing channel as the receiver is given it: 2 or less gains 2, above
// 100 wraps modulo 100.
constexpr int PairingChannel(int channel) {
  if (channel <= 2) return channel + 2;
  if (channel > 100) return channel % 100;
  return channel;
}

// The ten bytes of a pairing exchange in order: "p", the channel byte, the
// eight address bytes.
std::array<uint8_t, 2 + kPairingAddressBytes> PairingSequence(int channel,
                                                              const std::array<uint8_t, kPairingAddressBytes>& address);

// The channel set-up: 'j' then the channel byte.
constexpr std::array<uint8_t, 2> ChannelSetupSequence(int channel) { return {kCmdSetChannel, ChannelByte(channel)}; }

}  // namespace protocol
}  // namespace ZEMBRA
