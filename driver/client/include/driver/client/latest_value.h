// Hands the newest value from one writer thread to one reader thread
// without either ever waiting for the other: three slots, the writer fills
// one, the reader reads another, and the third holds the newest finished
// value. Values the reader was too slow to see are skipped. Writers may
// take turns (a feed's successive reader threads) when each has ended
// before the next begins; the same holds for readers.
#pragma once

#include <atomic>

namespace ZEMBRA {
namespace client {

template <typename T>
class LatestValue {
 public:
  // Writer thread only.
  void Put(const T& value) {
    slots_[back_] = value;
    back_ = middle_.exchange(back_ | kFresh, std::memory_order_acq_rel) & kIndex;
  }

  // Reader thread only. False, and out untouched, when nothing new came
  // since the last call.
  bool Take(T& out) {
    if (!(middle_.load(std::memory_order_relaxed) & kFresh)) return false;
    front_ = middle_.exchange(front_, std::memory_order_acq_rel) & kIndex;
    out = slots_[front_];
    return true;
  }

 private:
  static constexpr int kIndex = 3;
  static constexpr int kFresh = 4;

  T slots_[3]{};
  int back_ = 0;                // the writer's
  int front_ = 1;               // the reader's
  std::atomic<int> middle_{2};  // the newest finished slot, and whether the reader has seen it
};

}  // namespace client
}  // namespace ZEMBRA
