// Cuts the bytes a host writes to the receiver into commands. The host
// writes multi-byte commands one byte at a time, so the parser keeps the
// position inside a command between calls. Pure; no I/O.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "protocol/commands.h"

namespace ZEMBRA {
namespace sim {

struct Command {
  enum class Kind {
    KeepAlive,        // 'b'
    Vibrate,          // "v"
    SaveCalibration,  // "c"
    RssiScan,         // "s"
    SetChannel,       // 'j' and its channel byte
    PairingStarted,   // "p": the channel and address follow
    Pair,             // the eighth address byte of a pairing exchange arrived
    Unknown,          // a byte that starts no command
  };
  Kind kind = Kind::Unknown;
  uint8_t byte = 0;                                                  // the byte of an Unknown command
  uint8_t channel = 0;                                               // SetChannel, Pair
  std::array<uint8_t, protocol::kPairingAddressBytes> address = {};  // Pair
};

class CommandParser {
 public:
  // The command the byte completes or starts, if any. The byte after 'j' or
  // "p" is always a channel, even when it happens to be a command letter.
  std::optional<Command> Feed(uint8_t byte);

 private:
  enum class Stage { Idle, ChannelAfterJ, PairingChannel, PairingAddress };
  Stage stage_ = Stage::Idle;
  Command pairing_;
  int addressBytes_ = 0;
};

}  // namespace sim
}  // namespace ZEMBRA
