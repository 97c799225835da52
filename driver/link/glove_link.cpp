#include "driver/link/glove_link.h"

#include <boost/asio/buffers_iterator.hpp>
#include <boost/asio/post.hpp>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <random>
#include <string>

#include "driver/link/channel_selection.h"
#include "platform/clock.h"
#include "platform/run_on_io.h"
#include "protocol/commands.h"

namespace ZEMBRA {
namespace link {

namespace {

// Bytes that never contain a delimiter are discarded past this size.
constexpr size_t kStreamBufferLimit = 64 * 1024;
constexpr auto kCommandPause = std::chrono::milliseconds(10);
// OpenPort's report wait ends by its time-out alone.
const std::atomic<bool> kNeverCancel{false};

void PrintSystemError(const boost::system::system_error& error) {
  std::cout << "Error Code" << error.code().category().name() << ':' << error.code().value() << std::endl;
  std::cout << "Error: " << error.what() << std::endl;
}

void PrintOpenFailure(const std::string& portName, const boost::system::error_code& error) {
  std::cout << "error : port_->open() failed...com_port_name=" << portName << ", e=" << error.message() << std::endl;
  if (platform::IsPermissionDenied(error)) {
    std::cout << "This user may not open " << portName << "; docs/linux-setup.md says how to grant access"
              << std::endl;
  }
}

float SecondsSince(int64_t start) { return platform::SecondsSince(start, platform::NowTicks()); }

}  // namespace

GloveLink::GloveLink(LinkListener& listener, LinkTimings timings)
    : listener_(listener), timings_(timings), work_(boost::asio::make_work_guard(io_)), streamBuffer_(kStreamBufferLimit) {
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
      std::cout << "Link callback failed: " << e.what() << std::endl;
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
    std::cout << "ERROR_ACCESS_DENIED: Port is already opened..." << std::endl;
    err = IMUError_PortAccessDenied;
    return;
  }
  // Only a call that goes on may touch the supervision times: a refused one
  // may run beside a reader thread that uses them.
  openTime_ = platform::NowTicks();
  hand_ = hand;
  port_ = std::make_shared<platform::SerialDevice>(io_);
  const boost::system::error_code openError = port_->Open(info.port_name);
  if (openError) {
    PrintOpenFailure(info.port_name, openError);
    err = IMUError_PortAccessDenied;
    return;
  }
  const boost::system::error_code lineError = port_->ApplyLineSettings(info.baud_rate);
  if (lineError) {
    PrintSystemError(boost::system::system_error(lineError));
    err = IMUError_OperationFailed;
    return;
  }
  std::cout << "Port Initialized!" << std::endl;

  if (!ReadChannelReport()) {
    err = IMUError_OperationFailed;
    return;
  }
  ChannelSetup();
  if (!port_->IsOpen()) return;

  PrepareIo();
  readerThread_ = std::thread([this] {
    RunIo();
    std::printf("exiting thread\n");
    std::fflush(stdout);
  });
  openTime_ = platform::NowTicks();
  halfWindowStart_ = openTime_;
  packetsHalfWindow_ += 1;
  // Armed here, after the times above are set. Starting the first
  // asynchronous operation on this thread also keeps Asio's one-time
  // descriptor set-up ordered before the blocking command writes that this
  // thread makes later.
  StartRead();
  std::cout << "start async read" << std::endl;
}

// Reads reports until one is long enough and parses it. False when the
// receiver never sent one in time or it did not parse. One deadline bounds
// the whole wait: short blocks that end in the delimiter do not extend it.
bool GloveLink::ReadChannelReport() {
  const auto deadline = std::chrono::steady_clock::now() + timings_.reportTimeout;
  while (!channelReportDone_) {
    boost::system::error_code ec;
    const size_t n = port_->ReadUntilPolling(streamBuffer_, protocol::kReportDelimiter, deadline, kNeverCancel, ec);
    if (ec == boost::asio::error::timed_out) {
      std::cout << "No channel report from the receiver within " << timings_.reportTimeout.count() / 1000.0
                << " s; giving up" << std::endl;
      return false;
    }
    if (ec) {
      PrintSystemError(boost::system::system_error(ec));
      return false;
    }
    std::string text(boost::asio::buffers_begin(streamBuffer_.data()),
                     boost::asio::buffers_begin(streamBuffer_.data()) + std::ptrdiff_t(n));
    streamBuffer_.consume(n);
    std::cout << "bytes read from port: " << n << std::endl;
    if (!protocol::IsFullReport(n)) continue;
    channelReportDone_ = true;
    protocol::ChannelReport report = protocol::ParseChannelReport(text);
    channelList_.insert(channelList_.end(), report.channels.begin(), report.channels.end());
    protocol::SortChannels(channelList_);
    if (!report.ok()) {
      std::cout << report.error << std::endl;
      return false;
    }
  }
  return true;
}

void GloveLink::ChannelSetup() {
  WriteByte(protocol::kCmdSetChannel);
  const int index = SelectSetupIndex(channelList_, channelIndex_, rightHand());
  int32_t channel = FallbackChannel(rightHand());
  float noise = 0.0f;
  if (index >= 0) {
    channelIndex_ = index;
    channel = channelList_[size_t(index)].channel;
    noise = channelList_[size_t(index)].noise;
  } else {
    std::cout << "No channel in the report suits this hand; using channel " << channel << std::endl;
  }
  currentChannel_ = channel;
  std::cout << (rightHand() ? "Righthand setup to channel:" : "Lefthand setup to channel:") << channel
            << " Noise:" << noise << std::endl;
  WriteByte(protocol::ChannelByte(channel));
  std::cout << "   Device setup time:" << SecondsSince(openTime_) << std::endl;
}

void GloveLink::StartRead() {
  if (!port_ || !port_->IsOpen()) return;
  port_->AsyncReadBurst(readBuffer_, sizeof readBuffer_,
                        [this](const boost::system::error_code& ec, size_t n) { OnReadComplete(ec, n); });
}

void GloveLink::OnReadComplete(const boost::system::error_code& ec, size_t n) {
  if (!port_ || !port_->IsOpen()) return;
  if (ec) {
    std::cout << "Buffer read failed!!!!!" << std::endl;
    return;
  }
  const protocol::DecodedRead read = protocol::DecodeRead(readBuffer_, n);
  if (read.accepted()) {
    ++packetsHalfWindow_;
    listener_.OnPacket(read);
  }

  const int64_t now = platform::NowTicks();
  const float h = platform::SecondsSince(halfWindowStart_, now);
  const float f = platform::SecondsSince(openTime_, now);
  if (h > 0.5f) {
    halfWindowStart_ = now;
    packetsWindow_ += packetsHalfWindow_;
    packetsHalfWindow_ = 0;
    if (packetsLastSecond_ != 0) port_->AsyncWriteByte(protocol::kCmdKeepAlive);
  }
  if (f > 1.0f) {
    openTime_ = now;
    packetsLastSecond_ = packetsWindow_;
    packetsWindow_ = 0;
    if (packetsLastSecond_ == 0) Reconnect();
  }
  StartRead();
}

void GloveLink::Reconnect() {
  WriteByte(protocol::kCmdSetChannel);
  const int index = SelectReconnectIndex(channelList_, channelIndex_, rightHand());
  int32_t channel = currentChannel_;
  if (index >= 0) {
    channelIndex_ = index;
    channel = channelList_[size_t(index)].channel;
  }
  currentChannel_ = channel;
  std::cout << (rightHand() ? "Righthand Re-Connecting..... Channel: " : "Lefthand Re-Connecting..... Channel: ")
            << channel << std::endl;
  WriteByte(protocol::ChannelByte(channel));
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
  if (hand_ == Hand_Left) std::cout << "LEFT Port successfully closed" << std::endl;
  if (hand_ == Hand_Right) std::cout << "RIGHT Port successfully closed" << std::endl;
}

void GloveLink::StartPairing(int channel, const PortInfo& info, EIMUError& err, HandType hand) {
  if (port_ && port_->IsOpen()) {
    std::printf("ERROR_ACCESS_DENIED: Port is already opened...1\n");
    std::fflush(stdout);
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
    const boost::system::error_code openError = port_->Open(info.port_name);
    if (openError) {
      // Whatever the reason, no pairing started: the caller must not read
      // its own preset value as success.
      err = IMUError_PortAccessDenied;
      if (platform::IsAccessDenied(openError)) {
        std::printf("ERROR_ACCESS_DENIED: Port is already opened...2\n");
        std::fflush(stdout);
      } else {
        PrintOpenFailure(info.port_name, openError);
      }
      return;
    }
    const boost::system::error_code lineError = port_->ApplyLineSettings(info.baud_rate);
    if (lineError) {
      PrintSystemError(boost::system::system_error(lineError));
      err = IMUError_OperationFailed;
      return;
    }
    std::cout << "Port Initialized!" << std::endl;
    err = IMUError_None;

    if (!WriteByte(protocol::kCmdPair)) {
      err = IMUError_OperationFailed;
      return;
    }
    std::cout << "Pairing Started!" << std::endl;
    std::this_thread::sleep_for(kCommandPause);

    const uint8_t channelByte = protocol::ChannelByte(protocol::PairingChannel(channel));
    std::cout << "Pairing channel is set to " << int(channelByte) << std::endl;
    if (!WriteByte(channelByte)) {
      err = IMUError_OperationFailed;
      return;
    }
    std::this_thread::sleep_for(kCommandPause);

    std::mt19937 random(uint32_t(std::time(nullptr)));
    for (int i = 0; i < protocol::kPairingAddressBytes; ++i) {
      const uint8_t address = uint8_t(random() & 0xFF);
      std::cout << "Pairing address is set to " << std::hex << int(address) << std::dec << std::endl;
      if (!WriteByte(address)) {
        err = IMUError_OperationFailed;
        return;
      }
      std::this_thread::sleep_for(kCommandPause);
    }
    if (!port_->IsOpen()) return;

    ArmPairingRead();
    PrepareIo();
    pairingThread_ = std::thread([this] { RunIo(); });
    std::cout << "Pairing Check Started!" << std::endl;
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
    std::cout << ec.message() << std::endl;
    return;
  }
  std::printf("\nread out bytes: %zu\n", n);
  std::fflush(stdout);
  streamBuffer_.consume(n);
  std::printf("Pairing Finished!\n");
  std::fflush(stdout);
  listener_.OnPaired();
}

void GloveLink::SwitchToRSSIScan(EIMUError& err) {
  err = IMUError_None;
  if (!port_ || !port_->IsOpen()) {
    err = IMUError_PortNotOpen;
    return;
  }
  if (WriteByte(protocol::kCmdRssiScan)) {
    std::cout << "Reset to RSSI Scan!" << std::endl;
    std::this_thread::sleep_for(kCommandPause);
    return;
  }
  err = IMUError_OperationFailed;
}

void GloveLink::Vibrate(EIMUError& err) {
  err = WriteByte(protocol::kCmdVibrate) ? IMUError_None : IMUError_OperationFailed;
}

void GloveLink::VibratePeriod(EIMUError& err, int milliseconds) {
  err = IMUError_None;
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (elapsed.count() >= milliseconds) return;
    if (!WriteByte(protocol::kCmdVibrate)) {
      err = IMUError_OperationFailed;
      return;
    }
    err = IMUError_None;
    std::this_thread::sleep_for(kCommandPause);
  }
}

bool GloveLink::SendSaveCalibration() { return WriteByte(protocol::kCmdSaveCalibration); }

std::vector<protocol::ChannelNoise> GloveLink::channelList() const { return channelList_; }

}  // namespace link
}  // namespace ZEMBRA
