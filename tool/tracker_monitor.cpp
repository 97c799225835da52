#include "tool/tracker_monitor.h"

#include <chrono>
#include <thread>

#include "tool/tool_log.h"

using ZEMBRA::EIMUError;
using ZEMBRA::HandType;
using ZEMBRA::IMUError_None;

void CheckHTCTrackerStatus::CZEMBRAIMUEventHandler::OnReceivedIMUEvent(ZEMBRA::IMUEvent event, void* context) {
  auto* monitor = static_cast<CheckHTCTrackerStatus*>(context);
  if (event.type == ZEMBRA::IMUEvent_TrackerConnected) {
    emit monitor->OnHTCTrackerConnected(event.hand);
    ToolLog("HTC tracker connected!");
  } else if (event.type == ZEMBRA::IMUEvent_TrackerDisconnected) {
    emit monitor->OnHTCTrackerDisconnected(event.hand);
    ToolLog("HTC tracker disconnected!");
  }
}

CheckHTCTrackerStatus::CheckHTCTrackerStatus(QObject* parent) : QObject(parent) { RegisterToolMetaTypes(); }

CheckHTCTrackerStatus::~CheckHTCTrackerStatus() {
  running_ = false;
  std::lock_guard<std::mutex> lock(driverMutex_);
  if (driver_) UnInit(driver_);
}

void CheckHTCTrackerStatus::OnCheckTrackerStatusReceived() {
  EIMUError error = IMUError_None;
  {
    std::lock_guard<std::mutex> lock(driverMutex_);
    if (driver_ || !running_) return;
    auto* handler = new CZEMBRAIMUEventHandler;
    driver_ = InitDataGlove(error, 4);
    if (error != IMUError_None) {
      ToolLog(QStringLiteral("Error: %1").arg(int(error)));
      delete handler;
      // No runtime, no tracker functions: the commands then say so rather
      // than reach an object that cannot serve them.
      UnInit(driver_);
      return;
    }
    ZEMBRA::IZEMBRAIMUEventHandler* registered = handler;
    driver_->RegisterIMUDataCallback(registered, this);
  }
  while (running_) {
    {
      std::lock_guard<std::mutex> lock(driverMutex_);
      // The driver waits a few milliseconds inside when nothing is pending,
      // so this loop does not keep a processor busy.
      driver_->CheckTrackerStatus(error);
    }
    // A command is waiting for the driver object: let it have it.
    while (waiting_ > 0 && running_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::lock_guard<std::mutex> lock(driverMutex_);
  UnInit(driver_);
}

template <typename Operation>
bool CheckHTCTrackerStatus::WithDriver(Operation operation) {
  ++waiting_;
  std::lock_guard<std::mutex> lock(driverMutex_);
  --waiting_;
  if (!driver_) return false;
  operation(*driver_);
  return true;
}

bool CheckHTCTrackerStatus::ConfigTracker(EIMUError& error, HandType hand) {
  return WithDriver([&](ZEMBRA::IZEMBRAIMU& driver) { driver.ConfigTracker(error, hand); });
}

bool CheckHTCTrackerStatus::IdentifyTracker(EIMUError& error, HandType hand) {
  return WithDriver([&](ZEMBRA::IZEMBRAIMU& driver) { driver.IdentifyTracker(error, hand); });
}
