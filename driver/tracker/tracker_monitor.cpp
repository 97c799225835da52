#include "driver/tracker/tracker_monitor.h"

#include <vector>

namespace ZEMBRA {
namespace tracker {

namespace {

constexpr size_t kShortSerialLength = 4;
// A runtime that keeps reporting events must not hold the caller forever;
// whatever is left is handled by the next check.
constexpr int kMaxEventsPerCheck = 256;

const char* HandTag(HandType hand) { return hand == Hand_Left ? "LH" : "RH"; }

}  // namespace

std::string ReadIdentifyingString(ITrackerRuntime& runtime, uint32_t deviceIndex) {
  int32_t propertyError = kPropertySuccess;
  const bool wireless = runtime.GetBoolTrackedDeviceProperty(deviceIndex, kPropDeviceIsWireless, &propertyError);
  const int32_t property = wireless ? kPropConnectedWirelessDongle : kPropSerialNumber;

  // The size call reports "buffer too small" by design, so only its result
  // counts.
  propertyError = kPropertySuccess;
  const uint32_t needed = runtime.GetStringTrackedDeviceProperty(deviceIndex, property, nullptr, 0, &propertyError);
  if (needed == 0 || needed > kMaxStringProperty) return std::string();

  std::vector<char> buffer(needed, '\0');
  propertyError = kPropertySuccess;
  const uint32_t written =
      runtime.GetStringTrackedDeviceProperty(deviceIndex, property, buffer.data(), needed, &propertyError);
  if (written == 0 || written > needed || propertyError != kPropertySuccess) return std::string();
  // The text and its zero fit in the size the runtime named; end it there
  // even if the runtime left the zero out.
  buffer[needed - 1] = '\0';
  return std::string(buffer.data());
}

std::string ShortSerial(const std::string& identifying) {
  if (identifying.size() < kShortSerialLength) return identifying;
  return identifying.substr(identifying.size() - kShortSerialLength);
}

TrackerMonitor::TrackerMonitor(ITrackerRuntime& runtime, MessageStream out, EventSink sink)
    : runtime_(runtime), out_(std::move(out)), sink_(std::move(sink)) {}

void TrackerMonitor::DetectTrackers() {
  uint32_t left = kNoTracker;
  uint32_t right = kNoTracker;
  for (uint32_t index = 0; index < kDeviceSlots; ++index) {
    if (runtime_.GetTrackedDeviceClass(index) != kClassGenericTracker) continue;
    if (!runtime_.IsTrackedDeviceConnected(index)) continue;
    if (left == kNoTracker)
      left = index;
    else
      right = index;
  }
  for (HandType hand : {Hand_Left, Hand_Right}) {
    const uint32_t index = hand == Hand_Left ? left : right;
    if (index == kNoTracker) continue;
    out_() << "found connected " << HandTag(hand) << " tracker on: " << index << std::endl;
    const std::string serial = ShortSerial(ReadIdentifyingString(runtime_, index));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      SlotOf(hand) = Slot{index, serial};
    }
    out_() << HandTag(hand) << " tracker Serial Number: " << serial << std::endl;
    Raise(IMUEvent_TrackerConnected, hand);
  }
}

int TrackerMonitor::ProcessPendingEvents() {
  int handled = 0;
  DeviceEvent event;
  while (handled < kMaxEventsPerCheck && runtime_.PollNextEvent(event)) {
    ++handled;
    if (event.type == kEventDeviceActivated)
      OnActivated(event.deviceIndex);
    else if (event.type == kEventDeviceDeactivated)
      OnDeactivated(event.deviceIndex);
  }
  return handled;
}

void TrackerMonitor::OnActivated(uint32_t deviceIndex) {
  if (deviceIndex >= kDeviceSlots) return;
  if (runtime_.GetTrackedDeviceClass(deviceIndex) != kClassGenericTracker) return;
  HandType hand;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A tracker that already holds a slot keeps it: giving it the other hand
    // as well would configure one tracker as both.
    if (left_.index == deviceIndex || right_.index == deviceIndex) return;
    if (left_.index == kNoTracker)
      hand = Hand_Left;
    else if (right_.index == kNoTracker)
      hand = Hand_Right;
    else
      return;
  }
  out_() << HandTag(hand) << " tracker connected on: " << deviceIndex << std::endl;
  const std::string identifying = ReadIdentifyingString(runtime_, deviceIndex);
  out_() << "Original " << HandTag(hand) << " tracker Serial Number: " << identifying << std::endl;
  const std::string serial = ShortSerial(identifying);
  {
    // Index and serial change together, so a reader never pairs the new
    // tracker with the serial of the one before.
    std::lock_guard<std::mutex> lock(mutex_);
    SlotOf(hand) = Slot{deviceIndex, serial};
  }
  if (identifying.size() >= kShortSerialLength)
    out_() << HandTag(hand) << " tracker Serial Number: " << serial << std::endl;
  Raise(IMUEvent_TrackerConnected, hand);
}

void TrackerMonitor::OnDeactivated(uint32_t deviceIndex) {
  // An out-of-range index would otherwise match a free slot.
  if (deviceIndex >= kDeviceSlots) return;
  HandType hand;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (left_.index == deviceIndex) {
      left_.index = kNoTracker;
      hand = Hand_Left;
    } else if (right_.index == deviceIndex) {
      right_.index = kNoTracker;
      hand = Hand_Right;
    } else {
      return;
    }
  }
  out_() << HandTag(hand) << " tracker disconnected" << std::endl;
  Raise(IMUEvent_TrackerDisconnected, hand);
}

void TrackerMonitor::Raise(IMUEventType type, HandType hand) {
  if (sink_) sink_(IMUEvent{type, hand});
}

std::string TrackerMonitor::Serial(HandType hand) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return SlotOf(hand).serial;
}

uint32_t TrackerMonitor::TrackerIndex(HandType hand) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return SlotOf(hand).index;
}

}  // namespace tracker
}  // namespace ZEMBRA
