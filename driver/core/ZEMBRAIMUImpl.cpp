#include "driver/ZEMBRAIMUImpl.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "driver/discovery/hand_port.h"
#include "log/log.h"
#include "platform/latency_timer.h"
#include "platform/port_enum.h"

namespace ZEMBRA {

namespace {
constexpr int kModeTrackers = 4;
constexpr int kRuntimeAttempts = 3;
}  // namespace

ZEMBRAIMUImpl::ZEMBRAIMUImpl(EIMUError& err, int mode, std::unique_ptr<tracker::ITrackerRuntime> runtime,
                             link::LinkTimings timings)
    : mode_(mode), trackerRuntime_(std::move(runtime)), link_(*this, timings) {
  engine_.SetAdvancedMode(mode == 2);
  err = IMUError_None;
  if (mode_ == kModeTrackers) {
    StartTrackerRuntime(err);
    trackers_ = std::make_unique<tracker::TrackerSupport>(
        trackerRuntimeReady_ ? trackerRuntime_.get() : nullptr, []() -> std::ostream& { return log::Stream(); },
        std::cerr,
        [this](const IMUEvent& event) {
          if (handler_) handler_->OnReceivedIMUEvent(event, context_);
        });
  }
}

ZEMBRAIMUImpl::~ZEMBRAIMUImpl() {
  // Threads first: they call the handler. Then the handler, which the
  // driver owns whether or not the client went through UnInit.
  link_.Shutdown();
  UnregisterIMUDataCallback();
}

void ZEMBRAIMUImpl::StartTrackerRuntime(EIMUError& err) {
  for (int attempt = 0; attempt < kRuntimeAttempts; ++attempt) {
    int32_t error = 0;
    if (trackerRuntime_ && trackerRuntime_->Init(error)) {
      trackerRuntimeReady_ = true;
      return;
    }
    const std::string text = trackerRuntime_ ? trackerRuntime_->ErrorText(error) : "no tracker runtime";
    log::Printf("Unable to init runtime: %s\n", text.c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  err = IMUError_OperationFailed;
}

void ZEMBRAIMUImpl::DetectGlovePort(EIMUError& err, PortInfo& info) {
  err = IMUError_None;
  engine_.SetHand(info.hand);
  const std::vector<platform::PortEntry> ports = platform::ListSerialPorts();
  const std::optional<size_t> found = discovery::FindHandPort(ports, info.hand);
  if (!found) {
    err = IMUError_PortNotFound;
    return;
  }
  const platform::PortEntry& port = ports[*found];
  if (info.hand == Hand_Left) {
    log::Printf("Found Left Hand Port: %s\n", port.port_name.c_str());
  } else {
    log::Printf("Found Right Hand Port: %s\n", port.port_name.c_str());
  }
  info.port_name = port.port_name;
  info.description = port.description;
  info.hardware_id = port.hardware_id;
  info.instance_id = port.instance_id;
}

void ZEMBRAIMUImpl::OpenPort(EIMUError& err, PortInfo info) { link_.OpenPort(err, info, engine_.hand()); }

void ZEMBRAIMUImpl::OnSaveCalibration(EIMUError& err) {
  const HandType hand = engine_.hand();
  if (hand == Hand_Left) log::Stream() << "Saving Calibration for left hand glove, please wait..." << std::flush;
  if (hand == Hand_Right) log::Stream() << "Saving Calibration for right hand glove, please wait..." << std::flush;
  err = link_.SendSaveCalibration() ? IMUError_None : IMUError_OperationFailed;
}

void ZEMBRAIMUImpl::StartPairing(int channel, PortInfo info, EIMUError& err) {
  link_.StartPairing(channel, info, err, engine_.hand());
}

void ZEMBRAIMUImpl::SwitchToRSSIScan(EIMUError& err) { link_.SwitchToRSSIScan(err); }

// The receiver's latency_timer attribute stands where Windows keeps the
// "LatencyTimer" registry value; the messages keep the registry wording that
// users and support already know.
void ZEMBRAIMUImpl::SetLatencyTimer(PortInfo info, EIMUError& err) {
  err = IMUError_None;
  const std::string path =
      platform::LatencyTimerPath(platform::PortRootsFromEnvironment(), info.instance_id, info.port_name);
  log::Printf("%s\n%s\n", info.instance_id.c_str(), path.c_str());
  // A missing or unreadable attribute (cdc_acm receivers have none) leaves
  // everything as it is.
  const std::optional<int> value = platform::ReadLatencyTimer(path);
  if (value) {
    log::Printf("the value read from the registry is: %d\n", *value);
    if (*value != 1) {
      const int error = platform::WriteLatencyTimer(path, 1);
      if (error != 0) {
        err = IMUError_RegistryWriteFailed;
        log::Printf("error code: %d\nUnable to set registry value\n", error);
      }
    }
  }
}

double ZEMBRAIMUImpl::GetFingerValue(int index, EIMUError& err) {
  if (index < 0 || index > 4) {
    err = IMUError_IndexOutOfRange;
    return 0.0;
  }
  err = IMUError_None;
  return double(engine_.FingerValue(index));
}

void ZEMBRAIMUImpl::Vibrate(EIMUError& err) { link_.Vibrate(err); }

void ZEMBRAIMUImpl::VibratePeriod(EIMUError& err, int milliseconds) { link_.VibratePeriod(err, milliseconds); }

void ZEMBRAIMUImpl::OnOkPoseAlignment() { engine_.AlignFingers(log::Stream()); }

void ZEMBRAIMUImpl::SetAdvancedMode(EIMUError& err, bool enabled) {
  engine_.SetAdvancedMode(enabled);
  err = IMUError_None;
}

void ZEMBRAIMUImpl::RegisterIMUDataCallback(IZEMBRAIMUEventHandler*& handler, void* context) {
  handler_ = handler;
  context_ = context;
  if (trackers_) trackers_->DetectTrackers();
}

void ZEMBRAIMUImpl::ClosePort(EIMUError& err) { link_.ClosePort(err); }

void ZEMBRAIMUImpl::OnPacket(const protocol::DecodedRead& read) {
  Pose pose;
  if (engine_.Process(read, pose) == pose::PoseEngine::Outcome::Pose && handler_) {
    handler_->OnReceivedIMUData(pose, context_);
  }
}

void ZEMBRAIMUImpl::OnPaired() {
  if (handler_) handler_->OnReceivedIMUEvent(IMUEvent{IMUEvent_Paired, engine_.hand()}, context_);
}

void ZEMBRAIMUImpl::ConfigTracker(EIMUError& err, HandType hand) {
  if (!trackers_) {
    err = IMUError_OperationFailed;
    return;
  }
  trackers_->Configure(err, hand);
}

void ZEMBRAIMUImpl::CheckTrackerStatus(EIMUError&) {
  if (trackers_) trackers_->CheckStatus();
}

void ZEMBRAIMUImpl::IdentifyTracker(EIMUError& err, HandType hand) {
  if (!trackers_) {
    err = IMUError_OperationFailed;
    return;
  }
  trackers_->Identify(err, hand);
}

void ZEMBRAIMUImpl::UnregisterIMUDataCallback() {
  delete handler_;
  handler_ = nullptr;
}

}  // namespace ZEMBRA
