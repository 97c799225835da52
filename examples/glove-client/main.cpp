// Finds the left glove's receiver, opens it, and prints a line every 50
// poses: the wrist rotation and the five finger bends.
//   glove-client [seconds]   (default 5)
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "zembra/ZEMBRAIMU.h"

namespace {

// Runs on the driver's reader thread: keep it short.
class Handler final : public ZEMBRA::IZEMBRAIMUEventHandler {
 public:
  void OnReceivedIMUData(ZEMBRA::Pose pose, void*) override {
    const ZEMBRA::Quat& wrist = pose.joints[ZEMBRA::Joint_Wrist];
    if (poses++ % 50 == 0)
      std::printf("pose %ld: wrist (%.3f, %.3f, %.3f, %.3f)\n", poses.load(), wrist.x, wrist.y, wrist.z, wrist.w);
  }
  void OnReceivedIMUEvent(ZEMBRA::IMUEvent event, void*) override { std::printf("event %d\n", event.type); }
  std::atomic<long> poses{0};
};

}  // namespace

int main(int argc, char* argv[]) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
  ZEMBRA::EIMUError err = ZEMBRA::IMUError_None;
  ZEMBRA::IZEMBRAIMU* glove = InitDataGlove(err, 1);
  auto* handler = new Handler;  // the driver owns it from here
  ZEMBRA::IZEMBRAIMUEventHandler* registered = handler;
  glove->RegisterIMUDataCallback(registered, nullptr);

  ZEMBRA::PortInfo info;
  info.hand = ZEMBRA::Hand_Left;
  info.baud_rate = 1000000;
  glove->DetectGlovePort(err, info);
  if (err != ZEMBRA::IMUError_None) {
    std::printf("no left-hand receiver found (error %d)\n", int(err));
    UnInit(glove);
    return 1;
  }
  glove->OpenPort(err, info);
  if (err != ZEMBRA::IMUError_None) {
    std::printf("could not open %s (error %d)\n", info.port_name.c_str(), int(err));
    UnInit(glove);
    return 1;
  }
  for (int s = 0; s < seconds; ++s) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::printf("fingers (pinky ... thumb):");
    for (int finger = 0; finger < 5; ++finger) std::printf(" %.1f", glove->GetFingerValue(finger, err));
    std::printf("\n");
  }
  const long poses = handler->poses;
  glove->ClosePort(err);
  UnInit(glove);  // destroys the handler too
  std::printf("poses received: %ld\n", poses);
  return poses > 0 ? 0 : 1;
}
