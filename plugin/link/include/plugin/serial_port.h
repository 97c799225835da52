// The plug-in's object for one glove: the receiver's port, the channel
// report and random quiet channel, streaming into the plug-in's pose
// variant, rate supervision with a grace period and channel hopping, link
// events, and vibration workers.
//
// Threads: the engine thread calls every public member. StartStreaming
// starts the serial thread (reads, decoding, supervision, both callbacks)
// and the timer thread (the grace timer only). The supervision runs after
// every read and on a tick of its own, so that a line gone silent is
// supervised too: with no read completing, its silent second would
// otherwise never be counted. VibratePeriod starts a worker
// per request; Close stops and joins all of them. Values shared between the
// threads are atomics, and the channel list sits behind a mutex.
#pragma once

#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/streambuf.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/link_timings.h"
#include "link/rate_windows.h"
#include "platform/serial_device.h"
#include "plugin/pose_variant.h"
#include "protocol/channel_report.h"
#include "protocol/packet.h"

namespace ZEMBRA_IMU {

// The plug-in's engine and hand code, as the C interface's object uses them.
using ZEMBRA::plugin_pose::PoseVariant;
using ZEMBRA::protocol::kPluginHandLeft;
using ZEMBRA::protocol::kPluginHandRight;
using ZEMBRA::protocol::PluginHand;

using DataCallback = void (*)(void* context, const float joints[16][4], int packetsPerSecond, int statusByte,
                              const int* statusTable, float statusValue, int hand, int radioChannel);
using EventCallback = void (*)(void* context, int eventCode);

enum PluginEvent : int {
  PluginEvent_Connected = 2,
  PluginEvent_Disconnected = 3,
  PluginEvent_ChannelHopped = 11,
};

constexpr int kRandomChannel = 101;

using ZEMBRA::link::LinkTimings;

class SerialPort {
 public:
  SerialPort(bool advancedMode, int hardwareVersion, LinkTimings timings = {});
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Nothing derives from SerialPort and nothing overrides these: they are
  // virtual because the plug-in's object has always carried these six
  // operations in this slot order (destructor, Open, Close, Restart,
  // OnReceive, ParsePacket), and an engine binding that looks into the
  // object may rely on its layout. Keep them, and in this order.
  virtual ~SerialPort();
  virtual bool Open(const std::string& portName, int baudRate);
  // True when the port handle is closed afterwards. Stops every thread.
  virtual bool Close();
  // Reads the next channel report, moves to a random quiet channel and
  // starts the grace period. Always true.
  virtual bool Restart();
  virtual void OnReceive(const boost::system::error_code& ec, size_t bytesRead);
  virtual void ParsePacket(const uint8_t* data, size_t size);

  void StartStreaming();
  // One blocking write: bytes written, 0 on failure or a closed port, -1
  // without a port object.
  int WriteBytes(const uint8_t* data, size_t count);
  // Channel 0..100 as given, above 100 a random quiet channel for the hand.
  // Returns the count of the channel byte's write.
  int SetChannel(int channel);
  // Starts a worker that writes "v" every 10 ms for the period, and joins
  // the workers of earlier requests that have finished.
  void VibratePeriod(int milliseconds);
  // Workers not yet joined, finished or not.
  size_t vibrationWorkerCount() const;

  void SetHand(PluginHand hand) {
    hand_ = hand;
    pose_.SetHand(hand);
  }
  PluginHand hand() const { return hand_; }
  int radioChannel() const { return radioChannel_.load(); }
  bool portCreated() const { return port_ != nullptr; }
  PoseVariant& pose() { return pose_; }
  void RegisterDataCallback(void* context, DataCallback callback) {
    context_ = context;
    dataCallback_ = callback;
  }
  void RegisterEventCallback(EventCallback callback) { eventCallback_ = callback; }
  std::vector<ZEMBRA::protocol::ChannelNoise> channelList() const;

 private:
  using WorkGuard = boost::asio::executor_work_guard<boost::asio::io_context::executor_type>;
  enum class ReportResult { Parsed, Failed, TimedOut, Cancelled };

  ReportResult ReadChannelReport();
  int ChooseRandomChannel();
  void ArmGraceTimer();
  void StartRead();
  // The rate windows' step, their keep-alive and their decisions (a new
  // channel, or event 3 and a restart). Serial thread. readPending: a read
  // is outstanding (the tick), so a restart first cancels it and runs when
  // it completes.
  void Supervise(bool readPending);
  void ArmSupervisionTick();
  void RaiseEvent(int code);
  void StopThreads();
  void StopVibrationWorkers();
  bool rightHand() const { return IsRight(hand_); }
  const char* SetupLabel() const { return rightHand() ? "Righthand setup to channel:" : "Lefthand setup to channel:"; }

  const LinkTimings timings_;
  boost::asio::io_context serialIo_;
  boost::asio::io_context timerIo_;
  std::unique_ptr<WorkGuard> serialWork_;
  std::unique_ptr<WorkGuard> timerWork_;
  boost::asio::steady_timer graceTimer_;
  boost::asio::steady_timer supervisionTimer_;  // on serialIo_
  std::shared_ptr<ZEMBRA::platform::SerialDevice> port_;
  boost::asio::streambuf streamBuffer_;
  uint8_t readBuffer_[ZEMBRA::protocol::kMaxReadSize] = {};
  std::thread serialThread_;
  std::thread timerThread_;
  bool streaming_ = false;
  PluginHand hand_ = kPluginHandRight;

  mutable std::mutex channelMutex_;
  std::vector<ZEMBRA::protocol::ChannelNoise> channelList_;  // behind channelMutex_
  std::atomic<int> radioChannel_{0};

  // Supervision; the serial thread's own once streaming has started.
  ZEMBRA::link::RateWindows windows_;
  bool readFailed_ = false;        // a read error ended streaming
  bool restartAfterRead_ = false;  // the tick cancelled the read to restart
  std::atomic<bool> connected_{false};
  std::atomic<bool> grace_{false};
  std::atomic<bool> closing_{false};

  void* context_ = nullptr;
  DataCallback dataCallback_ = nullptr;
  EventCallback eventCallback_ = nullptr;
  PoseVariant pose_;
  float joints_[16][4] = {};

  struct VibrationWorker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;  // set by the worker as its last act
  };
  mutable std::mutex workersMutex_;
  std::vector<VibrationWorker> vibrationWorkers_;  // behind workersMutex_
};

// "LH" (hand 1) or "RH" (hand 0) followed by the receiver index when it is at
// most 15; empty for any other hand code.
std::string ReceiverTag(PluginHand hand, int receiverIndex);

}  // namespace ZEMBRA_IMU
