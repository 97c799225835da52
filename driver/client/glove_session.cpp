#include "driver/client/glove_session.h"

#include "driver/client/receivers.h"

namespace ZEMBRA {
namespace client {

// Owned by the driver once registered; the listener outlives it.
class GloveSession::Handler final : public IZEMBRAIMUEventHandler {
 public:
  explicit Handler(SessionListener& listener) : listener_(listener) {}
  void OnReceivedIMUData(Pose pose, void*) override { listener_.OnPose(pose); }
  void OnReceivedIMUEvent(IMUEvent event, void*) override { listener_.OnEvent(event); }

 private:
  SessionListener& listener_;
};

GloveSession::GloveSession(SessionListener& listener, int mode) : driver_(InitDataGlove(initError_, mode)) {
  IZEMBRAIMUEventHandler* handler = new Handler(listener);
  driver_->RegisterIMUDataCallback(handler, nullptr);
}

GloveSession::~GloveSession() {
  if (portUsed_) Close();
  UnInit(driver_);  // also destroys the handler
}

void GloveSession::UseHand(HandType hand) {
  if (hand_ == hand) return;
  PortInfo probe;
  probe.hand = hand;
  EIMUError ignored = IMUError_None;
  driver_->DetectGlovePort(ignored, probe);
  hand_ = hand;
}

EIMUError GloveSession::Detect(HandType hand, PortInfo& info) {
  info = PortInfo();
  info.baud_rate = kBaudRate;
  info.hand = hand;
  EIMUError err = IMUError_None;
  driver_->DetectGlovePort(err, info);
  hand_ = hand;
  return err;
}

EIMUError GloveSession::Open(const PortInfo& info) {
  UseHand(info.hand);
  portUsed_ = true;
  EIMUError err = IMUError_None;  // OpenPort leaves it as given on success
  driver_->OpenPort(err, info);
  return err;
}

EIMUError GloveSession::StartPairing(int channel, const PortInfo& info) {
  UseHand(info.hand);
  portUsed_ = true;
  EIMUError err = IMUError_None;
  driver_->StartPairing(channel, info, err);
  return err;
}

EIMUError GloveSession::SwitchToRSSIScan() {
  EIMUError err = IMUError_None;
  driver_->SwitchToRSSIScan(err);
  return err;
}

EIMUError GloveSession::SetLatencyTimer(const PortInfo& info) {
  EIMUError err = IMUError_None;
  driver_->SetLatencyTimer(info, err);
  return err;
}

EIMUError GloveSession::Close() {
  portUsed_ = false;
  EIMUError err = IMUError_None;
  driver_->ClosePort(err);
  return err;
}

}  // namespace client
}  // namespace ZEMBRA
