#include "driver/client/receiver_feed.h"

#include <algorithm>
#include <optional>

#include "driver/client/receivers.h"

namespace ZEMBRA {
namespace client {

FeedTarget FeedTarget::ById(const std::string& instanceId) {
  const std::optional<ReceiverTag> tag = ReadReceiverTag(instanceId);
  return {tag ? tag->hand : Hand_Left, instanceId};
}

ReceiverFeed::ReceiverFeed(FeedTarget target, FeedOptions options)
    : target_(std::move(target)), options_(std::move(options)), thread_([this] { Run(); }) {}

ReceiverFeed::~ReceiverFeed() {
  {
    std::lock_guard<std::mutex> lock(stopMutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

FeedState ReceiverFeed::state() const {
  switch (phase_.load()) {
    case Phase::Looking:
      return FeedState::NoReceiver;
    case Phase::Opening:
      return FeedState::Opening;
    case Phase::Open:
      break;
  }
  // Poses of an earlier opening all came before this one began.
  const Clock::rep last = lastPose_.load();
  if (last < openedAt_.load()) return FeedState::Silent;
  return Clock::now() - lastPoseTime() <= options_.silence ? FeedState::Streaming : FeedState::Silent;
}

PortInfo ReceiverFeed::port() const {
  std::lock_guard<std::mutex> lock(portMutex_);
  return livePort_;
}

void ReceiverFeed::OnPose(const Pose& pose) {
  latest_.Put(pose);
  lastPose_.store(Clock::now().time_since_epoch().count());
  poses_.fetch_add(1);
  if (options_.onPose) options_.onPose(pose);
}

void ReceiverFeed::OnEvent(const IMUEvent& event) {
  if (options_.onEvent) options_.onEvent(event);
}

void ReceiverFeed::Run() {
  for (;;) {
    PortInfo port;
    std::unique_ptr<GloveSession> session = OpenTarget(port);
    if (!session) {
      phase_ = Phase::Looking;
      if (WaitUntilOrStop(Clock::now() + options_.retry)) return;
      continue;
    }
    opens_.fetch_add(1);
    Publish(session.get(), port);
    phase_ = Phase::Open;
    const End end = Watch(port);
    // Waits for a command that is running; later ones find no driver.
    Publish(nullptr, PortInfo());
    phase_ = Phase::Looking;
    session.reset();  // closes the port and joins the driver's threads
    if (end == End::Stop) return;
    // Silent or gone: look again at once.
  }
}

std::unique_ptr<GloveSession> ReceiverFeed::NewSession() {
  SessionListener& listener = *this;  // the base is private: convert here
  return std::make_unique<GloveSession>(listener, options_.mode);
}

std::unique_ptr<GloveSession> ReceiverFeed::OpenTarget(PortInfo& port) {
  const auto open = [this](GloveSession& session, const PortInfo& info) {
    phase_ = Phase::Opening;
    openedAt_.store(Clock::now().time_since_epoch().count());
    return session.Open(info);
  };
  EIMUError err = IMUError_PortNotFound;
  if (target_.instance_id.empty()) {
    auto session = NewSession();
    err = session->Detect(target_.hand, port);
    if (err == IMUError_None) err = open(*session, port);
    lastError_ = err;
    return err == IMUError_None ? std::move(session) : nullptr;
  }
  // A receiver pulled out may linger in the port list under its old name
  // while it comes back under a new one: try every port that carries it.
  for (const Receiver& receiver : ListReceivers()) {
    if (receiver.port.instance_id != target_.instance_id) continue;
    if (Stopping()) break;
    auto session = NewSession();
    port = receiver.port;
    err = open(*session, port);
    if (err == IMUError_None) {
      lastError_ = err;
      return session;
    }
  }
  lastError_ = err;
  return nullptr;
}

ReceiverFeed::End ReceiverFeed::Watch(const PortInfo& port) {
  const Clock::time_point opened = Clock::now();
  Clock::time_point nextCheck = opened + options_.retry;
  for (;;) {
    Clock::time_point until = nextCheck;
    if (options_.reopenWhenSilent) {
      const Clock::time_point heard = std::max(opened, lastPoseTime());
      if (Clock::now() - heard >= options_.silence) return End::Silent;
      until = std::min(until, heard + options_.silence);
    }
    if (WaitUntilOrStop(until)) return End::Stop;
    if (Clock::now() >= nextCheck) {
      if (!PortPresent(port)) return End::Gone;
      nextCheck = Clock::now() + options_.retry;
    }
  }
}

bool ReceiverFeed::Stopping() {
  std::lock_guard<std::mutex> lock(stopMutex_);
  return stopping_;
}

bool ReceiverFeed::WaitUntilOrStop(Clock::time_point until) {
  std::unique_lock<std::mutex> lock(stopMutex_);
  return wake_.wait_until(lock, until, [this] { return stopping_; });
}

void ReceiverFeed::Publish(GloveSession* session, const PortInfo& port) {
  {
    std::lock_guard<std::mutex> lock(commandMutex_);
    live_ = session;
  }
  std::lock_guard<std::mutex> lock(portMutex_);
  livePort_ = port;
}

template <typename Command>
EIMUError ReceiverFeed::OnOpenDriver(Command command) {
  std::lock_guard<std::mutex> lock(commandMutex_);
  if (!live_) return IMUError_PortNotOpen;
  return command(live_->driver());
}

EIMUError ReceiverFeed::AlignFingers() {
  return OnOpenDriver([](IZEMBRAIMU& driver) {
    driver.OnOkPoseAlignment();
    return IMUError_None;
  });
}

EIMUError ReceiverFeed::SaveCalibration() {
  return OnOpenDriver([](IZEMBRAIMU& driver) {
    EIMUError err = IMUError_None;
    driver.OnSaveCalibration(err);
    return err;
  });
}

EIMUError ReceiverFeed::Vibrate(std::chrono::milliseconds period) {
  return OnOpenDriver([period](IZEMBRAIMU& driver) {
    EIMUError err = IMUError_None;
    if (period.count() > 0) {
      driver.VibratePeriod(err, int(period.count()));
    } else {
      driver.Vibrate(err);
    }
    return err;
  });
}

EIMUError ReceiverFeed::FingerValue(int index, double& degrees) {
  return OnOpenDriver([index, &degrees](IZEMBRAIMU& driver) {
    EIMUError err = IMUError_None;
    degrees = driver.GetFingerValue(index, err);
    return err;
  });
}

}  // namespace client
}  // namespace ZEMBRA
