// Where a hand device is: which wrist tracker each hand follows, and the
// device's pose from the tracker's. Pure functions over plain values.
//
// Frames: SteamVR's tracking space of the tracker (right-handed, metres);
// the tracker's own frame; the wrist frame of SteamVR's reference hand
// (fingers along +z, thumb towards +y, palm towards +x for the right hand
// and -x for the left); the device frame, which is the skeleton's root.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "steamvr/rigid/rigid.h"
#include "zembra/Pose.h"

namespace ZEMBRA {
namespace placement {

// One slot of SteamVR's device list, as the driver host reports it.
struct TrackedDevice {
  uint32_t index = 0;
  bool connected = false;
  bool genericTracker = false;  // TrackedDeviceClass_GenericTracker
  std::string serial;           // Prop_SerialNumber_String
};

constexpr int kNoTracker = -1;

struct TrackerChoice {
  int left = kNoTracker;  // a device index, or kNoTracker
  int right = kNoTracker;
};

// The wrist trackers present at start-up. A hand whose serial is given
// follows the connected device with exactly that serial, or none.
// Otherwise the lowest connected generic tracker not named for the other
// hand is the left hand's, and the highest connected generic tracker that
// is neither named nor the left hand's the right hand's: one tracker alone
// is the left hand's, a third between them is left out.
TrackerChoice ChooseTrackers(const std::vector<TrackedDevice>& devices, const std::string& leftSerial,
                             const std::string& rightSerial);

// The wrist trackers as they come and go. The first update chooses as
// ChooseTrackers does; after that a hand whose tracker goes off has none,
// and a generic tracker that comes on takes the left hand when it has
// none, else the right hand when it has none, else nobody. A hand with a
// serial follows that device alone whenever it is on.
class TrackerAssignment {
 public:
  TrackerAssignment(std::string leftSerial, std::string rightSerial);
  // devices: every slot, in index order.
  TrackerChoice Update(const std::vector<TrackedDevice>& devices);

 private:
  const std::string leftSerial_, rightSerial_;
  bool started_ = false;
  TrackerChoice choice_;
  std::vector<bool> wasOn_;
};

// Where the hand's wrist sits on its tracker, as the settings give it:
// position in metres and rotation in degrees, both in the tracker's frame;
// the rotation turns about the tracker's x, then the turned y, then the
// twice turned z.
struct WristOffset {
  double x = 0, y = 0, z = 0;
  double rotateX = 0, rotateY = 0, rotateZ = 0;
};

// A tracker strapped on the back of the wrist, its frame with y from the
// mounting screw towards the stabilising pin (pointing to the fingers) and
// z out of the mounting face (into the wrist): the wrist 25 mm below it.
WristOffset DefaultWristOffset(HandType hand);

rigid::Transform ToTransform(const WristOffset& offset);

// The device's place in the tracker's frame: the wrist where the offset
// puts it, the device (the skeleton's root) where the reference hand has
// its root against that wrist (q_tracker_device = q_tracker_wrist *
// inverse(q_root_wrist)).
rigid::Transform TrackerToDevice(const WristOffset& offset, const rigid::Transform& rootToWrist);

struct Motion {
  rigid::Transform pose;        // in the tracking space
  rigid::Vec3 velocity;         // metres per second, tracking space
  rigid::Vec3 angularVelocity;  // radians per second, tracking space
};

// The device rigidly carried by the tracker: the same turn rate, and the
// velocity of the device's point.
Motion FollowTracker(const Motion& tracker, const rigid::Transform& trackerToDevice);

}  // namespace placement
}  // namespace ZEMBRA
