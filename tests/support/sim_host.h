// The host's side of a simulated receiver's port for the tests: plain POSIX
// calls, raw mode, one read at a time, and a few helpers that drive the
// simulator through it.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/pose/pose_engine.h"
#include "protocol/channel_report.h"
#include "protocol/packet.h"
#include "sim/command_parser.h"
#include "sim/glove_model.h"
#include "sim/noise_report.h"
#include "sim/packet_builder.h"
#include "sim/receiver_simulator.h"
#include "sim/sensor_encoding.h"
#include "sim/sim_options.h"

namespace ZEMBRA {
namespace sim {

using namespace std::chrono_literals;
using protocol::PacketKind;

// ---------------------------------------------------------------------------
// Host side of the port: plain POSIX calls, raw mode, one read at a time.

struct ReadResult {
  ssize_t n = 0;  // bytes, 0 at end of file, -1 on error or time-out
  int error = 0;  // errno of a failed read; 0 on time-out
  std::vector<uint8_t> bytes;
  bool timedOut() const { return n < 0 && error == 0; }
};

class HostPort {
 public:
  explicit HostPort(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    termios raw;
    ::tcgetattr(fd_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd_, TCSANOW, &raw);
  }
  ~HostPort() { Close(); }
  HostPort(const HostPort&) = delete;
  HostPort& operator=(const HostPort&) = delete;

  bool ok() const { return fd_ >= 0; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  void Flush() { ::tcflush(fd_, TCIFLUSH); }

  // Each byte its own write, as the driver sends multi-byte commands.
  bool Write(std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) {
      if (::write(fd_, &b, 1) != 1) return false;
    }
    return true;
  }

  ReadResult ReadOnce(size_t capacity, std::chrono::milliseconds timeout) {
    ReadResult result;
    pollfd p = {fd_, POLLIN, 0};
    if (::poll(&p, 1, int(timeout.count())) <= 0) {
      result.n = -1;
      return result;
    }
    result.bytes.resize(capacity);
    result.n = ::read(fd_, result.bytes.data(), capacity);
    if (result.n < 0) {
      result.error = errno;
      result.bytes.clear();
    } else {
      result.bytes.resize(size_t(result.n));
    }
    return result;
  }

  // Text up to and including the delimiter; "" on time-out. Bytes behind
  // the delimiter are kept for the next call.
  std::string ReadUntil(const std::string& delimiter, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const size_t at = pending_.find(delimiter);
      if (at != std::string::npos) {
        std::string text = pending_.substr(0, at + delimiter.size());
        pending_.erase(0, at + delimiter.size());
        return text;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "";
      const ReadResult r = ReadOnce(4096, left);
      if (r.n <= 0 && !r.timedOut()) return "";
      pending_.append(r.bytes.begin(), r.bytes.end());
    }
  }

  // True when nothing at all arrives for the given time.
  bool StaysSilent(std::chrono::milliseconds time) { return ReadOnce(4096, time).timedOut(); }

 private:
  int fd_ = -1;
  std::string pending_;
};

inline SimulatorConfig Config(HandType hand, int rate = 200) {
  SimulatorConfig config;
  config.hand = hand;
  config.burstRate = rate;
  return config;
}

// 'j' and the channel byte, then drop whatever the scan left queued.
inline void SetChannel(ReceiverSimulator& sim, HostPort& host, int channel) {
  const size_t before = sim.stats().channelRequests.size();
  ASSERT_TRUE(host.Write({protocol::kCmdSetChannel, uint8_t(channel)}));
  ASSERT_TRUE(
      sim.WaitFor([before](const Statistics& s, ReceiverState) { return s.channelRequests.size() > before; }, 2s));
  host.Flush();
}

inline bool AllRecordsValid(const uint8_t* data, PacketKind kind) {
  const protocol::PacketLayout layout = protocol::LayoutOf(kind);
  for (int r = 0; r < layout.recordCount; ++r) {
    if (!protocol::RecordCheckOk(data + layout.records[r].offset)) return false;
  }
  return true;
}

inline uint64_t BurstSequence(const std::vector<uint8_t>& burst) {
  const protocol::PacketLayout layout = protocol::LayoutOf(PacketKind::UUPU);
  return SequenceFromStatusValue(protocol::DecodeStatus(burst.data(), layout.statusOffset).value);
}

}  // namespace sim
}  // namespace ZEMBRA
