// Loads the plug-in with dlopen, opens the left glove (receiver "LH0") and
// counts the poses and events its callbacks deliver.
//   plugin-host [seconds]   (default 5)
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "ZEMBRA_IMU.h"

namespace {

std::atomic<long> g_poses{0};

// On the plug-in's serial thread.
void OnPose(void*, const float joints[16][4], int packetsPerSecond, int, const int*, float, int hand, int channel) {
  if (g_poses++ % 50 == 0)
    std::printf("pose: hand %d, channel %d, %d packets/s, wrist w %.3f\n", hand, channel, packetsPerSecond,
                joints[0][3]);
}
void OnEvent(void*, int code) { std::printf("event %d\n", code); }

template <typename F>
F Find(void* library, const char* name) {
  return reinterpret_cast<F>(dlsym(library, name));
}

}  // namespace

int main(int argc, char* argv[]) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
  void* library = dlopen(PLUGIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    std::printf("cannot load %s: %s\n", PLUGIN_LIBRARY, dlerror());
    return 1;
  }
  // The exports' types come from the header; the addresses from the library.
  auto init = Find<decltype(&InitDataGlove)>(library, "InitDataGlove");
  auto onData = Find<decltype(&RegisterDataCallback)>(library, "RegisterDataCallback");
  auto onEvent = Find<decltype(&RegisterEventCallback)>(library, "RegisterEventCallback");
  auto open = Find<decltype(&OpenPort)>(library, "OpenPort");
  auto start = Find<decltype(&StartStreaming)>(library, "StartStreaming");
  auto close = Find<decltype(&ClosePort)>(library, "ClosePort");
  if (!init || !onData || !onEvent || !open || !start || !close) {
    std::printf("%s lacks the plug-in's exports\n", PLUGIN_LIBRARY);
    return 1;
  }

  ZembraImuHandle* glove = init(false, 0);
  onData(nullptr, glove, OnPose);
  onEvent(glove, OnEvent);
  if (!open(glove, 0, 1)) {
    std::printf("no left-hand receiver LH0 could be opened\n");
    close(glove);
    return 1;
  }
  start(glove);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  close(glove);  // frees the handle
  std::printf("poses received: %ld\n", g_poses.load());
  dlclose(library);
  return g_poses > 0 ? 0 : 1;
}
