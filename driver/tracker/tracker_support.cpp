#include "driver/tracker/tracker_support.h"

#include <thread>

namespace ZEMBRA {
namespace tracker {

TrackerSupport::TrackerSupport(ITrackerRuntime* runtime, MessageStream out, std::ostream& errOut,
                               TrackerMonitor::EventSink sink)
    : out_(out), errOut_(errOut) {
  if (runtime) monitor_ = std::make_unique<TrackerMonitor>(*runtime, std::move(out), std::move(sink));
}

void TrackerSupport::DetectTrackers() {
  if (monitor_) monitor_->DetectTrackers();
}

void TrackerSupport::CheckStatus() {
  // Clients call this in a tight loop; without a runtime there is never
  // anything to report, which is no reason to spin either.
  if (!monitor_ || monitor_->ProcessPendingEvents() == 0) std::this_thread::sleep_for(kIdlePollWait);
}

EIMUError TrackerSupport::SerialFor(HandType hand, std::string& serial) const {
  if (!monitor_) return IMUError_OperationFailed;
  if (hand != Hand_Left && hand != Hand_Right) return IMUError_InvalidHand;
  // A copy: the monitor may replace the serial on its thread meanwhile.
  serial = monitor_->Serial(hand);
  return IMUError_None;
}

void TrackerSupport::Configure(EIMUError& err, HandType hand) {
  std::string serial;
  err = SerialFor(hand, serial);
  if (err != IMUError_None) return;
  err = ConfigureTracker(hand, serial, settings_, out_(), errOut_);
}

void TrackerSupport::Identify(EIMUError& err, HandType hand) {
  std::string serial;
  err = SerialFor(hand, serial);
  if (err != IMUError_None) return;
  err = IdentifyTracker(serial, settings_, out_());
}

}  // namespace tracker
}  // namespace ZEMBRA
