// The serial link of one driver object: opening the receiver's port, the
// channel set-up, the reader thread with its once-per-second supervision,
// pairing, the single-byte radio commands, and closing.
//
// Threads: every public call runs on the client's thread. OpenPort starts the
// reader thread and StartPairing the pairing thread; both run the link's
// io_context, on which every read completion, the listener's callbacks and
// the supervision writes run. The supervision state is touched only there
// once streaming has started. ClosePort hands cancel and close to that
// thread, releases the work guard and joins both threads.
#pragma once

#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/streambuf.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "link/link_timings.h"
#include "link/rate_windows.h"
#include "platform/serial_device.h"
#include "protocol/channel_report.h"
#include "protocol/packet.h"
#include "zembra/ZEMBRAIMU.h"

namespace ZEMBRA {
namespace glove_link {

// What the link hands up. Runs on the link's io thread.
class LinkListener {
 public:
  virtual ~LinkListener() = default;
  // One accepted packet, decoded.
  virtual void OnPacket(const protocol::DecodedRead& read) = 0;
  // The receiver confirmed a pairing.
  virtual void OnPaired() = 0;
};

using link::LinkTimings;

class GloveLink {
 public:
  GloveLink(LinkListener& listener, LinkTimings timings = {});
  ~GloveLink();
  GloveLink(const GloveLink&) = delete;
  GloveLink& operator=(const GloveLink&) = delete;

  void OpenPort(EIMUError& err, const PortInfo& info, HandType hand);
  void ClosePort(EIMUError& err);
  void StartPairing(int channel, const PortInfo& info, EIMUError& err, HandType hand);
  void SwitchToRSSIScan(EIMUError& err);
  void Vibrate(EIMUError& err);
  void VibratePeriod(EIMUError& err, int milliseconds);
  // Writes the save-calibration command; true when the byte went out.
  bool SendSaveCalibration();
  // Stops and joins the link's threads if they still run (a client that did
  // not call ClosePort); closes the port quietly. Safe to call twice.
  void Shutdown();

  // For tests and diagnostics: the sorted channel list and the entry in use.
  std::vector<protocol::ChannelNoise> channelList() const;
  int32_t currentChannel() const { return currentChannel_.load(); }

 private:
  using WorkGuard = boost::asio::executor_work_guard<boost::asio::io_context::executor_type>;

  bool rightHand() const { return hand_ == Hand_Right; }
  bool WriteByte(uint8_t byte);
  // Opens the port and applies the line settings; false (with err set and
  // the messages printed) when either fails.
  bool OpenAndConfigure(const PortInfo& info, EIMUError& err, bool pairing);
  void ChannelSetup();
  bool ReadChannelReport();
  void StartRead();
  void OnReadComplete(const boost::system::error_code& ec, size_t n);
  void Reconnect();
  void ArmPairingRead();
  void OnPairingConfirmed(const boost::system::error_code& ec, size_t n);
  bool IoThreadRunning() const { return readerThread_.joinable() || pairingThread_.joinable(); }
  void RunIo();
  void PrepareIo();
  void StopThreads();

  LinkListener& listener_;
  const LinkTimings timings_;
  boost::asio::io_context io_;
  std::optional<WorkGuard> work_;
  std::thread readerThread_;
  std::thread pairingThread_;
  std::shared_ptr<platform::SerialDevice> port_;
  boost::asio::streambuf streamBuffer_;
  uint8_t readBuffer_[protocol::kMaxReadSize] = {};
  HandType hand_ = HandType(0);

  // When the current OpenPort began (100-ns ticks), for its set-up time.
  int64_t openTime_ = 0;
  // Supervision, the reader thread's own once streaming has started.
  link::RateWindows windows_;
  bool channelReportDone_ = false;
  std::vector<protocol::ChannelNoise> channelList_;
  int channelIndex_ = 0;
  std::atomic<int32_t> currentChannel_{0};
};

}  // namespace glove_link
}  // namespace ZEMBRA
