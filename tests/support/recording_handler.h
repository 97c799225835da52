// An event handler that records what the driver delivered, for tests. The
// driver owns the handler once registered, so the records live in a
// separate object the test keeps.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "zembra/ZEMBRAIMU.h"

namespace ZEMBRA {
namespace testsupport {

struct Recording {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Pose> poses;
  std::vector<IMUEvent> events;
  std::vector<void*> contexts;
  int destroyed = 0;
  size_t keepPoses = 100000;

  size_t poseCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return poses.size();
  }
  std::vector<IMUEvent> eventsSoFar() {
    std::lock_guard<std::mutex> lock(mutex);
    return events;
  }
  // Waits until pred() holds (checked under the lock) or the time is up.
  template <typename Pred>
  bool WaitFor(std::chrono::milliseconds within, Pred pred) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, within, pred);
  }
};

class RecordingHandler final : public IZEMBRAIMUEventHandler {
 public:
  explicit RecordingHandler(Recording& recording) : recording_(recording) {}
  ~RecordingHandler() override {
    std::lock_guard<std::mutex> lock(recording_.mutex);
    ++recording_.destroyed;
  }
  void OnReceivedIMUData(Pose pose, void* context) override {
    std::lock_guard<std::mutex> lock(recording_.mutex);
    if (recording_.poses.size() < recording_.keepPoses) recording_.poses.push_back(pose);
    recording_.contexts.push_back(context);
    recording_.changed.notify_all();
  }
  void OnReceivedIMUEvent(IMUEvent event, void* context) override {
    std::lock_guard<std::mutex> lock(recording_.mutex);
    recording_.events.push_back(event);
    recording_.contexts.push_back(context);
    recording_.changed.notify_all();
  }

 private:
  Recording& recording_;
};

}  // namespace testsupport
}  // namespace ZEMBRA
