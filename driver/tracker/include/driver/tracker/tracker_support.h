// Everything a driver object in tracker mode does: detection when the client
// registers, status checks, and the console operations on a hand's tracker.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "driver/tracker/lighthouse_console.h"
#include "driver/tracker/tracker_monitor.h"
#include "driver/tracker/tracker_runtime.h"
#include "zembra/ZEMBRAIMU.h"

namespace ZEMBRA {
namespace tracker {

class TrackerSupport {
 public:
  // runtime: the initialised runtime, or null when it could not be started;
  // then nothing is detected and every tracker operation fails with 6.
  TrackerSupport(ITrackerRuntime* runtime, MessageStream out, std::ostream& errOut, TrackerMonitor::EventSink sink);

  // At registration: reports the trackers already connected.
  void DetectTrackers();
  // Handles pending runtime events; waits kIdlePollWait when there were none.
  void CheckStatus();
  void Configure(EIMUError& err, HandType hand);
  void Identify(EIMUError& err, HandType hand);

  // Null when the runtime could not be started.
  const TrackerMonitor* monitor() const { return monitor_.get(); }
  // Where the console runs; tests point it elsewhere.
  ConsoleSettings& consoleSettings() { return settings_; }

 private:
  // The hand's serial, or the error that stops the operation.
  EIMUError SerialFor(HandType hand, std::string& serial) const;

  MessageStream out_;
  std::ostream& errOut_;
  std::unique_ptr<TrackerMonitor> monitor_;
  ConsoleSettings settings_;
};

}  // namespace tracker
}  // namespace ZEMBRA
