#include "tool/glove_monitor.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "tool/tool_log.h"

using ZEMBRA::EIMUError;
using ZEMBRA::Hand_Left;
using ZEMBRA::Hand_Right;
using ZEMBRA::HandType;
using ZEMBRA::IMUError_None;

namespace {

// How long the GUI thread waits for a busy monitor before it leaves the
// stop to the monitor's own thread.
constexpr auto kGuiWait = std::chrono::milliseconds(100);

bool IsHand(HandType type) { return type == Hand_Left || type == Hand_Right; }

// A bounded wait for the lock by polling try_lock: the timed lock of the
// standard library waits in a way ThreadSanitizer does not follow.
bool TryLockFor(std::unique_lock<std::recursive_mutex>& lock, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!lock.try_lock()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

using ZEMBRA::recording::SteadyNanoseconds;

// A port whose last pose is younger than this is delivering: a search
// leaves it alone.
constexpr int64_t kDeliveringNs = 1000000000;

}  // namespace

void CheckGloveStatus::CZEMBRAIMUEventHandler::OnPose(const ZEMBRA::Pose& pose) {
  emit monitor_.OnReceiveDataPacket(pose);
}

void CheckGloveStatus::CZEMBRAIMUEventHandler::OnEvent(const ZEMBRA::IMUEvent& event) {
  if (const char* text = GloveEventText(event.type)) std::cout << text << std::endl;
}

CheckGloveStatus::CheckGloveStatus(QObject* parent) : QObject(parent) {
  RegisterToolMetaTypes();
  // Emitted on the driver's reader thread: each pose is copied into the
  // queue of the thread this monitor lives in.
  connect(this, &CheckGloveStatus::OnReceiveDataPacket, this, &CheckGloveStatus::OnDataGloveConnected);
}

CheckGloveStatus::~CheckGloveStatus() { Shutdown(); }

void CheckGloveStatus::Shutdown() {
  shutDown_ = true;
  std::lock_guard<std::recursive_mutex> lock(driverMutex_);
  ReleaseDriver();
}

void CheckGloveStatus::ReleaseDriver() {
  linkLive_ = false;
  session_.reset();  // closes a port it opened, releases the driver object
  portOpen_ = false;
  lastPose_ = 0;
}

void CheckGloveStatus::Resume() { held_ = false; }

void CheckGloveStatus::ClearPortOpen() {
  linkLive_ = false;
  portOpen_ = false;
  held_ = false;
  lastPose_ = 0;
}

bool CheckGloveStatus::recording() const {
  std::lock_guard<std::recursive_mutex> lock(recordMutex_);
  return recording_;
}

void CheckGloveStatus::OnCheckGloveStatusReceived(HandType type) {
  // From here on a new request queues one more search.
  searchQueued_ = false;
  std::lock_guard<std::recursive_mutex> lock(driverMutex_);
  // A port closed for pairing or a demo stays closed until the window says
  // otherwise, whatever searches were still queued.
  if (shutDown_ || held_) return;
  hand_ = type;
  if (!IsHand(type)) return;
  ++searches_;
  // A request that waited while the glove came back: reopening the port now
  // would only interrupt it.
  const int64_t lastPose = lastPose_.load();
  if (portOpen_ && lastPose != 0 && SteadyNanoseconds() - lastPose < kDeliveringNs) {
    emit OnSendGloveStatus({GloveStatus_GlovePortFound, type});
    return;
  }
  if (portOpen_) {
    ReleaseDriver();
    ToolLog("Port is closed");
  } else if (session_) {
    // Left from before a pairing: its port was closed for it.
    ReleaseDriver();
  }

  session_ = std::make_unique<ZEMBRA::client::GloveSession>(handler_, ZEMBRA::client::kGloveMode);
  if (session_->initError() != IMUError_None) {
    ToolLog(QStringLiteral("Init Error Code: %1").arg(int(session_->initError())));
    session_.reset();
    return;
  }
  ZEMBRA::PortInfo info;
  if (session_->Detect(type, info) != IMUError_None) {
    ReleaseDriver();
    emit OnSendGloveStatus({GloveStatus_GlovePortNotFound, type});
    return;
  }
  emit OnSendGloveStatus({GloveStatus_GlovePortFound, type});
  const QString side = type == Hand_Left ? "LEFTHAND" : "RIGHTHAND";
  ToolLog(side + " PORT DESCIPTION: " + QString::fromStdString(info.description));
  ToolLog(side + " PORT HARDWARE ID: " + QString::fromStdString(info.hardware_id));
  ToolLog(side + " PORT INSTANCE ID: " + QString::fromStdString(info.instance_id));
  ToolLog(side + " PORT NAME: " + QString::fromStdString(info.port_name));
  ToolLog(side + " PORT BAUD RATE: " + QString::number(info.baud_rate));
  lastPose_ = 0;
  linkLive_ = true;
  session_->Open(info);
  portOpen_ = true;
  ToolLog("Port is opened");
}

void CheckGloveStatus::OnStopCheckStatusReceived(HandType type) {
  if (recording()) return;
  held_ = IsHand(type);
  std::unique_lock<std::recursive_mutex> lock(driverMutex_, std::defer_lock);
  if (!TryLockFor(lock, kGuiWait)) {
    // Busy opening the port (a receiver may take seconds to report): the
    // stop joins the monitor thread's queue behind the open, so it runs as
    // soon as the open returns and cannot be lost.
    QMetaObject::invokeMethod(
        this,
        [this, type] {
          std::lock_guard<std::recursive_mutex> busyLock(driverMutex_);
          if (!shutDown_) StopLocked(type);
        },
        Qt::QueuedConnection);
    return;
  }
  StopLocked(type);
}

void CheckGloveStatus::StopLocked(HandType type) {
  ToolLog("OnStopCheckStatusReceived");
  if (!IsHand(type)) return;
  linkLive_ = false;
  if (session_) session_->Close();
  lastPose_ = 0;
  emit OnSendGloveStatus({GloveStatus_GlovePortClosedForPairing, type});
}

void CheckGloveStatus::OnResetLatencyTimerReceived(HandType type, EIMUError& error) { ResetLatencyTimer(type, error); }

bool CheckGloveStatus::ResetLatencyTimer(HandType type, EIMUError& error) {
  if (recording()) return false;
  ToolLog("OnResetLatencyTimerReceived");
  if (!IsHand(type)) return false;
  // A session of its own: the setting belongs to the receiver, and finding
  // the receiver and writing the setting never touch the link, so this
  // neither waits for nor disturbs the monitor's session, which may be busy
  // opening the port.
  struct NoCallbacks : ZEMBRA::client::SessionListener {
    void OnPose(const ZEMBRA::Pose&) override {}
  } noCallbacks;
  ZEMBRA::client::GloveSession session(noCallbacks);
  ZEMBRA::PortInfo info;
  error = session.Detect(type, info);
  if (error == IMUError_None) error = session.SetLatencyTimer(info);
  return true;
}

void CheckGloveStatus::OnDataGloveConnected(ZEMBRA::Pose pose) {
  if (!linkLive_) return;
  const int64_t now = SteadyNanoseconds();
  lastPose_ = now;
  {
    std::lock_guard<std::recursive_mutex> lock(recordMutex_);
    if (recording_) grid_.Add(now, pose);
  }
  if (IsHand(pose.type)) emit OnSendGloveStatus({GloveStatus_GloveDataReceived, pose.type});
}

void CheckGloveStatus::OnGloveDataRecordReceived(RecordingStatus stat) {
  std::lock_guard<std::recursive_mutex> lock(recordMutex_);
  if (stat == RecordingStatus_Prepare) {
    // Whatever an earlier recording left is gone before this one starts.
    recording_ = false;
    grid_.Reset(SteadyNanoseconds());
    silences_.clear();
    emit OnSendGloveStatus({GloveStatus_GloveRecordingPrepared, hand_.load()});
  } else if (stat == RecordingStatus_Start) {
    ToolLog("start recording");
    grid_.Reset(SteadyNanoseconds());
    recording_ = true;
  }
}

void CheckGloveStatus::OnGloveDataRecordStopReceived() { StopRecording(SteadyNanoseconds()); }

void CheckGloveStatus::StopRecording(int64_t stop) {
  std::vector<ZEMBRA::Pose> frames;
  {
    std::lock_guard<std::recursive_mutex> lock(recordMutex_);
    if (recording_) {
      silences_ = grid_.SilencesUntil(stop);
      frames = grid_.TakeUntil(stop);
    } else {
      frames = grid_.Take();
    }
    recording_ = false;
  }
  emit OnGloveDataRecordStopped(frames);
}

void CheckGloveStatus::MarkRecordingStop(int64_t stop) {
  std::lock_guard<std::recursive_mutex> lock(recordMutex_);
  if (recording_) grid_.MarkStop(stop);
}

void CheckGloveStatus::ClearRecordingStop() {
  std::lock_guard<std::recursive_mutex> lock(recordMutex_);
  grid_.ClearStop();
}

std::vector<ZEMBRA::recording::Silence> CheckGloveStatus::recordingSilences() const {
  std::lock_guard<std::recursive_mutex> lock(recordMutex_);
  return silences_;
}
