// A bounded first-in first-out queue between one writer that must never
// wait (the driver's reader thread) and any number of readers that may wait
// for the next value (Python threads, with the interpreter's lock let go).
// When the queue is full the oldest value makes room and is counted as
// dropped. It also keeps the newest value ever put, apart from the queue,
// for readers that only want the latest. A reader of several queues waits
// on a Doorbell that each of them rings.
//
// Threads: every member may be called from any thread. Put holds the lock
// for two copies of a value and the rings of the doorbells attached, and
// never allocates; the storage is made once.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace ZEMBRA {
namespace python {

// Wakes a reader waiting for any of several queues: each rings it on every
// value put and when it closes.
class Doorbell {
 public:
  using Clock = std::chrono::steady_clock;

  // How often it rang so far.
  uint64_t rings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return rings_;
  }
  void Ring() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++rings_;
    }
    rang_.notify_all();
  }
  // Waits until it rang more than `seen` times, or the deadline passed;
  // false on the deadline.
  bool WaitPast(uint64_t seen, Clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    return rang_.wait_until(lock, deadline, [&] { return rings_ != seen; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable rang_;
  uint64_t rings_ = 0;
};

template <typename T>
class DeliveryQueue {
 public:
  using Clock = std::chrono::steady_clock;

  enum class Taken {
    Value,     // out holds the oldest value, now gone from the queue
    TimedOut,  // nothing came by the deadline
    Closed,    // the queue was closed
  };

  // capacity: at least 1.
  explicit DeliveryQueue(size_t capacity) : ring_(capacity < 1 ? 1 : capacity) {}
  DeliveryQueue(const DeliveryQueue&) = delete;
  DeliveryQueue& operator=(const DeliveryQueue&) = delete;

  // Appends value, dropping the oldest when full. Ignored once closed.
  void Put(const T& value) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_) return;
      if (count_ == ring_.size()) {
        head_ = (head_ + 1) % ring_.size();
        --count_;
        ++dropped_;
      }
      ring_[(head_ + count_) % ring_.size()] = value;
      ++count_;
      ++received_;
      newest_ = value;
      for (const auto& doorbell : doorbells_) doorbell->Ring();
    }
    ready_.notify_one();
  }

  // Takes the oldest value, waiting for one until the deadline at most (a
  // deadline already past does not wait). Once closed it gives Closed at
  // once, whatever is still queued.
  Taken Take(T& out, Clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto ready = [this] { return closed_ || count_ > 0; };
    if (!ready() && (deadline <= Clock::now() || !ready_.wait_until(lock, deadline, ready))) return Taken::TimedOut;
    if (closed_) return Taken::Closed;
    out = ring_[head_];
    head_ = (head_ + 1) % ring_.size();
    --count_;
    return Taken::Value;
  }

  // The newest value put so far; false, and out untouched, before the first.
  bool Newest(T& out) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (received_ == 0) return false;
    out = newest_;
    return true;
  }

  // Wakes every waiting reader; from now on Take gives Closed and Put does
  // nothing.
  void Close() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
      count_ = 0;
      for (const auto& doorbell : doorbells_) doorbell->Ring();
    }
    ready_.notify_all();
  }

  // From now on Put and Close ring doorbell too, until it is detached.
  void Attach(std::shared_ptr<Doorbell> doorbell) {
    std::lock_guard<std::mutex> lock(mutex_);
    doorbells_.push_back(std::move(doorbell));
  }
  void Detach(const Doorbell* doorbell) {
    std::lock_guard<std::mutex> lock(mutex_);
    doorbells_.erase(std::remove_if(doorbells_.begin(), doorbells_.end(),
                                    [doorbell](const auto& attached) { return attached.get() == doorbell; }),
                     doorbells_.end());
  }

  bool closed() const { return Locked(closed_); }
  size_t capacity() const { return ring_.size(); }
  size_t size() const { return Locked(count_); }
  // Values put, and values dropped to make room, since construction.
  uint64_t received() const { return Locked(received_); }
  uint64_t dropped() const { return Locked(dropped_); }

 private:
  template <typename V>
  V Locked(const V& field) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return field;
  }

  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<T> ring_;  // the queue: count_ values from head_, wrapping
  size_t head_ = 0;
  size_t count_ = 0;
  T newest_{};
  uint64_t received_ = 0;
  uint64_t dropped_ = 0;
  bool closed_ = false;
  std::vector<std::shared_ptr<Doorbell>> doorbells_;
};

}  // namespace python
}  // namespace ZEMBRA
