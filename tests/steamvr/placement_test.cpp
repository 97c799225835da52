// Which tracker each hand follows, and the device's pose on it.
#include "steamvr/placement/placement.h"

#include <gtest/gtest.h>

#include "steamvr/skeleton/reference_hand.h"

namespace ZEMBRA {
namespace placement {
namespace {

using rigid::Vec3;

TrackedDevice Device(uint32_t index, bool tracker, std::string serial, bool connected = true) {
  TrackedDevice d;
  d.index = index;
  d.genericTracker = tracker;
  d.serial = std::move(serial);
  d.connected = connected;
  return d;
}

void ExpectChoice(const TrackerChoice& choice, int left, int right) {
  EXPECT_EQ(choice.left, left);
  EXPECT_EQ(choice.right, right);
}

TEST(TrackerChoice, LowestTrackerLeftHighestOtherRightOrTheNamedSerial) {
  const std::vector<TrackedDevice> devices = {
      Device(0, false, "HMD"),       Device(1, false, "zembra-LH0"), Device(3, true, "LHR-A"),
      Device(5, true, "LHR-B"),      Device(7, true, "LHR-C"),       Device(9, true, "LHR-D", false),
      Device(11, false, "LHR-CTRL"),
  };
  ExpectChoice(ChooseTrackers(devices, "", ""), 3, 7);                // 5 in between is ignored, 9 is off
  ExpectChoice(ChooseTrackers({devices[2]}, "", ""), 3, kNoTracker);  // one tracker is the left hand's
  ExpectChoice(ChooseTrackers({devices[0], devices[6]}, "", ""), kNoTracker, kNoTracker);
  // Named serials win, and are taken from the other hand's rule.
  ExpectChoice(ChooseTrackers(devices, "", "LHR-A"), 5, 3);
  ExpectChoice(ChooseTrackers(devices, "LHR-C", ""), 7, 5);
  ExpectChoice(ChooseTrackers(devices, "LHR-B", "LHR-A"), 5, 3);
  // A named tracker that is off or missing leaves its hand without one.
  ExpectChoice(ChooseTrackers(devices, "LHR-D", ""), kNoTracker, 7);
  ExpectChoice(ChooseTrackers(devices, "", "nowhere"), 3, kNoTracker);
  // A serial names a device whatever its class.
  ExpectChoice(ChooseTrackers(devices, "LHR-CTRL", ""), 11, 7);
}

TEST(TrackerChoice, AHandWhoseTrackerGoesOffHasNoneUntilATrackerComesOn) {
  std::vector<TrackedDevice> devices = {Device(0, false, "HMD"), Device(1, true, "LHR-A"), Device(2, true, "LHR-B"),
                                        Device(3, true, "LHR-C", false), Device(4, false, "CTRL", false)};
  TrackerAssignment assignment("", "");
  ExpectChoice(assignment.Update(devices), 1, 2);
  devices[1].connected = false;  // the left tracker goes off: the right one stays the right hand's
  ExpectChoice(assignment.Update(devices), kNoTracker, 2);
  ExpectChoice(assignment.Update(devices), kNoTracker, 2);
  devices[4].connected = true;  // not a tracker
  ExpectChoice(assignment.Update(devices), kNoTracker, 2);
  devices[3].connected = true;  // comes on: takes the free left hand
  ExpectChoice(assignment.Update(devices), 3, 2);
  devices[1].connected = true;  // both hands taken: left out
  ExpectChoice(assignment.Update(devices), 3, 2);
  devices[2].connected = false;
  ExpectChoice(assignment.Update(devices), 3, kNoTracker);

  // A named tracker is its hand's whenever it is on, and nobody else's.
  TrackerAssignment named("LHR-B", "");
  devices = {Device(1, true, "LHR-A", false), Device(2, true, "LHR-B", false), Device(3, true, "LHR-C", false)};
  ExpectChoice(named.Update(devices), kNoTracker, kNoTracker);
  devices[1].connected = true;
  ExpectChoice(named.Update(devices), 2, kNoTracker);
  devices[0].connected = devices[2].connected = true;
  ExpectChoice(named.Update(devices), 2, 1);
  devices[1].connected = false;
  ExpectChoice(named.Update(devices), kNoTracker, 1);
  devices[1].connected = true;
  ExpectChoice(named.Update(devices), 2, 1);
}

TEST(Placement, TheWristLandsOnTheOffsetAndTheDeviceWhereTheReferenceRootIs) {
  for (HandType hand : {Hand_Left, Hand_Right}) {
    const skeleton::ReferenceHand reference = skeleton::LoadReferenceHand(hand);
    const rigid::Transform rootToWrist = reference.open[skeleton::kWrist];
    WristOffset offset;
    offset.x = 0.01;
    offset.y = -0.02;
    offset.z = 0.03;
    offset.rotateX = 20;
    offset.rotateY = -35;
    offset.rotateZ = 110;
    Motion tracker;
    tracker.pose = {{0.3, 1.2, -0.4}, rigid::Normalised({0.2, -0.5, 0.1, 0.8})};
    const Motion device = FollowTracker(tracker, TrackerToDevice(offset, rootToWrist));
    const rigid::Transform wrist = device.pose * rootToWrist, wanted = tracker.pose * ToTransform(offset);
    EXPECT_LT(rigid::Length(wrist.position - wanted.position), 1e-12);
    EXPECT_LT(rigid::AngleBetween(wrist.rotation, wanted.rotation), 1e-9);
  }
}

TEST(Placement, TheDefaultOffsetLaysTheFingersAlongTheTrackersY) {
  const rigid::Transform right = ToTransform(DefaultWristOffset(Hand_Right));
  const rigid::Transform left = ToTransform(DefaultWristOffset(Hand_Left));
  const auto near = [](const Vec3& a, const Vec3& b) { return rigid::Length(a - b) < 1e-12; };
  for (const rigid::Transform& t : {right, left}) {
    EXPECT_TRUE(near(rigid::Rotate(t.rotation, {0, 0, 1}), {0, 1, 0}));  // fingers
    EXPECT_TRUE(near(t.position, {0, 0, 0.025}));                        // the wrist under the tracker
  }
  EXPECT_TRUE(near(rigid::Rotate(right.rotation, {1, 0, 0}), {0, 0, 1}));  // the right palm into the wrist
  EXPECT_TRUE(near(rigid::Rotate(left.rotation, {1, 0, 0}), {0, 0, -1}));  // the left palm too (its -x)
  // Thumbs towards opposite sides of the tracker.
  EXPECT_TRUE(near(rigid::Rotate(right.rotation, {0, 1, 0}), {1, 0, 0}));
  EXPECT_TRUE(near(rigid::Rotate(left.rotation, {0, 1, 0}), {-1, 0, 0}));
}

TEST(Placement, TheDeviceMovesWithTheTrackersTurnAndPace) {
  Motion tracker;
  tracker.pose.position = {1, 1, 1};
  tracker.velocity = {0.5, 0, 0};
  tracker.angularVelocity = {0, 0, 2};  // rad/s about z
  rigid::Transform offset;
  offset.position = {0.1, 0, 0};
  const Motion device = FollowTracker(tracker, offset);
  EXPECT_NEAR(device.pose.position.x, 1.1, 1e-12);
  EXPECT_NEAR(device.velocity.x, 0.5, 1e-12);
  EXPECT_NEAR(device.velocity.y, 0.2, 1e-12);  // 2 rad/s on a 10 cm lever
  EXPECT_NEAR(device.angularVelocity.z, 2, 1e-12);
}

}  // namespace
}  // namespace placement
}  // namespace ZEMBRA
