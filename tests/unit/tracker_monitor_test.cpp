// Tracker detection and status on the fake runtime: which tracker is which
// hand, the messages, events 7 and 8, and the serials.
#include "driver/tracker/tracker_monitor.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <utility>
#include <vector>

#include "tests/support/fake_tracker_runtime.h"

namespace ZEMBRA {

inline bool operator==(const IMUEvent& a, const IMUEvent& b) { return a.type == b.type && a.hand == b.hand; }
inline void PrintTo(const IMUEvent& e, std::ostream* os) { *os << "{type " << e.type << ", hand " << e.hand << "}"; }

namespace {

using testsupport::FakeTrackerRuntime;
using tracker::kNoTracker;

struct Monitor {
  FakeTrackerRuntime runtime;
  std::ostringstream out;
  std::vector<IMUEvent> events;
  tracker::TrackerMonitor monitor{runtime, [this]() -> std::ostream& { return out; },
                                  [this](const IMUEvent& e) { events.push_back(e); }};

  Monitor() {
    int32_t error = 0;
    runtime.Init(error);
  }
  // Output since the last call.
  std::string TakeOutput() {
    std::string text = out.str();
    out.str("");
    return text;
  }
  std::vector<IMUEvent> TakeEvents() { return std::exchange(events, {}); }
};

const IMUEvent kLeftConnected{IMUEvent_TrackerConnected, Hand_Left};
const IMUEvent kRightConnected{IMUEvent_TrackerConnected, Hand_Right};
const IMUEvent kLeftGone{IMUEvent_TrackerDisconnected, Hand_Left};
const IMUEvent kRightGone{IMUEvent_TrackerDisconnected, Hand_Right};

TEST(TrackerDetection, TwoTrackersAmongOtherDevicesGoLowestLeftHighestRight) {
  Monitor m;
  m.runtime.SetDevice(0, FakeTrackerRuntime::Other(FakeTrackerRuntime::kClassHmd));
  m.runtime.SetDevice(1, FakeTrackerRuntime::Other(FakeTrackerRuntime::kClassBaseStation));
  m.runtime.SetDevice(2, FakeTrackerRuntime::Other(FakeTrackerRuntime::kClassController));
  m.runtime.SetDevice(3, FakeTrackerRuntime::WirelessTracker("LHR-1A2B3C", "LHR-FFFF0000"));
  m.runtime.SetDevice(7, FakeTrackerRuntime::WiredTracker("LHR-00ABCDEF"));

  m.monitor.DetectTrackers();

  EXPECT_EQ(m.TakeOutput(),
            "found connected LH tracker on: 3\n"
            "LH tracker Serial Number: 2B3C\n"
            "found connected RH tracker on: 7\n"
            "RH tracker Serial Number: CDEF\n");
  EXPECT_EQ(m.TakeEvents(), (std::vector<IMUEvent>{kLeftConnected, kRightConnected}));
  EXPECT_EQ(m.monitor.TrackerIndex(Hand_Left), 3u);
  EXPECT_EQ(m.monitor.TrackerIndex(Hand_Right), 7u);
  EXPECT_EQ(m.monitor.Serial(Hand_Left), "2B3C");
  EXPECT_EQ(m.monitor.Serial(Hand_Right), "CDEF");
  // The wireless tracker is known by its dongle, the wired one by its serial.
  EXPECT_EQ(m.runtime.stringPropertyCalls(tracker::kPropConnectedWirelessDongle), 2);
  EXPECT_EQ(m.runtime.stringPropertyCalls(tracker::kPropSerialNumber), 2);
}

TEST(TrackerDetection, OneTrackerIsTheLeftHandsAlone) {
  Monitor m;
  m.runtime.SetDevice(2, FakeTrackerRuntime::Other(FakeTrackerRuntime::kClassController));
  m.runtime.SetDevice(12, FakeTrackerRuntime::WiredTracker("XY9876"));
  m.monitor.DetectTrackers();

  EXPECT_EQ(m.TakeOutput(), "found connected LH tracker on: 12\nLH tracker Serial Number: 9876\n");
  EXPECT_EQ(m.TakeEvents(), std::vector<IMUEvent>{kLeftConnected});
  EXPECT_EQ(m.monitor.TrackerIndex(Hand_Right), kNoTracker);
  EXPECT_EQ(m.monitor.Serial(Hand_Right), "");
}

TEST(TrackerDetection, AMiddleTrackerAndDisconnectedOnesAreIgnored) {
  Monitor m;
  m.runtime.SetDevice(2, FakeTrackerRuntime::WiredTracker("AAAA0002"));
  m.runtime.SetDevice(5, FakeTrackerRuntime::WiredTracker("AAAA0005"));
  m.runtime.SetDevice(9, FakeTrackerRuntime::WiredTracker("AAAA0009"));
  FakeTrackerRuntime::Device unplugged = FakeTrackerRuntime::WiredTracker("AAAA0040");
  unplugged.connected = false;
  m.runtime.SetDevice(40, unplugged);
  m.monitor.DetectTrackers();

  EXPECT_EQ(m.monitor.TrackerIndex(Hand_Left), 2u);
  EXPECT_EQ(m.monitor.TrackerIndex(Hand_Right), 9u);
  EXPECT_EQ(m.monitor.Serial(Hand_Right), "0009");
  EXPECT_EQ(m.TakeEvents().size(), 2u);
}

TEST(TrackerDetection, ShortAndEmptyIdentifyingStringsAreStoredWhole) {
  Monitor m;
  m.runtime.SetDevice(0, FakeTrackerRuntime::WiredTracker("XYZ"));
  m.runtime.SetDevice(1, FakeTrackerRuntime::WirelessTracker(""));
  m.monitor.DetectTrackers();

  EXPECT_EQ(m.TakeOutput(),
            "found connected LH tracker on: 0\nLH tracker Serial Number: XYZ\n"
            "found connected RH tracker on: 1\nRH tracker Serial Number: \n");
  EXPECT_EQ(m.monitor.Serial(Hand_Left), "XYZ");
  EXPECT_EQ(m.monitor.Serial(Hand_Right), "");
  EXPECT_EQ(m.TakeEvents().size(), 2u);
}

TEST(TrackerStatus, ActivationsFillLeftThenRightAndDeactivationsFreeTheSlot) {
  Monitor m;
  m.runtime.Activate(4, FakeTrackerRuntime::WiredTracker("AB12CD"));
  m.runtime.Activate(6, FakeTrackerRuntime::WirelessTracker("XYZ"));
  m.runtime.Activate(9, FakeTrackerRuntime::WiredTracker("LHR-99990009"));  // both hands taken

  EXPECT_EQ(m.monitor.ProcessPendingEvents(), 3);
  EXPECT_EQ(m.TakeOutput(),
            "LH tracker connected on: 4\n"
            "Original LH tracker Serial Number: AB12CD\n"
            "LH tracker Serial Number: 12CD\n"
            "RH tracker connected on: 6\n"
            "Original RH tracker Serial Number: XYZ\n");
  EXPECT_EQ(m.TakeEvents(), (std::vector<IMUEvent>{kLeftConnected, kRightConnected}));
  EXPECT_EQ(m.monitor.Serial(Hand_Left), "12CD");
  EXPECT_EQ(m.monitor.Serial(Hand_Right), "XYZ");

  // Unplugging the left tracker keeps its serial until another takes the
  // slot; the next tracker activated becomes the left hand's.
  m.runtime.Deactivate(4);
  m.monitor.ProcessPendingEvents();
  EXPECT_EQ(m.TakeOutput(), "LH tracker disconnected\n");
  EXPECT_EQ(m.TakeEvents(), std::vector<IMUEvent>{kLeftGone});
  EXPECT_EQ(m.monitor.TrackerIndex(Hand_Left), kNoTracker);
  EXPECT_EQ(m.monitor.Serial(Hand_Left), "12CD");

  m.runtime.Activate(9, FakeTrackerRuntime::WiredTracker("LHR-99990009"));
  m.runtime.Deactivate(6);
  m.monitor.ProcessPendingEvents();
  EXPECT_EQ(m.TakeOutput(),
            "LH tracker connected on: 9\n"
            "Original LH tracker Serial Number: LHR-99990009\n"
            "LH tracker Serial Number: 0009\n"
            "RH tracker disconnected\n");
  EXPECT_EQ(m.TakeEvents(), (std::vector<IMUEvent>{kLeftConnected, kRightGone}));
  EXPECT_EQ(m.monitor.TrackerIndex(Hand_Left), 9u);
  EXPECT_EQ(m.monitor.Serial(Hand_Left), "0009");
}

TEST(TrackerStatus, OtherDevicesAndOtherEventsRaiseNothing) {
  Monitor m;
  m.runtime.Activate(1, FakeTrackerRuntime::Other(FakeTrackerRuntime::kClassController));
  m.runtime.Activate(2, FakeTrackerRuntime::Other(FakeTrackerRuntime::kClassBaseStation));
  m.runtime.Activate(3, FakeTrackerRuntime::Other(FakeTrackerRuntime::kClassHmd));
  m.runtime.Deactivate(1);       // neither tracker
  m.runtime.Deactivate(30);      // never seen
  m.runtime.QueueEvent(102, 1);  // some other event
  EXPECT_EQ(m.monitor.ProcessPendingEvents(), 6);
  EXPECT_EQ(m.TakeOutput(), "");
  EXPECT_TRUE(m.TakeEvents().empty());
  EXPECT_EQ(m.monitor.TrackerIndex(Hand_Left), kNoTracker);

  // With a tracker known, deactivating something else still raises nothing.
  m.runtime.Activate(5, FakeTrackerRuntime::WiredTracker("T0000005"));
  m.monitor.ProcessPendingEvents();
  m.TakeOutput();
  m.TakeEvents();
  m.runtime.Deactivate(2);
  m.monitor.ProcessPendingEvents();
  EXPECT_EQ(m.TakeOutput(), "");
  EXPECT_TRUE(m.TakeEvents().empty());
  EXPECT_EQ(m.monitor.TrackerIndex(Hand_Left), 5u);
}

TEST(TrackerStatus, ANewTrackerWithAShortOrEmptyStringReplacesTheOldSerial) {
  Monitor m;
  m.runtime.Activate(3, FakeTrackerRuntime::WiredTracker("LHR-AAAA1111"));
  m.monitor.ProcessPendingEvents();
  ASSERT_EQ(m.monitor.Serial(Hand_Left), "1111");
  m.runtime.Deactivate(3);
  m.runtime.Activate(8, FakeTrackerRuntime::WirelessTracker(""));
  m.monitor.ProcessPendingEvents();
  EXPECT_EQ(m.monitor.Serial(Hand_Left), "") << "the serial of the tracker before must not stay";
  EXPECT_EQ(m.monitor.TrackerIndex(Hand_Left), 8u);

  m.runtime.Deactivate(8);
  m.runtime.Activate(9, FakeTrackerRuntime::WiredTracker("Q7"));
  m.monitor.ProcessPendingEvents();
  EXPECT_EQ(m.monitor.Serial(Hand_Left), "Q7");
  EXPECT_NE(m.TakeOutput().find("Original LH tracker Serial Number: Q7\n"), std::string::npos);
}

TEST(TrackerStatus, AKnownTrackerActivatedAgainDoesNotTakeTheOtherHand) {
  Monitor m;
  m.runtime.SetDevice(3, FakeTrackerRuntime::WiredTracker("LHR-00000003"));
  m.monitor.DetectTrackers();
  m.TakeEvents();
  m.runtime.QueueEvent(tracker::kEventDeviceActivated, 3);
  m.monitor.ProcessPendingEvents();
  EXPECT_TRUE(m.TakeEvents().empty());
  EXPECT_EQ(m.monitor.TrackerIndex(Hand_Right), kNoTracker);
}

TEST(TrackerStatus, OutOfRangeDeviceIndexesAreIgnored) {
  Monitor m;
  // 64 is what a free slot holds; it must not read as "the left tracker".
  m.runtime.QueueEvent(tracker::kEventDeviceDeactivated, tracker::kNoTracker);
  m.runtime.QueueEvent(tracker::kEventDeviceDeactivated, 0xFFFFFFFFu);
  m.runtime.QueueEvent(tracker::kEventDeviceActivated, 0xFFFFFFFFu);
  m.monitor.ProcessPendingEvents();
  EXPECT_TRUE(m.TakeEvents().empty());
  EXPECT_EQ(m.TakeOutput(), "");
}

TEST(TrackerStatus, ARuntimeThatNeverRunsDryDoesNotHoldTheCallerForever) {
  Monitor m;
  for (int i = 0; i < 600; ++i) m.runtime.QueueEvent(102, 0);
  const int first = m.monitor.ProcessPendingEvents();
  EXPECT_GT(first, 0);
  EXPECT_LT(first, 600);
  int total = first;
  while (int n = m.monitor.ProcessPendingEvents()) total += n;
  EXPECT_EQ(total, 600);
}

TEST(IdentifyingString, WirelessDevicesAreKnownByTheirDongleWiredOnesByTheirSerial) {
  FakeTrackerRuntime runtime;
  runtime.SetDevice(1, FakeTrackerRuntime::WirelessTracker("LHR-DONGLE", "LHR-SERIAL"));
  runtime.SetDevice(2, FakeTrackerRuntime::WiredTracker("LHR-WIRED"));
  EXPECT_EQ(tracker::ReadIdentifyingString(runtime, 1), "LHR-DONGLE");
  EXPECT_EQ(tracker::ReadIdentifyingString(runtime, 2), "LHR-WIRED");
  EXPECT_EQ(tracker::ReadIdentifyingString(runtime, 50), "") << "no device there";
}

TEST(IdentifyingString, FailedPropertyReadsGiveAnEmptyStringAndTheTextAlwaysEnds) {
  using Fault = FakeTrackerRuntime::PropertyFault;
  FakeTrackerRuntime runtime;
  const struct {
    Fault fault;
    const char* expected;
  } cases[] = {
      {Fault::None, "LHR-ABCDEF"},  {Fault::SizeCallFails, ""},          {Fault::SecondCallFails, ""},
      {Fault::SecondCallGrows, ""}, {Fault::NoTerminator, "LHR-ABCDEF"},
  };
  for (const auto& c : cases) {
    FakeTrackerRuntime::Device device = FakeTrackerRuntime::WiredTracker("LHR-ABCDEF");
    device.fault = c.fault;
    runtime.SetDevice(4, device);
    EXPECT_EQ(tracker::ReadIdentifyingString(runtime, 4), c.expected) << int(c.fault);
  }
}

TEST(IdentifyingString, ShortSerialKeepsTheLastFourCharacters) {
  EXPECT_EQ(tracker::ShortSerial("LHR-1A2B3C"), "2B3C");
  EXPECT_EQ(tracker::ShortSerial("ABCD"), "ABCD");
  EXPECT_EQ(tracker::ShortSerial("XYZ"), "XYZ");
  EXPECT_EQ(tracker::ShortSerial(""), "");
}

}  // namespace
}  // namespace ZEMBRA
