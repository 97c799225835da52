#include "sim/command_parser.h"

namespace ZEMBRA {
namespace sim {

std::optional<Command> CommandParser::Feed(uint8_t byte) {
  Command command;
  switch (stage_) {
    case Stage::ChannelAfterJ:
      stage_ = Stage::Idle;
      command.kind = Command::Kind::SetChannel;
      command.channel = byte;
      return command;
    case Stage::PairingChannel:
      pairing_ = Command();
      pairing_.kind = Command::Kind::Pair;
      pairing_.channel = byte;
      addressBytes_ = 0;
      stage_ = Stage::PairingAddress;
      return std::nullopt;
    case Stage::PairingAddress:
      pairing_.address[size_t(addressBytes_++)] = byte;
      if (addressBytes_ < protocol::kPairingAddressBytes) return std::nullopt;
      stage_ = Stage::Idle;
      return pairing_;
    case Stage::Idle:
      break;
  }
  switch (byte) {
    case protocol::kCmdKeepAlive:
      command.kind = Command::Kind::KeepAlive;
      break;
    case protocol::kCmdVibrate:
      command.kind = Command::Kind::Vibrate;
      break;
    case protocol::kCmdSaveCalibration:
      command.kind = Command::Kind::SaveCalibration;
      break;
    case protocol::kCmdRssiScan:
      command.kind = Command::Kind::RssiScan;
      break;
    case protocol::kCmdSetChannel:
      stage_ = Stage::ChannelAfterJ;
      return std::nullopt;
    case protocol::kCmdPair:
      stage_ = Stage::PairingChannel;
      command.kind = Command::Kind::PairingStarted;
      break;
    default:
      command.kind = Command::Kind::Unknown;
      command.byte = byte;
      break;
  }
  return command;
}

}  // namespace sim
}  // namespace ZEMBRA
