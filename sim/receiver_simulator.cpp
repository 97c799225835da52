#include "sim/receiver_simulator.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "protocol/channel_report.h"
#include "sim/command_parser.h"
#include "sim/packet_builder.h"
#include "sim/sensor_encoding.h"

namespace ZEMBRA {
namespace sim {

namespace {

constexpr int kMinRate = 100;
constexpr int kMaxRate = 500;
// Smallest queue that still takes a full report and a merged pair of bursts.
constexpr size_t kMinQueueLimit = 1024;
// How long the worker sleeps when nothing is scheduled; the host's bytes
// and the waker end the sleep earlier.
constexpr auto kIdleWait = std::chrono::seconds(1);

constexpr const char* kPairingReply = "\r\npairing: glove joined, address stored\r\nfinished";

int32_t CheckedHand(int32_t hand) {
  if (hand != protocol::kLeftHand && hand != protocol::kRightHand)
    throw std::invalid_argument("hand must be left or right");
  return hand;
}

int CheckedRate(int rate) {
  if (rate < kMinRate || rate > kMaxRate) throw std::invalid_argument("burst rate must be 100..500 per second");
  return rate;
}

// Burst n is picked by a "every Nth" fault when n % N == N - 1.
bool Every(uint32_t n, uint64_t sequence) { return n != 0 && sequence % n == n - 1; }

template <typename T>
void PushBounded(std::vector<T>& log, const T& value, size_t limit) {
  if (log.size() >= limit) log.erase(log.begin());
  log.push_back(value);
}

std::string HexAddress(const std::array<uint8_t, protocol::kPairingAddressBytes>& address) {
  std::string text;
  char byte[4];
  for (uint8_t b : address) {
    std::snprintf(byte, sizeof byte, " %02x", b);
    text += byte;
  }
  return text;
}

}  // namespace

// The worker's own schedule and scratch state; only the worker thread
// touches it, and it reaches the shared state through the simulator's lock.
struct ReceiverSimulator::Worker {
  explicit Worker(ReceiverSimulator& owner)
      : sim(owner),
        period(std::chrono::duration_cast<SimClock::duration>(std::chrono::duration<double>(1.0 / owner.rate_))) {}

  struct HeldBurst {
    uint64_t sequence;
    Burst bytes;
    bool corrupted;
  };

  ReceiverSimulator& sim;
  const SimClock::duration period;
  CommandParser parser;
  ReceiverState state = ReceiverState::Scanning;
  SimClock::time_point nextReport = SimClock::now();
  SimClock::time_point nextBurst{};
  SimClock::time_point silenceUntil{};  // the larger of the run-time and the configured silence
  uint64_t nextSequence = 0;
  uint32_t burstsOnChannel = 0;
  bool configuredSilencePending = false;
  std::optional<HeldBurst> held;
  FaultConfig faults;
  uint64_t faultsGeneration = ~uint64_t(0);
  std::string report;
  std::vector<std::string> events;

  void Loop() {
    for (;;) {
      bool unplug = false;
      {
        std::lock_guard<std::mutex> lock(sim.mutex_);
        if (sim.stopRequested_) return;
        unplug = sim.unplugRequested_ && state != ReceiverState::Unplugged;
        if (faultsGeneration != sim.faultsGeneration_) {
          faults = sim.faults_;
          faultsGeneration = sim.faultsGeneration_;
          report = BuildReport();
        }
        silenceUntil = std::max(silenceUntil, sim.silenceUntil_);
      }
      sim.waker_.Drain();
      if (unplug) {
        sim.pty_.Close();
        held.reset();
        SetState(ReceiverState::Unplugged);
        events.push_back("unplugged");
      }
      if (state != ReceiverState::Unplugged) HandleInput();
      const SimClock::time_point deadline = Step(SimClock::now());
      FlushEvents();
      sim.pty_.WaitForHost(sim.waker_, deadline);
    }
  }

  // Does whatever is due and returns when the next thing is.
  SimClock::time_point Step(SimClock::time_point now) {
    switch (state) {
      case ReceiverState::Scanning:
        if (now >= nextReport) {
          SendReport();
          nextReport = NextSlot(nextReport, sim.config_.reportInterval, SimClock::now());
        }
        return nextReport;
      case ReceiverState::Streaming:
        if (now >= nextBurst) {
          if (now < silenceUntil) {
            nextBurst = silenceUntil;
          } else {
            SendBurst();
            nextBurst = NextSlot(nextBurst, period, SimClock::now());
          }
        }
        return nextBurst;
      default:
        return now + kIdleWait;
    }
  }

  // Keeps the cadence, but after a stall resumes from now instead of
  // firing a volley of catch-up writes.
  static SimClock::time_point NextSlot(SimClock::time_point last, SimClock::duration step, SimClock::time_point now) {
    const SimClock::time_point next = last + step;
    return next + step < now ? now : next;
  }

  std::string BuildReport() const {
    ReportStyle style;
    style.shortBlock = faults.report == ReportMode::ShortOnly;
    style.malformedToken = faults.malformedToken;
    style.malformedChannel = faults.malformedChannel;
    return BuildNoiseReport(sim.config_.noise, style);
  }

  void SetState(ReceiverState next) {
    state = next;
    std::lock_guard<std::mutex> lock(sim.mutex_);
    sim.state_ = next;
    sim.changed_.notify_all();
  }

  template <typename Update>
  void UpdateStats(Update update) {
    std::lock_guard<std::mutex> lock(sim.mutex_);
    update(sim.stats_);
    sim.changed_.notify_all();
  }

  void FlushEvents() {
    if (sim.config_.onEvent) {
      for (const std::string& e : events) sim.config_.onEvent(e);
    }
    events.clear();
  }

  void HandleInput() {
    uint8_t buffer[256];
    for (;;) {
      const size_t got = sim.pty_.Read(buffer, sizeof buffer);
      if (sim.pty_.TakeLineChange()) {
        // A host that opens the port sets its line up. Like a receiver that
        // resets when its port is opened, we go back to the RSSI scan: the
        // host gets a fresh channel report. Bytes after it come after it.
        if (state != ReceiverState::Scanning) {
          EnterScan();
          events.push_back("reset by the host");
        }
        continue;
      }
      if (got == 0) return;
      for (size_t i = 0; i < got; ++i) {
        if (const std::optional<Command> command = parser.Feed(buffer[i])) Apply(*command);
      }
    }
  }

  void EnterScan() {
    held.reset();
    nextReport = SimClock::now() + sim.config_.reportInterval;
    SetState(ReceiverState::Scanning);
  }

  bool ChannelSuits(int channel) const {
    const auto& jammed = sim.config_.jammedChannels;
    return channel >= 1 && channel <= kChannelCount &&
           protocol::ChannelFitsHand(channel, sim.hand_ == protocol::kRightHand) &&
           std::find(jammed.begin(), jammed.end(), channel) == jammed.end();
  }

  void Apply(const Command& command) {
    const SimClock::time_point now = SimClock::now();
    switch (command.kind) {
      case Command::Kind::KeepAlive:
        UpdateStats([](Statistics& s) { ++s.keepAlives; });
        break;
      case Command::Kind::Vibrate:
        UpdateStats([now](Statistics& s) {
          ++s.vibrations;
          PushBounded(s.vibrationTimes, now, kMaxLoggedTimes);
        });
        break;
      case Command::Kind::SaveCalibration:
        UpdateStats([now](Statistics& s) {
          ++s.calibrations;
          PushBounded(s.calibrationTimes, now, kMaxLoggedTimes);
        });
        events.push_back("calibration saved");
        break;
      case Command::Kind::RssiScan:
        UpdateStats([](Statistics& s) { ++s.rssiResets; });
        EnterScan();
        events.push_back("rssi scan");
        break;
      case Command::Kind::SetChannel:
        SetChannel(command.channel);
        break;
      case Command::Kind::PairingStarted:
        held.reset();
        SetState(ReceiverState::Pairing);
        break;
      case Command::Kind::Pair:
        Pair(command);
        break;
      case Command::Kind::Unknown:
        UpdateStats([](Statistics& s) { ++s.unknownBytes; });
        break;
    }
  }

  void SetChannel(int channel) {
    {
      std::lock_guard<std::mutex> lock(sim.mutex_);
      PushBounded(sim.stats_.channelRequests, channel, kMaxLoggedTimes);
      sim.channel_ = channel;
    }
    held.reset();
    if (ChannelSuits(channel)) {
      nextBurst = SimClock::now() + period;
      burstsOnChannel = 0;
      configuredSilencePending = faults.silence.count() > 0;
      SetState(ReceiverState::Streaming);
      events.push_back("channel " + std::to_string(channel) + ": streaming at " + std::to_string(sim.rate_) +
                       " bursts/s");
    } else {
      SetState(ReceiverState::Quiet);
      events.push_back("channel " + std::to_string(channel) + ": no glove on this channel");
    }
  }

  void Pair(const Command& command) {
    PairingRequest request;
    request.channel = command.channel;
    request.address = command.address;
    UpdateStats([&request](Statistics& s) { PushBounded(s.pairings, request, kMaxLoggedTimes); });
    events.push_back("pairing: channel " + std::to_string(request.channel) + ", address" + HexAddress(request.address));
    // Asked under the lock now, not from the copy taken at the top of the
    // loop: a change made before the host sent this request must apply.
    bool confirm;
    {
      std::lock_guard<std::mutex> lock(sim.mutex_);
      confirm = sim.faults_.confirmPairing;
    }
    if (!confirm) return;
    const std::string reply = kPairingReply;
    const bool sent =
        Write(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(), sim.config_.queueLimit + reply.size());
    if (sent) {
      UpdateStats([](Statistics& s) { ++s.pairingConfirmations; });
      events.push_back("pairing confirmed");
    }
    EnterScan();
  }

  // Counts a chunk that did not go out whole as a drop.
  bool Write(const uint8_t* data, size_t size, size_t queueLimit) {
    const PseudoTerminal::WriteStatus status = sim.pty_.Write(data, size, queueLimit);
    if (status == PseudoTerminal::WriteStatus::Written) return true;
    if (status != PseudoTerminal::WriteStatus::Closed) UpdateStats([](Statistics& s) { ++s.drops; });
    return false;
  }

  void SendReport() {
    if (faults.report == ReportMode::Missing) return;
    if (Write(reinterpret_cast<const uint8_t*>(report.data()), report.size(), sim.config_.queueLimit)) {
      UpdateStats([](Statistics& s) { ++s.reportsSent; });
    }
  }

  // Marks bursts as being written, so BurstSendTime waits for their time
  // instead of reporting them unsent.
  void BeginWriting(uint64_t first, uint64_t last) {
    std::lock_guard<std::mutex> lock(sim.mutex_);
    sim.writingFirst_ = first;
    sim.writingLast_ = last;
  }

  void EndWriting() {
    std::lock_guard<std::mutex> lock(sim.mutex_);
    sim.writingFirst_ = 1;
    sim.writingLast_ = 0;
    sim.changed_.notify_all();
  }

  void RecordSent(std::initializer_list<const HeldBurst*> bursts, bool merged, bool split) {
    const SimClock::time_point now = SimClock::now();
    std::lock_guard<std::mutex> lock(sim.mutex_);
    sim.writingFirst_ = 1;
    sim.writingLast_ = 0;
    for (const HeldBurst* b : bursts) {
      ++sim.stats_.burstsSent;
      if (b->corrupted) ++sim.stats_.burstsCorrupted;
      if (merged) ++sim.stats_.burstsMerged;
      if (split) ++sim.stats_.burstsSplit;
      sim.sendLog_[b->sequence % sim.sendLog_.size()] = {b->sequence, now};
    }
    sim.changed_.notify_all();
  }

  void SendBurst() {
    if (configuredSilencePending && burstsOnChannel >= faults.silenceAfter) {
      configuredSilencePending = false;
      silenceUntil = std::max(silenceUntil, SimClock::now() + faults.silence);
      nextBurst = silenceUntil;
      return;
    }
    HeldBurst burst;
    burst.sequence = nextSequence++;
    ++burstsOnChannel;
    const HandFrame frame = sim.model_.At(double(burst.sequence) / sim.rate_);
    burst.bytes = BuildBurst(EncodeSensors(frame, sim.hand_), StatusForBurst(burst.sequence));
    burst.corrupted = Every(faults.badCheckEvery, burst.sequence);
    if (burst.corrupted) {
      const int sensor = faults.badCheckSensor >= 0 && faults.badCheckSensor < protocol::kSensorCount
                             ? faults.badCheckSensor
                             : int(burst.sequence % protocol::kSensorCount);
      CorruptCheckByte(burst.bytes, sensor);
    }

    const size_t limit = sim.config_.queueLimit;
    if (held) {
      std::array<uint8_t, 2 * protocol::kMaxReadSize> chunk;
      std::copy(held->bytes.begin(), held->bytes.end(), chunk.begin());
      std::copy(burst.bytes.begin(), burst.bytes.end(), chunk.begin() + protocol::kMaxReadSize);
      const HeldBurst first = *held;
      held.reset();
      BeginWriting(first.sequence, burst.sequence);
      if (Write(chunk.data(), chunk.size(), limit)) {
        RecordSent({&first, &burst}, true, false);
      } else {
        EndWriting();
      }
      return;
    }
    if (Every(faults.mergeEvery, burst.sequence)) {
      held = burst;
      return;
    }
    if (Every(faults.splitEvery, burst.sequence) && faults.splitAt > 0 && faults.splitAt < burst.bytes.size()) {
      const size_t first = faults.splitAt;
      // Room for the whole burst is checked up front so that the second
      // piece is never the one dropped.
      if (sim.pty_.QueuedForHost() + burst.bytes.size() > limit) {
        UpdateStats([](Statistics& s) { ++s.drops; });
        return;
      }
      BeginWriting(burst.sequence, burst.sequence);
      if (Write(burst.bytes.data(), first, limit)) {
        std::this_thread::sleep_for(faults.splitGap);
        if (Write(burst.bytes.data() + first, burst.bytes.size() - first, limit + burst.bytes.size())) {
          RecordSent({&burst}, false, true);
          return;
        }
      }
      EndWriting();
      return;
    }
    BeginWriting(burst.sequence, burst.sequence);
    if (Write(burst.bytes.data(), burst.bytes.size(), limit)) {
      RecordSent({&burst}, false, false);
    } else {
      EndWriting();
    }
  }
};

ReceiverSimulator::ReceiverSimulator(SimulatorConfig config)
    : hand_(CheckedHand(config.hand)),
      rate_(CheckedRate(config.burstRate)),
      model_(config.hand, config.motion),
      faults_(config.faults),
      config_(std::move(config)) {
  if (config_.queueLimit < kMinQueueLimit) throw std::invalid_argument("queue limit below 1024 bytes");
  if (config_.sendLogCapacity == 0) throw std::invalid_argument("send log needs room for one burst");
  if (config_.reportInterval.count() <= 0) throw std::invalid_argument("report interval must be positive");
  sendLog_.assign(config_.sendLogCapacity, {~uint64_t(0), SimClock::time_point{}});
  path_ = pty_.SlavePath();
  thread_ = std::thread(&ReceiverSimulator::Run, this);
}

ReceiverSimulator::~ReceiverSimulator() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopRequested_ = true;
  }
  Notify();
  if (thread_.joinable()) thread_.join();
}

void ReceiverSimulator::Run() {
  Worker worker(*this);
  worker.Loop();
}

void ReceiverSimulator::Notify() {
  waker_.Notify();
  changed_.notify_all();
}

ReceiverState ReceiverSimulator::state() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

int ReceiverSimulator::channel() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return channel_;
}

Statistics ReceiverSimulator::stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stats_;
}

bool ReceiverSimulator::WaitFor(const std::function<bool(const Statistics&, ReceiverState)>& pred,
                                SimClock::duration timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return pred(stats_, state_); });
}

FaultConfig ReceiverSimulator::faults() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_;
}

void ReceiverSimulator::SetFaults(const FaultConfig& faults) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_ = faults;
    ++faultsGeneration_;
  }
  Notify();
}

void ReceiverSimulator::SilenceFor(SimClock::duration duration) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    silenceUntil_ = SimClock::now() + duration;
  }
  Notify();
}

void ReceiverSimulator::Unplug() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (state_ == ReceiverState::Unplugged) return;
  unplugRequested_ = true;
  waker_.Notify();
  changed_.wait(lock, [this] { return state_ == ReceiverState::Unplugged || stopRequested_; });
}

HandFrame ReceiverSimulator::BurstFrame(uint64_t sequence) const { return model_.At(double(sequence) / rate_); }

std::optional<SimClock::time_point> ReceiverSimulator::BurstSendTime(uint64_t sequence) const {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return sequence < writingFirst_ || sequence > writingLast_ || stopRequested_; });
  const auto& entry = sendLog_[sequence % sendLog_.size()];
  if (entry.first != sequence) return std::nullopt;
  return entry.second;
}

}  // namespace sim
}  // namespace ZEMBRA
