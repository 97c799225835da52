// The VMC messages of one send to a receiving application, as plain values:
// "/VMC/Ext/OK" (int 1), "/VMC/Ext/T" (float seconds), then one
// "/VMC/Ext/Bone/Pos" (string name; float px py pz; float qx qy qz qw) per
// bone. Pure: what goes out is decided here; vmc_sender.h puts it on the
// wire with liblo, as one bundle or message by message.
#pragma once

#include <string>
#include <vector>

#include "stream/vmc_bones.h"

namespace ZEMBRA {
namespace stream {

struct OscArgument {
  char type = 'f';  // 'i', 'f' or 's'
  int i = 0;
  float f = 0;
  std::string s;
};

struct OscMessage {
  std::string address;
  std::vector<OscArgument> arguments;
};

constexpr const char* kVmcAvailable = "/VMC/Ext/OK";
constexpr const char* kVmcTime = "/VMC/Ext/T";
constexpr const char* kVmcBone = "/VMC/Ext/Bone/Pos";

// seconds: since the server started.
std::vector<OscMessage> VmcMessages(float seconds, const std::vector<Bone>& bones);

}  // namespace stream
}  // namespace ZEMBRA
