// The configuration tool's worker for one glove: it owns the hand's driver
// object, finds and opens the hand's receiver on request, turns every pose
// into a report for the main window, closes the port before pairing or a
// demo, resets the receiver's latency timer, and keeps the frames of a
// recording.
//
// Threads. The monitor lives in a worker thread of its own; its slots run
// there when they are reached by queued signals. The main window also calls
// OnStopCheckStatusReceived, OnResetLatencyTimerReceived and the recording
// slots directly from the GUI thread; reports such a call emits then reach
// the window before the call returns. The driver object is guarded by one
// lock, the recording by another, so a pose is never held up by a search.
// The GUI thread never waits long for the driver object: a stop request
// that finds the monitor busy opening a port is queued to the monitor's own
// thread, which runs it as soon as the open returns (it cannot be lost),
// and the report follows queued. Searches do not pile up behind a slow
// receiver: ClaimSearch lets at most one wait while another runs.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "driver/client/glove_session.h"
#include "tool/glove_status.h"
#include "tool/recording/frame_grid.h"

class CheckGloveStatus : public QObject {
  Q_OBJECT

 public:
  // The driver's callbacks, through the monitor's session: poses go to the
  // monitor's thread as a queued signal; events are only logged.
  class CZEMBRAIMUEventHandler : public ZEMBRA::client::SessionListener {
   public:
    explicit CZEMBRAIMUEventHandler(CheckGloveStatus& monitor) : monitor_(monitor) {}
    void OnPose(const ZEMBRA::Pose& pose) override;
    void OnEvent(const ZEMBRA::IMUEvent& event) override;

   private:
    CheckGloveStatus& monitor_;
  };

  explicit CheckGloveStatus(QObject* parent = nullptr);
  ~CheckGloveStatus() override;

  // GUI thread, at exit: closes the port and releases the driver object, so
  // that no driver thread calls into the monitor any more. Searches that
  // arrive afterwards do nothing.
  void Shutdown();
  // GUI thread: the port closed for pairing or a demo may be searched for
  // again. ClearPortOpen also forgets that the port was open (the main
  // window after a pairing, whose own object used the port meanwhile).
  void Resume();
  void ClearPortOpen();
  bool portOpen() const { return portOpen_.load(); }
  bool recording() const;
  // GUI thread, before it asks for a search: false when a search is queued
  // already and has not started (that one will do).
  bool ClaimSearch() { return !searchQueued_.exchange(true); }
  // For tests: searches that ran (each a slot call that got past the hold),
  // and whether one waits in the queue.
  int searchCount() const { return searches_.load(); }
  bool searchWaiting() const { return searchQueued_.load(); }
  // The recording as it stood at stop (steady-clock nanoseconds, taken when
  // the user pressed Stop): its frames go out through
  // OnGloveDataRecordStopped before this returns; poses that came later are
  // dropped. The silences of that take stay readable until the next start.
  void StopRecording(int64_t stop);
  // Stop was pressed at stop, and the file is still being chosen: later
  // poses are recorded but do not reach back before stop. Cleared when the
  // user goes back to the recording.
  void MarkRecordingStop(int64_t stop);
  void ClearRecordingStop();
  std::vector<ZEMBRA::recording::Silence> recordingSilences() const;
  // The latency-timer reset of OnResetLatencyTimerReceived; false when it
  // did not run (recording, or not a hand).
  bool ResetLatencyTimer(ZEMBRA::HandType type, ZEMBRA::EIMUError& error);

 signals:
  void OnReceiveDataPacket(ZEMBRA::Pose data);
  void OnSendGloveStatus(GloveStatusStruct status);
  void OnGloveDataRecordStopped(std::vector<ZEMBRA::Pose>);

 public slots:
  void OnCheckGloveStatusReceived(ZEMBRA::HandType type);
  void OnGloveDataRecordReceived(RecordingStatus stat);
  void OnGloveDataRecordStopReceived();
  void OnDataGloveConnected(ZEMBRA::Pose pose);
  void OnStopCheckStatusReceived(ZEMBRA::HandType type);
  void OnResetLatencyTimerReceived(ZEMBRA::HandType type, ZEMBRA::EIMUError& error);

 private:
  // With driverMutex_ held: closes the port and releases the session.
  void ReleaseDriver();
  void StopLocked(ZEMBRA::HandType type);

  // The driver object and what goes with it. Recursive: a report emitted
  // while it is held may reach a window slot that calls in again.
  std::recursive_mutex driverMutex_;
  CZEMBRAIMUEventHandler handler_{*this};
  std::unique_ptr<ZEMBRA::client::GloveSession> session_;
  std::atomic<int32_t> hand_{0};  // read by the recording side too
  std::atomic<bool> portOpen_{false};
  // Closed for pairing or a demo: searches wait for Resume.
  std::atomic<bool> held_{false};
  std::atomic<bool> shutDown_{false};
  // A search request is waiting in the thread's queue.
  std::atomic<bool> searchQueued_{false};
  std::atomic<int> searches_{0};
  // When the last pose was handled (steady-clock ns; 0: none since the port
  // was last opened): a search never reopens a port that is delivering.
  std::atomic<int64_t> lastPose_{0};
  // The port is open and its poses count: poses still queued from a port
  // that has since been closed are dropped.
  std::atomic<bool> linkLive_{false};

  // Recording: frames on a fixed grid of the file's frame time.
  mutable std::recursive_mutex recordMutex_;
  bool recording_ = false;
  ZEMBRA::recording::FrameGrid grid_;
  std::vector<ZEMBRA::recording::Silence> silences_;
};
