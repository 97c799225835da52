#include "steamvr/placement/placement.h"

namespace ZEMBRA {
namespace placement {

namespace {

bool Named(const TrackedDevice& device, const std::string& serial) {
  return !serial.empty() && device.serial == serial;
}

int FindSerial(const std::vector<TrackedDevice>& devices, const std::string& serial) {
  for (const TrackedDevice& device : devices)
    if (device.connected && Named(device, serial)) return int(device.index);
  return kNoTracker;
}

}  // namespace

TrackerChoice ChooseTrackers(const std::vector<TrackedDevice>& devices, const std::string& leftSerial,
                             const std::string& rightSerial) {
  TrackerChoice choice;
  if (!leftSerial.empty()) choice.left = FindSerial(devices, leftSerial);
  if (!rightSerial.empty()) choice.right = FindSerial(devices, rightSerial);
  const auto free = [&](const TrackedDevice& d) {
    return d.connected && d.genericTracker && !Named(d, leftSerial) && !Named(d, rightSerial);
  };
  if (leftSerial.empty()) {
    for (const TrackedDevice& d : devices)
      if (free(d) && (choice.left == kNoTracker || int(d.index) < choice.left)) choice.left = int(d.index);
  }
  if (rightSerial.empty()) {
    for (const TrackedDevice& d : devices)
      if (free(d) && int(d.index) != choice.left && int(d.index) > choice.right) choice.right = int(d.index);
  }
  return choice;
}

WristOffset DefaultWristOffset(HandType hand) {
  // The wrist's axes in the tracker's frame: fingers (z) along the
  // tracker's y; the right palm (x) along the tracker's z, into the wrist,
  // and the left back of the hand against it; the thumb (y) then across.
  WristOffset offset;
  offset.z = 0.025;
  offset.rotateX = -90;
  offset.rotateZ = hand == Hand_Right ? -90 : 90;
  return offset;
}

rigid::Transform ToTransform(const WristOffset& offset) {
  return {{offset.x, offset.y, offset.z}, rigid::FromXyzDegrees(offset.rotateX, offset.rotateY, offset.rotateZ)};
}

rigid::Transform TrackerToDevice(const WristOffset& offset, const rigid::Transform& rootToWrist) {
  return ToTransform(offset) * rigid::Inverse(rootToWrist);
}

Motion FollowTracker(const Motion& tracker, const rigid::Transform& trackerToDevice) {
  Motion device;
  device.pose = tracker.pose * trackerToDevice;
  const rigid::Vec3 lever = device.pose.position - tracker.pose.position;
  device.velocity = tracker.velocity + rigid::Cross(tracker.angularVelocity, lever);
  device.angularVelocity = tracker.angularVelocity;
  return device;
}

}  // namespace placement
}  // namespace ZEMBRA
