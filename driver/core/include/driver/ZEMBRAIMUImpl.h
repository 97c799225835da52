// The driver object: one glove (modes 1 and 2) or the wrist trackers (mode 4).
// It wires the pose engine, the serial link and the tracker code together
// and owns the client's event handler once registered.
#pragma once

#include <memory>

#include "driver/link/glove_link.h"
#include "driver/pose/pose_engine.h"
#include "driver/tracker/tracker_runtime.h"
#include "driver/tracker/tracker_support.h"
#include "log/log.h"
#include "zembra/ZEMBRAIMU.h"

namespace ZEMBRA {

class ZEMBRAIMUImpl final : public IZEMBRAIMU, private glove_link::LinkListener {
 public:
  // runtime: the tracker runtime used in mode 4 (the OpenVR binding unless a
  // test supplies another). Sets err to 6 when mode 4 cannot start it.
  ZEMBRAIMUImpl(EIMUError& err, int mode, std::unique_ptr<tracker::ITrackerRuntime> runtime,
                link::LinkTimings timings = {});
  ~ZEMBRAIMUImpl() override;

  void DetectGlovePort(EIMUError& err, PortInfo& info) override;
  void OpenPort(EIMUError& err, PortInfo info) override;
  void OnSaveCalibration(EIMUError& err) override;
  void StartPairing(int channel, PortInfo info, EIMUError& err) override;
  void SwitchToRSSIScan(EIMUError& err) override;
  void SetLatencyTimer(PortInfo info, EIMUError& err) override;
  double GetFingerValue(int index, EIMUError& err) override;
  void Vibrate(EIMUError& err) override;
  void VibratePeriod(EIMUError& err, int milliseconds) override;
  void OnOkPoseAlignment() override;
  void SetAdvancedMode(EIMUError& err, bool enabled) override;
  void RegisterIMUDataCallback(IZEMBRAIMUEventHandler*& handler, void* context) override;
  void ClosePort(EIMUError& err) override;
  void ConfigTracker(EIMUError& err, HandType hand) override;
  void CheckTrackerStatus(EIMUError& err) override;
  void IdentifyTracker(EIMUError& err, HandType hand) override;
  void UnregisterIMUDataCallback() override;

  int mode() const { return mode_; }
  bool advancedMode() const { return engine_.advancedMode(); }
  bool trackerRuntimeReady() const { return trackerRuntimeReady_; }
  // The tracker side of a mode-4 object; null in the glove modes.
  tracker::TrackerSupport* trackers() { return trackers_.get(); }
  pose::PoseEngine& engine() { return engine_; }
  glove_link::GloveLink& link() { return link_; }
  // Ends streaming and pairing threads still running, so that the handler
  // can be destroyed safely; UnInit calls it first.
  void StopLinkThreads() { link_.Shutdown(); }

 private:
  void StartTrackerRuntime(EIMUError& err);
  // Link callbacks, on the link's io thread.
  void OnPacket(const protocol::DecodedRead& read) override;
  void OnPaired() override;

  IZEMBRAIMUEventHandler* handler_ = nullptr;
  void* context_ = nullptr;
  const int mode_;
  pose::PoseEngine engine_;
  std::unique_ptr<tracker::ITrackerRuntime> trackerRuntime_;
  // The tracker code's messages: the client calls the tracker operations
  // one at a time, whichever threads it uses.
  bool trackerRuntimeReady_ = false;
  // Uses trackerRuntime_, so it is declared after it.
  std::unique_ptr<tracker::TrackerSupport> trackers_;
  // Declared last: destroyed first, so its threads stop before the rest goes.
  glove_link::GloveLink link_;
};

}  // namespace ZEMBRA
