#include "python/glove_core.h"

#include "driver/client/receivers.h"

namespace ZEMBRA {
namespace python {

double MonotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

GloveCore::GloveCore(const GloveOptions& options)
    : poses_(options.queueSize),
      events_(options.eventQueueSize),
      session_(
          std::make_unique<client::GloveSession>(static_cast<client::SessionListener&>(*this),
                                                 options.advanced ? client::kAdvancedGloveMode : client::kGloveMode)) {}

GloveCore::~GloveCore() { Close(); }

EIMUError GloveCore::Open(const PortInfo& port) {
  std::lock_guard<std::mutex> lock(commandMutex_);
  if (!session_) return IMUError_PortNotOpen;
  port_ = port;
  if (port_.baud_rate == 0) port_.baud_rate = client::kBaudRate;
  if (port_.port_name.empty()) {
    const EIMUError found = session_->Detect(port.hand, port_);
    if (found != IMUError_None) return found;
  }
  return session_->Open(port_);
}

void GloveCore::Close() {
  std::lock_guard<std::mutex> lock(commandMutex_);
  if (!session_) return;
  // Closing joins the driver's threads, which read session_; only then is
  // the driver released, with its handler.
  session_->Close();
  session_.reset();
  closed_.store(true);
  poses_.Close();
  events_.Close();
}

EIMUError GloveCore::Vibrate(std::chrono::milliseconds period) {
  std::lock_guard<std::mutex> lock(commandMutex_);
  if (!session_) return IMUError_PortNotOpen;
  EIMUError err = IMUError_None;
  if (period.count() > 0) {
    session_->driver().VibratePeriod(err, int(period.count()));
  } else {
    session_->driver().Vibrate(err);
  }
  return err;
}

EIMUError GloveCore::SaveCalibration() {
  std::lock_guard<std::mutex> lock(commandMutex_);
  if (!session_) return IMUError_PortNotOpen;
  EIMUError err = IMUError_None;
  session_->driver().OnSaveCalibration(err);
  return err;
}

EIMUError GloveCore::AlignFingers() {
  std::lock_guard<std::mutex> lock(commandMutex_);
  if (!session_) return IMUError_PortNotOpen;
  session_->driver().OnOkPoseAlignment();
  return IMUError_None;
}

EIMUError GloveCore::FingerValue(int index, double& degrees) {
  std::lock_guard<std::mutex> lock(commandMutex_);
  if (!session_) return IMUError_PortNotOpen;
  EIMUError err = IMUError_None;
  degrees = session_->driver().GetFingerValue(index, err);
  return err;
}

EIMUError GloveCore::Pair(int channel) {
  std::lock_guard<std::mutex> lock(commandMutex_);
  if (!session_) return IMUError_PortNotOpen;
  session_->Close();  // 5 when it was not streaming: nothing to stop
  return session_->StartPairing(channel, port_);
}

void GloveCore::OnPose(const Pose& pose) {
  DeliveredPose delivered;
  delivered.time = MonotonicSeconds();
  delivered.pose = pose;
  // On the reader thread, right after the pose engine: the values of this
  // very pose.
  for (int i = 0; i < kFingerCount; ++i) {
    EIMUError ignored = IMUError_None;
    delivered.fingers[size_t(i)] = session_->driver().GetFingerValue(i, ignored);
  }
  poses_.Put(delivered);
}

void GloveCore::OnEvent(const IMUEvent& event) { events_.Put({event, MonotonicSeconds()}); }

}  // namespace python
}  // namespace ZEMBRA
