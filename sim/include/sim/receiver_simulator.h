// A stand-in for one USB receiver with its glove, behind a pseudo-terminal.
//
// A host opens PortPath() like the receiver's serial port. One worker
// thread then plays the receiver:
//   - RSSI scan (at start, after "s", after a confirmed pairing and when a
//     host opens the port and sets its line up): a channel noise report
//     ending in "TUPU" every reportInterval;
//   - 'j' + channel byte: when the channel suits the glove (the hand's
//     channel rule, 1..100, not jammed) a stream of 133-byte bursts starts
//     at burstRate, each written with a single write; otherwise silence;
//   - "p" + channel byte + 8 address bytes: recorded, then answered with
//     text ending in "finished" (unless told never to confirm);
//   - 'b', "v", "c": counted (vibrations and calibrations with their times).
//
// Burst n carries the glove model's frame at n / burstRate seconds, and n
// (modulo 2^24) in its float status value, so a decoded Pose's statusValue
// names its burst: see BurstFrame() and BurstSendTime().
//
// Writes never block: a chunk that does not fit the host's input queue is
// dropped whole and counted, as happens to a receiver whose host is not
// reading.
//
// Threads: every public member may be called from any thread, except that
// Unplug() must not be called from the onEvent callback.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "protocol/commands.h"
#include "protocol/hand_model.h"
#include "sim/glove_model.h"
#include "sim/noise_report.h"
#include "sim/pseudo_terminal.h"

namespace ZEMBRA {
namespace sim {

using SimClock = std::chrono::steady_clock;

enum class ReportMode {
  Normal,     // full reports
  Missing,    // no report at all
  ShortOnly,  // only blocks shorter than the 700 bytes a report needs
};

// Faults the receiver can be told to commit. All are off by default; each
// can be chosen at construction and changed at run time (SetFaults).
struct FaultConfig {
  // Bursts whose sequence number n has n % badCheckEvery == badCheckEvery - 1
  // carry a wrong check byte in the record of badCheckSensor (0..5), or of
  // sensor n % 6 when badCheckSensor is -1. 0 disables.
  uint32_t badCheckEvery = 0;
  int badCheckSensor = -1;

  // Such bursts (same rule with splitEvery) go out as two writes: the first
  // splitAt bytes, then the rest splitGap later. 0 disables.
  uint32_t splitEvery = 0;
  size_t splitAt = 50;
  std::chrono::milliseconds splitGap{4};

  // Such bursts (same rule with mergeEvery) are held back and written
  // together with the next burst as one 266-byte chunk. 0 disables.
  uint32_t mergeEvery = 0;

  // After silenceAfter bursts on a newly set channel the glove goes quiet
  // for silence, once per channel set-up. A zero silence disables.
  std::chrono::milliseconds silence{0};
  uint32_t silenceAfter = 0;

  ReportMode report = ReportMode::Normal;
  // When set, the report carries this text instead of the noise of
  // malformedChannel ("abc" gives "abc,", "" gives ",,").
  std::optional<std::string> malformedToken;
  int malformedChannel = 50;

  // False: pairing requests are recorded but never confirmed.
  bool confirmPairing = true;
};

struct SimulatorConfig {
  int32_t hand = protocol::kRightHand;  // protocol::kLeftHand or protocol::kRightHand
  int burstRate = 200;                  // bursts per second, 100..500
  HandMotion motion = HandMotion::Moving;
  std::chrono::milliseconds reportInterval{200};
  ChannelNoiseTable noise = DefaultNoise();
  std::vector<int> jammedChannels;  // channels where the glove is never heard
  FaultConfig faults;
  // Most bytes left waiting for the host before further chunks are
  // dropped; at least one burst pair and below the system's tty buffer.
  size_t queueLimit = 2048;
  // Bursts whose send time is remembered (the newest ones).
  size_t sendLogCapacity = 65536;
  // Called on the worker thread with one line per notable event: channel
  // set, pairing, RSSI scan, unplug.
  std::function<void(const std::string&)> onEvent;
};

enum class ReceiverState {
  Scanning,   // RSSI scan: sends reports
  Streaming,  // on a channel that suits the glove: sends bursts
  Quiet,      // on a channel where no glove answers, or paired and waiting
  Pairing,    // pairing request under way or awaiting a confirmation never sent
  Unplugged,
};

struct PairingRequest {
  int channel = 0;
  std::array<uint8_t, protocol::kPairingAddressBytes> address = {};
};

// Counters change right after the write concerned returns, so a host may
// see bytes a moment before they are counted: wait with WaitFor.
struct Statistics {
  uint64_t burstsSent = 0;       // bursts written completely (a merged chunk counts two)
  uint64_t burstsCorrupted = 0;  // sent with a wrong check byte
  uint64_t burstsSplit = 0;
  uint64_t burstsMerged = 0;
  uint64_t reportsSent = 0;  // report blocks written, short ones included
  uint64_t drops = 0;        // chunks not written (or cut) because the host's queue was full
  uint64_t keepAlives = 0;
  uint64_t vibrations = 0;
  uint64_t calibrations = 0;
  uint64_t rssiResets = 0;
  uint64_t pairingConfirmations = 0;
  uint64_t unknownBytes = 0;
  std::vector<int> channelRequests;  // the byte after each 'j', in order
  std::vector<PairingRequest> pairings;
  // Arrival times, newest kMaxLoggedTimes kept.
  std::vector<SimClock::time_point> vibrationTimes;
  std::vector<SimClock::time_point> calibrationTimes;
};

class ReceiverSimulator {
 public:
  static constexpr size_t kMaxLoggedTimes = 4096;

  // Opens the pseudo-terminal and starts the worker in the RSSI scan.
  // Throws std::invalid_argument for a bad configuration and
  // std::system_error when no pseudo-terminal can be had.
  explicit ReceiverSimulator(SimulatorConfig config = SimulatorConfig());
  // Stops and joins the worker and closes every descriptor.
  ~ReceiverSimulator();
  ReceiverSimulator(const ReceiverSimulator&) = delete;
  ReceiverSimulator& operator=(const ReceiverSimulator&) = delete;

  // The port a host opens, e.g. "/dev/pts/3".
  const std::string& PortPath() const { return path_; }
  int32_t hand() const { return hand_; }
  int burstRate() const { return rate_; }

  ReceiverState state() const;
  int channel() const;  // last channel set with 'j', 0 before any
  Statistics stats() const;

  // Waits until pred(stats, state) holds, re-checking on every change;
  // false on time-out. pred runs under the simulator's lock: keep it short
  // and do not call back into the simulator from it.
  bool WaitFor(const std::function<bool(const Statistics&, ReceiverState)>& pred, SimClock::duration timeout) const;

  FaultConfig faults() const;
  void SetFaults(const FaultConfig& faults);
  // The glove goes quiet for the given time from now.
  void SilenceFor(SimClock::duration duration);
  // Closes the receiver's side of the port, as pulling the receiver out
  // would: the host's reads end (end of file or an I/O error) and the port
  // path disappears. Returns once done; the simulator stays unplugged.
  void Unplug();

  // The model frame encoded in burst n, and when that burst's write
  // returned (only for bursts sent among the last sendLogCapacity). The
  // stamp follows the write, so a host that reads at once may see a burst
  // a few microseconds before its send time. Asking about a burst whose
  // write is still being noted waits the moment that takes, so a host
  // asking right after its read always finds the time.
  HandFrame BurstFrame(uint64_t sequence) const;
  std::optional<SimClock::time_point> BurstSendTime(uint64_t sequence) const;

 private:
  struct Worker;
  void Run();
  void Notify();

  const int32_t hand_;
  const int rate_;
  const GloveModel model_;
  std::string path_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  // Guarded by mutex_.
  ReceiverState state_ = ReceiverState::Scanning;
  int channel_ = 0;
  Statistics stats_;
  FaultConfig faults_;
  uint64_t faultsGeneration_ = 0;
  SimClock::time_point silenceUntil_{};
  bool unplugRequested_ = false;
  bool stopRequested_ = false;
  // Sequence numbers [first, last] being written right now; empty when first > last.
  uint64_t writingFirst_ = 1, writingLast_ = 0;
  std::vector<std::pair<uint64_t, SimClock::time_point>> sendLog_;  // ring, indexed by sequence % capacity

  // Worker-owned after construction.
  SimulatorConfig config_;
  PseudoTerminal pty_;
  Waker waker_;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace sim
}  // namespace ZEMBRA
