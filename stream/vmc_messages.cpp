#include "stream/vmc_messages.h"

namespace ZEMBRA {
namespace stream {

namespace {

OscArgument Float(float value) {
  OscArgument a;
  a.f = value;
  return a;
}

}  // namespace

std::vector<OscMessage> VmcMessages(float seconds, const std::vector<Bone>& bones) {
  std::vector<OscMessage> messages;
  messages.reserve(2 + bones.size());
  OscArgument loaded;
  loaded.type = 'i';
  loaded.i = 1;
  messages.push_back({kVmcAvailable, {loaded}});
  messages.push_back({kVmcTime, {Float(seconds)}});
  for (const Bone& bone : bones) {
    OscMessage m{kVmcBone, {}};
    m.arguments.reserve(8);
    OscArgument name;
    name.type = 's';
    name.s = bone.name;
    m.arguments.push_back(std::move(name));
    for (float v : {bone.position.x, bone.position.y, bone.position.z, bone.rotation.x, bone.rotation.y,
                    bone.rotation.z, bone.rotation.w})
      m.arguments.push_back(Float(v));
    messages.push_back(std::move(m));
  }
  return messages;
}

}  // namespace stream
}  // namespace ZEMBRA
