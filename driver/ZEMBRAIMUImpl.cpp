#include "driver/ZEMBRAIMUImpl.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

namespace ZEMBRA {

namespace {
constexpr int kModeTrackers = 4;
constexpr int kRuntimeAttempts = 3;
}  // namespace

ZEMBRAIMUImpl::ZEMBRAIMUImpl(EIMUError& err, int mode, std::unique_ptr<tracker::ITrackerRuntime> runtime)
    : mode_(mode), trackerRuntime_(std::move(runtime)) {
  engine_.SetAdvancedMode(mode == 2);
  err = IMUError_None;
  if (mode_ == kModeTrackers) StartTrackerRuntime(err);
}

ZEMBRAIMUImpl::~ZEMBRAIMUImpl() = default;

void ZEMBRAIMUImpl::StartTrackerRuntime(EIMUError& err) {
  for (int attempt = 0; attempt < kRuntimeAttempts; ++attempt) {
    int32_t error = 0;
    if (trackerRuntime_ && trackerRuntime_->Init(error)) {
      trackerRuntimeReady_ = true;
      return;
    }
    const std::string text = trackerRuntime_ ? trackerRuntime_->ErrorText(error) : "no tracker runtime";
    std::printf("Unable to init runtime: %s\n", text.c_str());
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  err = IMUError_OperationFailed;
}

void ZEMBRAIMUImpl::DetectGlovePort(EIMUError& err, PortInfo&) { err = IMUError_OperationFailed; }

void ZEMBRAIMUImpl::OpenPort(EIMUError& err, PortInfo) { err = IMUError_OperationFailed; }

void ZEMBRAIMUImpl::OnSaveCalibration(EIMUError& err) { err = IMUError_OperationFailed; }

void ZEMBRAIMUImpl::StartPairing(int, PortInfo, EIMUError& err) { err = IMUError_OperationFailed; }

void ZEMBRAIMUImpl::SwitchToRSSIScan(EIMUError& err) { err = IMUError_OperationFailed; }

void ZEMBRAIMUImpl::SetLatencyTimer(PortInfo, EIMUError& err) { err = IMUError_OperationFailed; }

double ZEMBRAIMUImpl::GetFingerValue(int index, EIMUError& err) {
  if (index < 0 || index > 4) {
    err = IMUError_IndexOutOfRange;
    return 0.0;
  }
  err = IMUError_None;
  return double(engine_.FingerValue(index));
}

void ZEMBRAIMUImpl::Vibrate(EIMUError& err) { err = IMUError_OperationFailed; }

void ZEMBRAIMUImpl::VibratePeriod(EIMUError& err, int) { err = IMUError_OperationFailed; }

void ZEMBRAIMUImpl::OnOkPoseAlignment() { engine_.AlignFingers(std::cout); }

void ZEMBRAIMUImpl::SetAdvancedMode(EIMUError& err, bool enabled) {
  engine_.SetAdvancedMode(enabled);
  err = IMUError_None;
}

void ZEMBRAIMUImpl::RegisterIMUDataCallback(IZEMBRAIMUEventHandler*& handler, void* context) {
  handler_ = handler;
  context_ = context;
}

void ZEMBRAIMUImpl::ClosePort(EIMUError& err) { err = IMUError_OperationFailed; }

void ZEMBRAIMUImpl::ConfigTracker(EIMUError& err, HandType) { err = IMUError_OperationFailed; }

void ZEMBRAIMUImpl::CheckTrackerStatus(EIMUError&) {}

void ZEMBRAIMUImpl::IdentifyTracker(EIMUError& err, HandType) { err = IMUError_OperationFailed; }

void ZEMBRAIMUImpl::UnregisterIMUDataCallback() {
  delete handler_;
  handler_ = nullptr;
}

}  // namespace ZEMBRA
