#include "tool/viewer/glove_feed.h"

namespace ZEMBRA {
namespace viewer {

namespace {
constexpr int kBaudRate = 1000000;
constexpr int kGloveMode = 1;
}  // namespace

// Owned by the driver object once registered; the feed outlives it.
class GloveFeed::Handler final : public IZEMBRAIMUEventHandler {
 public:
  explicit Handler(GloveFeed& feed) : feed_(feed) {}
  void OnReceivedIMUData(Pose pose, void*) override { feed_.Publish(pose); }
  void OnReceivedIMUEvent(IMUEvent, void*) override {}

 private:
  GloveFeed& feed_;
};

GloveFeed::GloveFeed(HandType hand, std::chrono::milliseconds retry)
    : hand_(hand), retry_(retry), thread_([this] { Run(); }) {}

GloveFeed::~GloveFeed() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void GloveFeed::Publish(const Pose& pose) {
  latest_.Put(pose);
  lastPose_.store(Clock::now().time_since_epoch().count());
  poses_.fetch_add(1);
}

bool GloveFeed::WaitOrStop(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  return wake_.wait_for(lock, wait, [this] { return stopping_; });
}

void GloveFeed::Run() {
  for (;;) {
    // A fresh driver object per attempt: a closed one is not opened again.
    EIMUError err = IMUError_None;
    IZEMBRAIMU* driver = InitDataGlove(err, kGloveMode);
    if (!driver) {
      if (WaitOrStop(retry_)) return;
      continue;
    }
    IZEMBRAIMUEventHandler* handler = new Handler(*this);
    driver->RegisterIMUDataCallback(handler, nullptr);
    PortInfo info;
    info.hand = hand_;
    info.baud_rate = kBaudRate;
    driver->DetectGlovePort(err, info);
    bool open = false;
    if (err == IMUError_None) {
      state_ = State::Opening;
      driver->OpenPort(err, info);
      open = err == IMUError_None;
    }
    state_ = open ? State::Open : State::NoReceiver;
    // Open: the driver keeps the link alive by itself until the end.
    bool stop = true;
    if (open) {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_; });
    } else {
      stop = WaitOrStop(retry_);
    }
    if (open) driver->ClosePort(err);
    UnInit(driver);
    if (stop) return;
  }
}

}  // namespace viewer
}  // namespace ZEMBRA
