// The configuration tool's worker that watches the two wrist trackers: a
// driver object in tracker mode, polled until the tool exits, whose events
// become signals for the main window. The window's tracker commands run on
// the same driver object, one thread at a time.
#pragma once

#include <QObject>
#include <atomic>
#include <mutex>

#include "tool/glove_status.h"

class CheckHTCTrackerStatus : public QObject {
  Q_OBJECT

 public:
  class CZEMBRAIMUEventHandler : public ZEMBRA::IZEMBRAIMUEventHandler {
   public:
    ~CZEMBRAIMUEventHandler() override = default;
    void OnReceivedIMUData(ZEMBRA::Pose, void*) override {}
    void OnReceivedIMUEvent(ZEMBRA::IMUEvent event, void* context) override;
  };

  explicit CheckHTCTrackerStatus(QObject* parent = nullptr);
  ~CheckHTCTrackerStatus() override;

  // Any thread: ends the polling loop; the loop then releases the driver
  // object on its own thread.
  void Stop() { running_ = false; }
  bool running() const { return running_.load(); }

  // GUI thread: the tracker commands on the monitor's driver object,
  // between two polls. False when there is no driver object (not made yet,
  // or the runtime could not be started); error is then left alone.
  bool ConfigTracker(ZEMBRA::EIMUError& error, ZEMBRA::HandType hand);
  bool IdentifyTracker(ZEMBRA::EIMUError& error, ZEMBRA::HandType hand);

 signals:
  void OnHTCTrackerConnected(ZEMBRA::HandType type);
  void OnHTCTrackerDisconnected(ZEMBRA::HandType type);

 public slots:
  // Runs until Stop: creates the driver object and polls it.
  void OnCheckTrackerStatusReceived();

 private:
  template <typename Operation>
  bool WithDriver(Operation operation);

  std::mutex driverMutex_;
  ZEMBRA::IZEMBRAIMU* driver_ = nullptr;  // behind driverMutex_
  std::atomic<bool> running_{true};
  // Commands waiting for the driver object: the loop steps aside for them.
  std::atomic<int> waiting_{0};
};
