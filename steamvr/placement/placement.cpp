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

TrackerAssignment::TrackerAssignment(std::string leftSerial, std::string rightSerial)
    : leftSerial_(std::move(leftSerial)), rightSerial_(std::move(rightSerial)) {}

TrackerChoice TrackerAssignment::Update(const std::vector<TrackedDevice>& devices) {
  if (!started_) {
    started_ = true;
    choice_ = ChooseTrackers(devices, leftSerial_, rightSerial_);
  } else {
    if (!leftSerial_.empty()) choice_.left = FindSerial(devices, leftSerial_);
    if (!rightSerial_.empty()) choice_.right = FindSerial(devices, rightSerial_);
    const auto on = [&](int index) {
      for (const TrackedDevice& d : devices)
        if (int(d.index) == index) return d.connected;
      return false;
    };
    if (choice_.left != kNoTracker && !on(choice_.left)) choice_.left = kNoTracker;
    if (choice_.right != kNoTracker && !on(choice_.right)) choice_.right = kNoTracker;
    for (const TrackedDevice& d : devices) {
      const bool cameOn = d.connected && !(d.index < wasOn_.size() && wasOn_[d.index]);
      if (!cameOn || !d.genericTracker || Named(d, leftSerial_) || Named(d, rightSerial_)) continue;
      if (int(d.index) == choice_.left || int(d.index) == choice_.right) continue;
      if (leftSerial_.empty() && choice_.left == kNoTracker) {
        choice_.left = int(d.index);
      } else if (rightSerial_.empty() && choice_.right == kNoTracker) {
        choice_.right = int(d.index);
      }
    }
  }
  for (const TrackedDevice& d : devices) {
    if (d.index >= wasOn_.size()) wasOn_.resize(d.index + 1, false);
    wasOn_[d.index] = d.connected;
  }
  return choice_;
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
