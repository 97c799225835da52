#include "plugin/serial_port.h"

#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>
#include <cstdio>
#include <ctime>

#include "link/channel_selection.h"
#include "link/open_receiver.h"
#include "link/report_reader.h"
#include "link/vibration.h"
#include "log/log.h"
#include "platform/clock.h"
#include "platform/run_on_io.h"
#include "protocol/commands.h"

namespace ZEMBRA_IMU {

namespace {

namespace protocol = ZEMBRA::protocol;
namespace platform = ZEMBRA::platform;

namespace link = ZEMBRA::link;
namespace log = ZEMBRA::log;

// How often the supervision looks at the windows when no read completes: a
// fraction of the half-second window, so that a silent second is decided on
// within a tenth of a second of its end.
constexpr std::chrono::milliseconds kSupervisionTick{100};

}  // namespace

std::string ReceiverTag(PluginHand hand, int receiverIndex) {
  if (hand != kPluginHandLeft && hand != kPluginHandRight) return {};
  std::string tag(hand == kPluginHandLeft ? protocol::kLeftReceiverTag : protocol::kRightReceiverTag);
  if (receiverIndex <= 15) tag += std::to_string(receiverIndex);
  return tag;
}

SerialPort::SerialPort(bool advancedMode, int hardwareVersion, LinkTimings timings)
    : timings_(timings),
      serialWork_(std::make_unique<WorkGuard>(serialIo_.get_executor())),
      timerWork_(std::make_unique<WorkGuard>(timerIo_.get_executor())),
      graceTimer_(timerIo_),
      supervisionTimer_(serialIo_),
      streamBuffer_(link::kStreamBufferLimit),
      pose_(advancedMode, hardwareVersion) {
  streamBuffer_.prepare(128);
}

SerialPort::~SerialPort() {
  closing_ = true;
  StopThreads();
  StopVibrationWorkers();
}

bool SerialPort::Open(const std::string& portName, int baudRate) {
  if (port_) {
    log::Stream() << "error : port is already opened..." << std::endl;
    return false;
  }
  port_ = std::make_shared<platform::SerialDevice>(serialIo_);
  const link::ReceiverOpening opening = link::OpenReceiver(*port_, portName, baudRate);
  switch (opening.failure) {
    case link::ReceiverOpening::Failure::Open:
      link::PrintOpenFailure(portName, opening.error);
      return false;
    case link::ReceiverOpening::Failure::LineSettings:
      log::Stream() << "Error: " << opening.error.message() << std::endl;
      return false;
    case link::ReceiverOpening::Failure::None:
      break;
  }
  // A receiver that never reports leaves the glove unusable: say so and fail.
  if (ReadChannelReport() == ReportResult::TimedOut) return false;
  SetChannel(kRandomChannel);
  grace_ = false;
  ArmGraceTimer();
  return true;
}

bool SerialPort::Restart() {
  if (ReadChannelReport() == ReportResult::Cancelled) return true;
  SetChannel(kRandomChannel);
  grace_ = false;
  ArmGraceTimer();
  return true;
}

SerialPort::ReportResult SerialPort::ReadChannelReport() {
  using link::ReportReading;
  const ReportReading reading = link::ReadChannelReport(*port_, streamBuffer_, timings_.reportTimeout, closing_);
  switch (reading.status) {
    case ReportReading::Status::Cancelled:
      return ReportResult::Cancelled;
    case ReportReading::Status::TimedOut:
      log::Stream() << "Channel list update failed, exiting..."
                    << boost::system::error_code(boost::asio::error::timed_out).message() << std::endl;
      return ReportResult::TimedOut;
    case ReportReading::Status::Failed:
      log::Stream() << "Channel list update failed, exiting..." << reading.error.message() << std::endl;
      return ReportResult::Failed;
    case ReportReading::Status::Report:
      break;
  }
  protocol::ChannelReport report = reading.report;
  if (!report.ok()) {
    // A report that did not parse says nothing reliable: the channels of the
    // last good one stay, so the link can still move off a silent one.
    log::Stream() << "Channel list update failed, exiting..." << report.error << std::endl;
    return ReportResult::Failed;
  }
  protocol::SortChannels(report.channels);
  {
    // A good report replaces the list: noise measured earlier is stale.
    std::lock_guard<std::mutex> lock(channelMutex_);
    channelList_ = std::move(report.channels);
  }
  return ReportResult::Parsed;
}

int SerialPort::ChooseRandomChannel() {
  int32_t channel = 0;
  int32_t fallback = 0;
  {
    std::lock_guard<std::mutex> lock(channelMutex_);
    channel = link::DrawQuietChannel(channelList_, rightHand(), uint32_t(std::time(nullptr)));
    // No quiet channel for this hand: the quietest one that suits it.
    if (channel == 0) fallback = link::QuietestSuiting(channelList_, rightHand());
  }
  if (channel != 0) return channel;
  if (fallback == 0) fallback = radioChannel_ != 0 ? radioChannel_.load() : link::FallbackChannel(rightHand());
  log::Stream() << "No quiet channel for this hand in the report; using channel " << fallback << std::endl;
  return fallback;
}

int SerialPort::SetChannel(int channel) {
  if (channel > 100) channel = ChooseRandomChannel();
  radioChannel_ = channel;
  log::Stream() << SetupLabel() << channel << std::endl;
  const auto sequence = protocol::ChannelSetupSequence(channel);
  WriteBytes(&sequence[0], 1);
  return WriteBytes(&sequence[1], 1);
}

int SerialPort::WriteBytes(const uint8_t* data, size_t count) {
  if (!port_) return -1;
  if (count == 0 || !port_->IsOpen()) return 0;
  boost::system::error_code ec;
  const size_t written = port_->Write(data, count, ec);
  return ec ? 0 : int(written);
}

void SerialPort::ArmGraceTimer() {
  const auto deadline = std::chrono::steady_clock::now() + timings_.gracePeriod;
  // The timer belongs to the timer thread: hand it the deadline.
  boost::asio::post(timerIo_, [this, deadline] {
    graceTimer_.expires_at(deadline);
    graceTimer_.async_wait([this](const boost::system::error_code& ec) {
      if (!ec) grace_ = true;
    });
  });
}

void SerialPort::StartStreaming() {
  if (streaming_) return;
  streaming_ = true;
  // The windows start before the first read can complete.
  windows_.Start(ZEMBRA::platform::NowTicks());
  windows_.CountPacket();
  serialThread_ = std::thread([this] {
    serialIo_.run();
    log::Printf("exiting thread\n");
  });
  timerThread_ = std::thread([this] {
    timerIo_.run();
    log::Printf("Time is up\n");
  });
  // Armed on this thread, after the window times are set: the first
  // completion sees them, and Asio's one-time descriptor set-up is ordered
  // before the command writes this thread and the workers make later.
  StartRead();
  if (port_ && port_->IsOpen()) boost::asio::post(serialIo_, [this] { ArmSupervisionTick(); });
  log::Stream() << "start async read" << std::endl;
}

void SerialPort::ArmSupervisionTick() {
  if (closing_ || readFailed_) return;
  supervisionTimer_.expires_after(kSupervisionTick);
  supervisionTimer_.async_wait([this](const boost::system::error_code& ec) {
    if (ec || closing_ || readFailed_ || !port_ || !port_->IsOpen()) return;
    if (!restartAfterRead_) Supervise(true);
    ArmSupervisionTick();
  });
}

void SerialPort::StartRead() {
  if (!port_ || !port_->IsOpen() || closing_) return;
  port_->AsyncReadBurst(readBuffer_, sizeof readBuffer_,
                        [this](const boost::system::error_code& ec, size_t n) { OnReceive(ec, n); });
}

void SerialPort::RaiseEvent(int code) {
  if (eventCallback_) eventCallback_(context_, code);
}

void SerialPort::OnReceive(const boost::system::error_code& ec, size_t bytesRead) {
  if (!port_ || !port_->IsOpen() || closing_) return;
  if (restartAfterRead_ && (!ec || ec == boost::asio::error::operation_aborted)) {
    // The tick cancelled this read to restart: the report is read with no
    // other read waiting on the port, which could take part of it.
    restartAfterRead_ = false;
    if (!ec) ParsePacket(readBuffer_, bytesRead);
    Restart();
    StartRead();
    return;
  }
  if (ec) {
    readFailed_ = true;  // streaming is over: the tick stops too
    RaiseEvent(PluginEvent_Disconnected);
    log::Stream() << "Buffer read failed!!!!!" << std::endl;
    return;
  }
  ParsePacket(readBuffer_, bytesRead);
  Supervise(false);
  StartRead();
}

void SerialPort::Supervise(bool readPending) {
  // The one-second decision waits out the grace period after a restart.
  const link::RateWindows::Step step = windows_.Advance(platform::NowTicks(), grace_);
  if (step.halfClosed && step.halfPackets != 0) {
    if (!connected_.exchange(true)) RaiseEvent(PluginEvent_Connected);
    const uint8_t keepAlive = protocol::kCmdKeepAlive;
    WriteBytes(&keepAlive, 1);
  }
  if (step.secondClosed) {
    if (step.secondPackets >= 1 && step.secondPackets <= 9) {
      SetChannel(kRandomChannel);
      RaiseEvent(PluginEvent_ChannelHopped);
    } else if (step.secondPackets == 0) {
      if (connected_.exchange(false)) RaiseEvent(PluginEvent_Disconnected);
      if (readPending) {
        restartAfterRead_ = true;
        port_->Cancel();
      } else {
        Restart();
      }
    }
  }
}

void SerialPort::ParsePacket(const uint8_t* data, size_t size) {
  const protocol::DecodedRead read = protocol::DecodeRead(data, size);
  if (!read.accepted()) return;
  windows_.CountPacket();
  if (pose_.Process(read, joints_) == PoseVariant::Outcome::Pose && dataCallback_) {
    dataCallback_(context_, joints_, windows_.lastSecond(), pose_.statusByte(), pose_.statusTable(),
                  pose_.statusValue(), int(hand_), radioChannel_.load());
  }
}

void SerialPort::VibratePeriod(int milliseconds) {
  std::lock_guard<std::mutex> lock(workersMutex_);
  // Workers that have finished are joined here, so that a game vibrating
  // often keeps only the workers still writing.
  for (auto it = vibrationWorkers_.begin(); it != vibrationWorkers_.end();) {
    if (it->finished->load()) {
      it->thread.join();
      it = vibrationWorkers_.erase(it);
    } else {
      ++it;
    }
  }
  auto finished = std::make_shared<std::atomic<bool>>(false);
  std::thread worker([this, milliseconds, finished] {
    const uint8_t vibrate = protocol::kCmdVibrate;
    link::Vibrate(
        milliseconds, [&] { return WriteBytes(&vibrate, 1) == 1; }, closing_);
    finished->store(true);
  });
  vibrationWorkers_.push_back(VibrationWorker{std::move(worker), std::move(finished)});
}

size_t SerialPort::vibrationWorkerCount() const {
  std::lock_guard<std::mutex> lock(workersMutex_);
  return vibrationWorkers_.size();
}

void SerialPort::StopVibrationWorkers() {
  std::vector<VibrationWorker> workers;
  {
    std::lock_guard<std::mutex> lock(workersMutex_);
    workers.swap(vibrationWorkers_);
  }
  for (VibrationWorker& worker : workers) worker.thread.join();
}

void SerialPort::StopThreads() {
  if (serialWork_) {
    boost::asio::post(serialIo_, [this] {
      supervisionTimer_.cancel();
      serialWork_.reset();
    });
    if (serialThread_.joinable()) serialThread_.join();
  }
  if (timerWork_) {
    boost::asio::post(timerIo_, [this] {
      graceTimer_.cancel();
      timerWork_.reset();
    });
    if (timerThread_.joinable()) timerThread_.join();
  }
}

bool SerialPort::Close() {
  closing_ = true;
  // Workers write to the port: they end before it closes.
  StopVibrationWorkers();
  if (port_ && port_->IsOpen()) {
    platform::RunOnIoThread(serialIo_, serialThread_.joinable(), [this] {
      const boost::system::error_code cancelError = port_->Cancel();
      const boost::system::error_code closeError = port_->Close();
      for (const auto& error : {cancelError, closeError}) {
        if (error) log::Stream() << "Error: " << error.message() << std::endl;
      }
    });
    StopThreads();
    if (hand_ == kPluginHandLeft) log::Stream() << "LEFT Port successfully closed" << std::endl;
    if (hand_ == kPluginHandRight) log::Stream() << "RIGHT Port successfully closed" << std::endl;
  } else {
    StopThreads();
  }
  return port_ && !port_->IsOpen();
}

std::vector<ZEMBRA::protocol::ChannelNoise> SerialPort::channelList() const {
  std::lock_guard<std::mutex> lock(channelMutex_);
  return channelList_;
}

}  // namespace ZEMBRA_IMU
