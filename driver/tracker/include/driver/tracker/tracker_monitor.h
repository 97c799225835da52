// Which wrist tracker belongs to which hand: detection at registration,
// activation and deactivation events afterwards, and the short serial of each
// hand's tracker that the lighthouse console addresses it by.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>

#include "driver/tracker/tracker_runtime.h"
#include "zembra/ZEMBRAIMU.h"

namespace ZEMBRA {
namespace tracker {

// Index of a hand without a tracker: one past the last device slot.
constexpr uint32_t kNoTracker = kDeviceSlots;
// How long a status check waits when the runtime had nothing to report, so
// that a client polling in a loop does not keep a processor busy.
constexpr std::chrono::milliseconds kIdlePollWait{5};

// Reads a device's identifying string: the wireless dongle's for a wireless
// device, else its serial number. Empty when the runtime cannot provide it.
std::string ReadIdentifyingString(ITrackerRuntime& runtime, uint32_t deviceIndex);

// The part of an identifying string the console addresses a tracker by: its
// last four characters, or the whole string when it is shorter.
std::string ShortSerial(const std::string& identifying);

// The stream a message goes to, asked for on the thread that writes it: the
// monitor and the console operations run on different client threads, and
// a stream object is for one thread at a time.
using MessageStream = std::function<std::ostream&()>;

class TrackerMonitor {
 public:
  using EventSink = std::function<void(const IMUEvent&)>;

  // Messages go to out(); events 7 and 8 to sink, on the calling thread.
  TrackerMonitor(ITrackerRuntime& runtime, MessageStream out, EventSink sink);

  // Finds the trackers already connected: the lowest is the left hand's, the
  // highest other one the right hand's.
  void DetectTrackers();
  // Handles every pending runtime event once; returns how many there were.
  int ProcessPendingEvents();

  // hand is Hand_Left or Hand_Right. Safe to call from any thread while the
  // monitor's thread updates them.
  std::string Serial(HandType hand) const;
  uint32_t TrackerIndex(HandType hand) const;

 private:
  struct Slot {
    uint32_t index = kNoTracker;
    std::string serial;
  };

  void OnActivated(uint32_t deviceIndex);
  void OnDeactivated(uint32_t deviceIndex);
  void Raise(IMUEventType type, HandType hand);
  Slot& SlotOf(HandType hand) { return hand == Hand_Left ? left_ : right_; }
  const Slot& SlotOf(HandType hand) const { return hand == Hand_Left ? left_ : right_; }

  ITrackerRuntime& runtime_;
  MessageStream out_;
  EventSink sink_;
  // Guards both slots: the configuration operations read the serials on the
  // client's threads. Never held while calling out.
  mutable std::mutex mutex_;
  Slot left_;
  Slot right_;
};

}  // namespace tracker
}  // namespace ZEMBRA
