#include "driver/link/glove_link.h"

#include <array>
#include <boost/asio/buffers_iterator.hpp>
#include <boost/asio/post.hpp>
#include <ctime>
#include <random>
#include <string>

#include "link/channel_selection.h"
#include "link/open_receiver.h"
#include "link/report_reader.h"
#include "link/vibration.h"
#include "log/log.h"
#include "platform/clock.h"
#include "platform/run_on_io.h"
#include "protocol/commands.h"

namespace ZEMBRA {
namespace glove_link {

namespace {

constexpr auto kCommandPause = std::chrono::milliseconds(10);
// OpenPort's report wait ends by its time-out alone, and a vibration by its
// period or a failed write.
const std::atomic<bool> kNever{false};

void PrintSystemError(const boost::system::system_error& error) {
  log::Stream() << "Error Code" << error.code().category().name() << ':' << error.code().value() << std::endl;
  log::Stream() << "Error: " << error.what() << std::endl;
}

void PrintOpenFailure(const std::string& portName, const boost::system::error_code& error) {
  link::PrintOpenFailure(portName, error);
  if (platform::IsPermissionDenied(error)) {
    log::Stream() << "This user may not open " << portName << "; docs/linux-setup.md says how to grant access"
                  << std::endl;
  }
}

float SecondsSince(int64_t start) { return platform::SecondsSince(start, platform::NowTicks()); }

}  // namespace

GloveLink::GloveLink(LinkListener& listener, LinkTimings timings)
    : listener_(listener),
      timings_(timings),
      work_(boost::asio::make_work_guard(io_)),
      streamBuffer_(link::kStreamBufferLimit) {
  streamBuffer_.prepare(128);
}

GloveLink::~GloveLink() { Shutdown(); }

void GloveLink::Shutdown() {
  if (IoThreadRunning()) {
    if (port_) {
      platform::RunOnIoThread(io_, IoThreadRunning(), [this] {
        port_->Cancel();
        port_->Close();
      });
    }
    StopThreads();
  }
}

// The guard is held exactly while an io thread may run: taken here before a
// thread starts, released by StopThreads. An io_context whose run loop has
// returned must be restarted before it runs again.
void GloveLink::PrepareIo() {
  if (io_.stopped()) io_.restart();
  if (!work_) work_.emplace(boost::asio::make_work_guard(io_));
}

void GloveLink::RunIo() {
  for (;;) {
    try {
      io_.run();
      return;
    } catch (const std::exception& e) {
      // A throwing client callback ends that chain of reads, not the process.
      log::Stream() << "Link callback failed: " << e.what() << std::endl;
    }
  }
}

void GloveLink::StopThreads() {
  if (IoThreadRunning()) {
    // The guard belongs to the io thread while it runs.
    boost::asio::post(io_, [this] { work_.reset(); });
    if (readerThread_.joinable()) readerThread_.join();
    if (pairingThread_.joinable()) pairingThread_.join();
  } else {
    // Nobody runs the io_context: release the guard here, never by a task
    // that would wait in the queue for the next thread to run it. Whatever
    // the closed port left queued runs now, against the closed port.
    work_.reset();
    io_.restart();
    io_.poll();
  }
}

bool GloveLink::WriteByte(uint8_t byte) {
  if (!port_) return false;
  boost::system::error_code ec;
  return port_->WriteByte(byte, ec) == 1;
}

void GloveLink::OpenPort(EIMUError& err, const PortInfo& info, HandType hand) {
  if (port_) {
    log::Stream() << "ERROR_ACCESS_DENIED: Port is already opened..." << std::endl;
    err = IMUError_PortAccessDenied;
    return;
  }
  // Only a call that goes on may touch the supervision times: a refused one
  // may run beside a reader thread that uses them.
  openTime_ = platform::NowTicks();
  hand_ = hand;
  port_ = std::make_shared<platform::SerialDevice>(io_);
  if (!OpenAndConfigure(info, err, /*pairing=*/false)) return;
  if (!ReadChannelReport()) {
    err = IMUError_OperationFailed;
    return;
  }
  ChannelSetup();
  if (!port_->IsOpen()) return;

  PrepareIo();
  readerThread_ = std::thread([this] {
    RunIo();
    log::Printf("exiting thread\n");
  });
  // The first half window counts one packet in advance.
  windows_.Start(platform::NowTicks());
  windows_.CountPacket();
  // Armed here, after the times above are set. Starting the first
  // asynchronous operation on this thread also keeps Asio's one-time
  // descriptor set-up ordered before the blocking command writes that this
  // thread makes later.
  StartRead();
  log::Stream() << "start async read" << std::endl;
}

bool GloveLink::OpenAndConfigure(const PortInfo& info, EIMUError& err, bool pairing) {
  const link::ReceiverOpening opening = link::OpenReceiver(*port_, info.port_name, info.baud_rate);
  switch (opening.failure) {
    case link::ReceiverOpening::Failure::Open:
      err = IMUError_PortAccessDenied;
      // Pairing says apart a port held elsewhere, as it always has.
      if (pairing && platform::IsAccessDenied(opening.error)) {
        log::Printf("ERROR_ACCESS_DENIED: Port is already opened...2\n");
      } else {
        PrintOpenFailure(info.port_name, opening.error);
      }
      return false;
    case link::ReceiverOpening::Failure::LineSettings:
      PrintSystemError(boost::system::system_error(opening.error));
      err = IMUError_OperationFailed;
      return false;
    case link::ReceiverOpening::Failure::None:
      break;
  }
  log::Stream() << "Port Initialized!" << std::endl;
  return true;
}

// Waits for the receiver's report and parses it, once per object. False
// when the receiver never sent one in time or it did not parse.
bool GloveLink::ReadChannelReport() {
  if (channelReportDone_) return true;
  using link::ReportReading;
  const ReportReading reading = link::ReadChannelReport(*port_, streamBuffer_, timings_.reportTimeout, kNever);
  switch (reading.status) {
    case ReportReading::Status::TimedOut:
    case ReportReading::Status::Cancelled:
      log::Stream() << "No channel report from the receiver within " << timings_.reportTimeout.count() / 1000.0
                    << " s; giving up" << std::endl;
      return false;
    case ReportReading::Status::Failed:
      PrintSystemError(boost::system::system_error(reading.error));
      return false;
    case ReportReading::Status::Report:
      break;
  }
  channelReportDone_ = true;
  channelList_.insert(channelList_.end(), reading.report.channels.begin(), reading.report.channels.end());
  protocol::SortChannels(channelList_);
  if (!reading.report.ok()) {
    log::Stream() << reading.report.error << std::endl;
    return false;
  }
  return true;
}

void GloveLink::ChannelSetup() {
  // 'j', then the channel byte once the channel is chosen.
  WriteByte(protocol::ChannelSetupSequence(0)[0]);
  const int index = link::SelectSetupIndex(channelList_, channelIndex_, rightHand());
  int32_t channel = link::FallbackChannel(rightHand());
  float noise = 0.0f;
  if (index >= 0) {
    channelIndex_ = index;
    channel = channelList_[size_t(index)].channel;
    noise = channelList_[size_t(index)].noise;
  } else {
    log::Stream() << "No channel in the report suits this hand; using channel " << channel << std::endl;
  }
  currentChannel_ = channel;
  log::Stream() << (rightHand() ? "Righthand setup to channel:" : "Lefthand setup to channel:") << channel
                << " Noise:" << noise << std::endl;
  WriteByte(protocol::ChannelSetupSequence(channel)[1]);
  log::Stream() << "   Device setup time:" << SecondsSince(openTime_) << std::endl;
}

void GloveLink::StartRead() {
  if (!port_ || !port_->IsOpen()) return;
  port_->AsyncReadBurst(readBuffer_, sizeof readBuffer_,
                        [this](const boost::system::error_code& ec, size_t n) { OnReadComplete(ec, n); });
}

void GloveLink::OnReadComplete(const boost::system::error_code& ec, size_t n) {
  if (!port_ || !port_->IsOpen()) return;
  if (ec) {
    log::Stream() << "Buffer read failed!!!!!" << std::endl;
    return;
  }
  const protocol::DecodedRead read = protocol::DecodeRead(readBuffer_, n);
  if (read.accepted()) {
    windows_.CountPacket();
    listener_.OnPacket(read);
  }

  // The keep-alive follows the last completed second, not the one closing.
  const bool lastSecondHadPackets = windows_.lastSecond() != 0;
  const link::RateWindows::Step step = windows_.Advance(platform::NowTicks());
  if (step.halfClosed && lastSecondHadPackets) port_->AsyncWriteByte(protocol::kCmdKeepAlive);
  if (step.secondClosed && step.secondPackets == 0) Reconnect();
  StartRead();
}

void GloveLink::Reconnect() {
  WriteByte(protocol::ChannelSetupSequence(0)[0]);
  const int index = link::SelectReconnectIndex(channelList_, channelIndex_, rightHand());
  int32_t channel = currentChannel_;
  if (index >= 0) {
    channelIndex_ = index;
    channel = channelList_[size_t(index)].channel;
  }
  currentChannel_ = channel;
  log::Stream() << (rightHand() ? "Righthand Re-Connecting..... Channel: " : "Lefthand Re-Connecting..... Channel: ")
                << channel << std::endl;
  WriteByte(protocol::ChannelSetupSequence(channel)[1]);
}

void GloveLink::ClosePort(EIMUError& err) {
  err = IMUError_None;
  if (!port_) {
    err = IMUError_PortAccessDenied;
    return;
  }
  if (!port_->IsOpen()) {
    err = IMUError_PortNotOpen;
    return;
  }
  boost::system::error_code cancelError, closeError;
  platform::RunOnIoThread(io_, IoThreadRunning(), [&] {
    cancelError = port_->Cancel();
    closeError = port_->Close();
  });
  // A failed cancel or close is reported, but the threads still end.
  for (const auto* failure : {&cancelError, &closeError}) {
    if (*failure) {
      PrintSystemError(boost::system::system_error(*failure, failure == &cancelError ? "cancel" : "close"));
      err = IMUError_OperationFailed;
    }
  }
  StopThreads();
  if (closeError) return;
  if (hand_ == Hand_Left) log::Stream() << "LEFT Port successfully closed" << std::endl;
  if (hand_ == Hand_Right) log::Stream() << "RIGHT Port successfully closed" << std::endl;
}

void GloveLink::StartPairing(int channel, const PortInfo& info, EIMUError& err, HandType hand) {
  if (port_ && port_->IsOpen()) {
    log::Printf("ERROR_ACCESS_DENIED: Port is already opened...1\n");
    err = IMUError_PortAccessDenied;
    return;
  }
  // After the refusal: a refused call changes nothing a reader thread uses.
  openTime_ = platform::NowTicks();
  hand_ = hand;
  try {
    // A port closed by ClosePort has no io thread left; StopThreads after a
    // read error or a vanished port makes sure of it.
    if (IoThreadRunning()) StopThreads();
    port_ = std::make_shared<platform::SerialDevice>(io_);
    // Whatever the reason, a failure means no pairing started: the caller
    // must not read its own preset value as success.
    if (!OpenAndConfigure(info, err, /*pairing=*/true)) return;
    err = IMUError_None;

    // A fresh address for every pairing; each byte is its own write.
    std::mt19937 random(uint32_t(std::time(nullptr)));
    std::array<uint8_t, protocol::kPairingAddressBytes> address;
    for (uint8_t& byte : address) byte = uint8_t(random() & 0xFF);
    const auto sequence = protocol::PairingSequence(channel, address);

    if (!WriteByte(sequence[0])) {
      err = IMUError_OperationFailed;
      return;
    }
    log::Stream() << "Pairing Started!" << std::endl;
    std::this_thread::sleep_for(kCommandPause);

    log::Stream() << "Pairing channel is set to " << int(sequence[1]) << std::endl;
    if (!WriteByte(sequence[1])) {
      err = IMUError_OperationFailed;
      return;
    }
    std::this_thread::sleep_for(kCommandPause);

    for (size_t i = 2; i < sequence.size(); ++i) {
      log::Stream() << "Pairing address is set to " << std::hex << int(sequence[i]) << std::dec << std::endl;
      if (!WriteByte(sequence[i])) {
        err = IMUError_OperationFailed;
        return;
      }
      std::this_thread::sleep_for(kCommandPause);
    }
    if (!port_->IsOpen()) return;

    ArmPairingRead();
    PrepareIo();
    pairingThread_ = std::thread([this] { RunIo(); });
    log::Stream() << "Pairing Check Started!" << std::endl;
  } catch (const boost::system::system_error& error) {
    PrintSystemError(error);
  }
}

void GloveLink::ArmPairingRead() {
  port_->AsyncReadUntil(streamBuffer_, protocol::kPairingDelimiter,
                        [this](const boost::system::error_code& ec, size_t n) { OnPairingConfirmed(ec, n); });
}

void GloveLink::OnPairingConfirmed(const boost::system::error_code& ec, size_t n) {
  if (ec == boost::asio::error::not_found && port_ && port_->IsOpen()) {
    // The buffer filled without a confirmation: what came before cannot be
    // part of one, except a delimiter's beginning at the very end.
    const size_t keep = protocol::kPairingDelimiter.size() - 1;
    streamBuffer_.consume(streamBuffer_.size() > keep ? streamBuffer_.size() - keep : 0);
    ArmPairingRead();
    return;
  }
  if (ec) {
    log::Stream() << ec.message() << std::endl;
    return;
  }
  log::Printf("\nread out bytes: %zu\n", n);
  streamBuffer_.consume(n);
  log::Printf("Pairing Finished!\n");
  listener_.OnPaired();
}

void GloveLink::SwitchToRSSIScan(EIMUError& err) {
  err = IMUError_None;
  if (!port_ || !port_->IsOpen()) {
    err = IMUError_PortNotOpen;
    return;
  }
  if (WriteByte(protocol::kCmdRssiScan)) {
    log::Stream() << "Reset to RSSI Scan!" << std::endl;
    std::this_thread::sleep_for(kCommandPause);
    return;
  }
  err = IMUError_OperationFailed;
}

void GloveLink::Vibrate(EIMUError& err) {
  err = WriteByte(protocol::kCmdVibrate) ? IMUError_None : IMUError_OperationFailed;
}

void GloveLink::VibratePeriod(EIMUError& err, int milliseconds) {
  const link::VibrationEnd end = link::Vibrate(
      milliseconds, [this] { return WriteByte(protocol::kCmdVibrate); }, kNever);
  err = end == link::VibrationEnd::WriteFailed ? IMUError_OperationFailed : IMUError_None;
}

bool GloveLink::SendSaveCalibration() { return WriteByte(protocol::kCmdSaveCalibration); }

std::vector<protocol::ChannelNoise> GloveLink::channelList() const { return channelList_; }

}  // namespace glove_link
}  // namespace ZEMBRA
