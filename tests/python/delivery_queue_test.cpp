// The bounded queue between the driver's reader thread and the Python
// threads: order, the oldest dropped and counted when full, the newest kept
// apart, waits that end on a value, a deadline or a close, and the doorbell
// that wakes a reader of several queues.
#include "python/delivery_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace ZEMBRA {
namespace python {
namespace {

using namespace std::chrono_literals;
using Queue = DeliveryQueue<int>;
using Clock = Queue::Clock;

TEST(DeliveryQueue, KeepsTheNewestInOrderAndCountsWhatItDrops) {
  Queue queue(3);
  int out = -1;
  EXPECT_FALSE(queue.Newest(out));
  EXPECT_EQ(queue.Take(out, Clock::now()), Queue::Taken::TimedOut);
  for (int i = 1; i <= 5; ++i) queue.Put(i);
  EXPECT_EQ(queue.size(), 3u);
  EXPECT_EQ(queue.received(), 5u);
  EXPECT_EQ(queue.dropped(), 2u);
  std::vector<int> taken;
  while (queue.Take(out, Clock::now()) == Queue::Taken::Value) taken.push_back(out);
  EXPECT_EQ(taken, (std::vector<int>{3, 4, 5}));
  // The newest stays, taken or not.
  ASSERT_TRUE(queue.Newest(out));
  EXPECT_EQ(out, 5);
  queue.Put(6);
  queue.Put(7);
  ASSERT_EQ(queue.Take(out, Clock::now()), Queue::Taken::Value);
  EXPECT_EQ(out, 6);
  EXPECT_EQ(queue.dropped(), 2u);
}

TEST(DeliveryQueue, AWaitEndsWithAValueTheDeadlineOrTheClose) {
  constexpr int kValues = 20000;
  Queue queue(kValues);  // room for all: nothing is dropped
  int out = -1;
  const auto start = Clock::now();
  EXPECT_EQ(queue.Take(out, start + 50ms), Queue::Taken::TimedOut);
  EXPECT_GE(Clock::now() - start, 50ms);

  // Two readers share what one writer puts, each value once.
  std::atomic<long> sum{0};
  std::atomic<int> count{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 2; ++r) {
    readers.emplace_back([&] {
      int value = 0;
      for (;;) {
        const Queue::Taken taken = queue.Take(value, Clock::now() + 10s);
        if (taken == Queue::Taken::Closed) return;
        if (taken == Queue::Taken::Value) {
          sum += value;
          ++count;
        }
      }
    });
  }
  std::thread writer([&] {
    for (int i = 1; i <= kValues; ++i) {
      queue.Put(i);
      if (i % 500 == 0) std::this_thread::sleep_for(1ms);  // the readers wait now and then
    }
  });
  writer.join();
  const auto deadline = Clock::now() + 10s;
  while (count.load() < kValues && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
  queue.Close();  // wakes both readers, which wait on
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(count.load(), kValues);
  EXPECT_EQ(sum.load(), long(kValues) * (kValues + 1) / 2);
  EXPECT_EQ(queue.dropped(), 0u);
  EXPECT_EQ(queue.Take(out, Clock::now() + 1s), Queue::Taken::Closed);
  queue.Put(1);  // ignored once closed
  EXPECT_EQ(queue.size(), 0u);
}

TEST(DeliveryQueue, ADoorbellWakesTheReaderOfSeveralQueues) {
  Queue first(10), second(10);
  auto doorbell = std::make_shared<Doorbell>();
  first.Attach(doorbell);
  second.Attach(doorbell);
  const uint64_t seen = doorbell->rings();
  EXPECT_FALSE(doorbell->WaitPast(seen, Clock::now() + 20ms));

  std::thread writer([&] {
    std::this_thread::sleep_for(20ms);
    second.Put(7);
  });
  EXPECT_TRUE(doorbell->WaitPast(seen, Clock::now() + 10s));
  writer.join();
  int out = 0;
  EXPECT_EQ(first.Take(out, Clock::now()), Queue::Taken::TimedOut);
  ASSERT_EQ(second.Take(out, Clock::now()), Queue::Taken::Value);
  EXPECT_EQ(out, 7);

  const uint64_t before = doorbell->rings();
  first.Close();
  EXPECT_TRUE(doorbell->WaitPast(before, Clock::now() + 1s)) << "a close rings too";
  second.Detach(doorbell.get());
  const uint64_t detached = doorbell->rings();
  second.Put(8);
  EXPECT_EQ(doorbell->rings(), detached);
}

}  // namespace
}  // namespace python
}  // namespace ZEMBRA
