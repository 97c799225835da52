// One hand's state in the configuration tool, kept in one place: what the
// hand's receiver and glove are doing (the link) and who has the hand's
// port (the activity). The main window turns every monitor report, timer
// and command into one of the events below, and everything it shows or
// does for the hand follows from the state: the toolbar icon, the ready
// label and its tool tip, whether the 5-second watchdog runs, and whether
// the monitor keeps its port closed. The monitors only report; they never
// decide what the window shows.
//
// Plain C++ without Qt, so that the transitions are tested without an event
// loop. Threads: the GUI thread only.
#pragma once

#include <string>

class HandState {
 public:
  enum class Link {
    Unknown,    // not searched yet
    Missing,    // no receiver serves the hand
    NoData,     // the receiver is there, its glove is not delivering to us
    Streaming,  // poses arrive
  };
  enum class Activity {
    Monitoring,  // the hand's monitor has the port
    Pairing,     // a pairing dialog has it; the monitor keeps it closed
    Demo,        // a demo program has it; the monitor keeps it closed
    Recording,   // the monitor has it and stores the poses
  };
  enum class Icon { NotFound, NotPaired, Paired };

  // Monitor reports and the watchdog.
  void ReceiverMissing();
  void ReceiverFound();
  // A pose report; true when it counts (restarts the watchdog). Ignored
  // while a pairing or a demo has the port, and after it until the
  // monitor's next search has reported: reports of the port as it was
  // before it was closed may still be on their way.
  bool Pose();
  // The watchdog fired; true when the hand should be searched for again.
  bool WatchdogFired();
  // The monitor reported its port closed; true when a pairing or a demo was
  // waiting for it (the first such report only).
  bool PortReleased();

  // Commands. A Begin returns false, and changes nothing, unless the hand's
  // monitor has the port. The End of an activity that is not running does
  // nothing.
  bool BeginPairing();
  bool BeginDemo();
  bool BeginRecording();
  // The port comes back to the monitor, whose glove has not delivered since
  // (the link drops to NoData, unless the receiver is known to be missing);
  // the window then searches for the receiver at once.
  void EndPairing();
  void EndDemo();
  void EndRecording();

  Link link() const { return link_; }
  Activity activity() const { return activity_; }
  bool receiverFound() const { return link_ == Link::NoData || link_ == Link::Streaming; }
  // Delivering poses: what "paired" means for the icon, the ready label and
  // the commands that need both gloves.
  bool streaming() const { return link_ == Link::Streaming; }
  // Released for a pairing or a demo, and the monitor has closed it.
  bool portFree() const { return portHeld() && released_; }
  bool portHeld() const { return activity_ == Activity::Pairing || activity_ == Activity::Demo; }
  bool watchdogRuns() const { return !portHeld(); }
  Icon icon() const;
  // For the ready label's tool tip: "receiver not found", "streaming", ...
  std::string Describe() const;

 private:
  bool Begin(Activity activity);
  void End(Activity activity);

  Link link_ = Link::Unknown;
  Activity activity_ = Activity::Monitoring;
  bool released_ = false;
  bool awaitingSearch_ = false;
};
