// zembra-live: finds both gloves' receivers, opens them and shows their
// finger bends live. A client of the public interface only, as an
// application would be.
//
//   zembra-live [--seconds N] [--hand left|right|both] [--advanced]
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "zembra/ZEMBRAIMU.h"

namespace {

std::atomic<bool> g_stop{false};  // set by SIGINT/SIGTERM only

// Counts poses; the bends are read from the driver with GetFingerValue.
class CountingHandler final : public ZEMBRA::IZEMBRAIMUEventHandler {
 public:
  explicit CountingHandler(std::atomic<long>& poses) : poses_(poses) {}
  void OnReceivedIMUData(ZEMBRA::Pose, void*) override { poses_.fetch_add(1, std::memory_order_relaxed); }
  void OnReceivedIMUEvent(ZEMBRA::IMUEvent event, void*) override {
    std::printf("event %d for hand %d\n", event.type, int(event.hand));
  }

 private:
  std::atomic<long>& poses_;
};

struct Glove {
  const char* name;
  ZEMBRA::HandType hand;
  ZEMBRA::IZEMBRAIMU* driver = nullptr;
  std::atomic<long> poses{0};
  bool open = false;
};

bool OpenGlove(Glove& glove, bool advanced) {
  ZEMBRA::EIMUError err = ZEMBRA::IMUError_None;
  glove.driver = InitDataGlove(err, advanced ? 2 : 1);
  ZEMBRA::IZEMBRAIMUEventHandler* handler = new CountingHandler(glove.poses);
  glove.driver->RegisterIMUDataCallback(handler, nullptr);
  ZEMBRA::PortInfo info;
  info.hand = glove.hand;
  info.baud_rate = 1000000;
  glove.driver->DetectGlovePort(err, info);
  if (err != ZEMBRA::IMUError_None) {
    std::printf("%s glove: no receiver found (error %d). Run zembra-ports to see the serial ports.\n", glove.name,
                int(err));
    return false;
  }
  glove.driver->OpenPort(err, info);
  if (err != ZEMBRA::IMUError_None) {
    std::printf("%s glove: could not open %s (error %d)\n", glove.name, info.port_name.c_str(), int(err));
    ZEMBRA::EIMUError ignored;
    glove.driver->ClosePort(ignored);
    return false;
  }
  glove.open = true;
  return true;
}

void PrintValues(std::vector<Glove*>& gloves, long elapsedMs) {
  std::printf("%6.1fs", double(elapsedMs) / 1000.0);
  for (Glove* glove : gloves) {
    if (!glove->open) continue;
    std::printf(" | %s poses %6ld bends", glove->name, glove->poses.load());
    for (int finger = 0; finger < 5; ++finger) {
      ZEMBRA::EIMUError err;
      std::printf(" %6.1f", glove->driver->GetFingerValue(finger, err));
    }
  }
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 0;
  std::string which = "both";
  bool advanced = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (!std::strcmp(argv[i], "--hand") && i + 1 < argc) {
      which = argv[++i];
    } else if (!std::strcmp(argv[i], "--advanced")) {
      advanced = true;
    } else {
      std::fprintf(stderr, "usage: %s [--seconds N] [--hand left|right|both] [--advanced]\n", argv[0]);
      return 2;
    }
  }
  std::signal(SIGINT, [](int) { g_stop = true; });
  std::signal(SIGTERM, [](int) { g_stop = true; });

  Glove left{"left", ZEMBRA::Hand_Left};
  Glove right{"right", ZEMBRA::Hand_Right};
  std::vector<Glove*> gloves;
  if (which != "right") gloves.push_back(&left);
  if (which != "left") gloves.push_back(&right);

  int opened = 0;
  for (Glove* glove : gloves) opened += OpenGlove(*glove, advanced) ? 1 : 0;
  std::printf("finger bends in degrees: pinky ring middle index thumb\n");

  const auto start = std::chrono::steady_clock::now();
  while (opened > 0 && !g_stop) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long elapsed =
        long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    PrintValues(gloves, elapsed);
    if (seconds > 0 && elapsed >= long(seconds * 1000)) break;
  }

  int status = opened == int(gloves.size()) ? 0 : 1;
  for (Glove* glove : gloves) {
    if (glove->open) {
      ZEMBRA::EIMUError err;
      glove->driver->ClosePort(err);
      if (glove->poses.load() == 0) status = 1;
      std::printf("%s glove: %ld poses received\n", glove->name, glove->poses.load());
    }
    UnInit(glove->driver);
  }
  return status;
}
