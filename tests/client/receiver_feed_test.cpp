// A ReceiverFeed against simulated receivers, in process and as
// zembra-receiver-sim processes, in a device tree of the test's own: it
// streams and hands every pose to its callback; it notices a receiver
// pulled out (by the port list, or by silence when the port lingers) and
// takes it back under whatever name it returns; four receivers of two
// performers stream at once; a missing receiver is looked for again; the
// end is bounded while missing and while opening; commands during reopens
// are safe; and nothing is left behind. Threaded: it runs under
// ThreadSanitizer.
#include "driver/client/receiver_feed.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "driver/client/receivers.h"
#include "sim/packet_builder.h"
#include "tests/client/client_test_support.h"

namespace ZEMBRA {
namespace client {
namespace {

using namespace std::chrono_literals;
using clienttest::WaitFor;
using Clock = std::chrono::steady_clock;

uint64_t Sequence(const Pose& pose) { return sim::SequenceFromStatusValue(pose.statusValue); }

class ReceiverFeedTest : public clienttest::DeviceTreeTest {};

TEST_F(ReceiverFeedTest, TheNewestPoseIsHandedOverAndTheCallbackSeesEveryOne) {
  auto receiver = PlugIn(Hand_Left, "ttyUSB0", "ZEMBRA-LH0-0000");
  std::mutex mutex;
  std::vector<uint64_t> seen;
  {
    FeedOptions options;
    options.onPose = [&](const Pose& pose) {
      std::lock_guard<std::mutex> lock(mutex);
      seen.push_back(Sequence(pose));
    };
    ReceiverFeed feed(FeedTarget::FirstOf(Hand_Left), options);
    ASSERT_TRUE(WaitFor([&] { return feed.poseCount() > 200; }));
    EXPECT_EQ(feed.state(), FeedState::Streaming);
    EXPECT_EQ(feed.port().port_name, Node("ttyUSB0"));
    EXPECT_EQ(feed.lastError(), IMUError_None);
    EXPECT_EQ(feed.opens(), 1u);
    Pose pose{};
    ASSERT_TRUE(feed.TakePose(pose));
    // Only poses newer than the one taken come out: their bursts follow.
    const uint64_t first = Sequence(pose);
    ASSERT_TRUE(WaitFor([&] { return feed.TakePose(pose); }, 2s));
    EXPECT_GT(Sequence(pose), first);
    EXPECT_EQ(pose.type, Hand_Left);
  }
  // Every pose in order; a gap only where the receiver dropped bursts for
  // a host that fell behind, or (rarely, under load) a read cut apart.
  std::lock_guard<std::mutex> lock(mutex);
  ASSERT_GT(seen.size(), 200u);
  for (size_t i = 1; i < seen.size(); ++i) ASSERT_GT(seen[i], seen[i - 1]) << "at " << i;
  const uint64_t missing = seen.back() - seen.front() + 1 - seen.size();
  EXPECT_LE(missing, receiver->stats().drops + seen.size() / 50 + 3);

  // Closed: the port can be opened again by the next client.
  ReceiverFeed again(FeedTarget::FirstOf(Hand_Left));
  EXPECT_TRUE(WaitFor([&] { return again.poseCount() > 0; }));
}

TEST_F(ReceiverFeedTest, APulledOutReceiverIsNoticedAndComesBackUnderANewName) {
  const size_t threads = clienttest::ThreadCount(), descriptors = clienttest::DescriptorCount();
  {
    auto receiver = PlugIn(Hand_Left, "ttyUSB0", "ZEMBRA-LH0-0000");
    FeedOptions options;
    options.retry = 200ms;
    options.reopenWhenSilent = false;  // only the port list can tell
    ReceiverFeed feed(FeedTarget::FirstOf(Hand_Left), options);
    ASSERT_TRUE(WaitFor([&] { return feed.state() == FeedState::Streaming; }));

    PullOut(*receiver, "ttyUSB0");
    ASSERT_TRUE(WaitFor([&] { return feed.state() == FeedState::NoReceiver; }));
    EXPECT_TRUE(feed.port().port_name.empty());
    receiver.reset();

    auto back = PlugIn(Hand_Left, "ttyUSB3", "ZEMBRA-LH0-0000");
    const uint64_t before = feed.poseCount();
    ASSERT_TRUE(WaitFor([&] { return feed.poseCount() > before + 50; }));
    EXPECT_EQ(feed.opens(), 2u);
    EXPECT_EQ(feed.port().port_name, Node("ttyUSB3"));
    EXPECT_EQ(feed.state(), FeedState::Streaming);
  }
  EXPECT_EQ(clienttest::ThreadCount(), threads);
  EXPECT_EQ(clienttest::DescriptorCount(), descriptors);
}

TEST_F(ReceiverFeedTest, AReceiverThatDiesInPlaceIsNoticedBySilence) {
  const std::string id = "USB\\VID_0403&PID_6001\\ZEMBRA-LH1-0002";
  auto dead = PlugIn(Hand_Left, "ttyUSB0", "ZEMBRA-LH1-0002");
  FeedOptions options;
  options.retry = 200ms;
  options.silence = 1s;
  ReceiverFeed feed(FeedTarget::ById(id), options);
  EXPECT_EQ(feed.target().hand, Hand_Left);
  ASSERT_TRUE(WaitFor([&] { return feed.state() == FeedState::Streaming; }));

  // Made before the other goes, so that it cannot be given the same
  // pseudo-terminal, which the dead entry still names.
  sim::SimulatorConfig config;
  config.hand = Hand_Left;
  auto back = std::make_unique<sim::ReceiverSimulator>(config);

  // The port fails but stays listed, as it may for a moment after a pull.
  dead->Unplug();
  ASSERT_TRUE(WaitFor([&] { return feed.lastError() != IMUError_None; }));
  ASSERT_TRUE(WaitFor([&] { return feed.state() == FeedState::NoReceiver; }));
  ASSERT_EQ(ListReceivers().size(), 1u);

  // Back under another name beside the dead entry: found by its identifier.
  Register(*back, "ttyUSB5", "ZEMBRA-LH1-0002");
  const uint64_t before = feed.poseCount();
  ASSERT_TRUE(WaitFor([&] { return feed.poseCount() > before + 50; }));
  EXPECT_GE(feed.opens(), 2u);
  EXPECT_EQ(feed.port().port_name, Node("ttyUSB5"));
  EXPECT_EQ(feed.lastError(), IMUError_None);
}

TEST_F(ReceiverFeedTest, FourReceiversOfTwoPerformersStreamAtOnceAndAStoppedOneComesBack) {
  const char* serials[] = {"ZEMBRA-LH0-0000", "ZEMBRA-RH0-0001", "ZEMBRA-LH1-0002", "ZEMBRA-RH1-0003"};
  const auto start = [](int hand, const std::string& name, const std::string& serial) {
    return std::make_unique<clienttest::SimProcess>(std::vector<std::string>{
        "--hand", hand == 0 ? "left" : "right", "--rate", "100", "--register", name, "--serial", serial});
  };
  std::vector<std::unique_ptr<clienttest::SimProcess>> sims;
  // One after another: each is registered before the next starts.
  for (int i = 0; i < 4; ++i) {
    sims.push_back(start(i % 2, "ttyUSB" + std::to_string(i), serials[i]));
    ASSERT_TRUE(sims.back()->registered()) << serials[i];
  }
  const std::vector<Receiver> receivers = ListReceivers();
  ASSERT_EQ(receivers.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(receivers[size_t(i)].serial, serials[i]);
    EXPECT_EQ(receivers[size_t(i)].hand, i % 2 == 0 ? Hand_Left : Hand_Right);
    EXPECT_EQ(receivers[size_t(i)].performer, i / 2);
  }

  FeedOptions options;
  options.retry = 200ms;
  std::vector<std::unique_ptr<ReceiverFeed>> feeds;
  for (const Receiver& r : receivers)
    feeds.push_back(std::make_unique<ReceiverFeed>(FeedTarget::ById(r.port.instance_id), options));
  for (size_t i = 0; i < feeds.size(); ++i) {
    ASSERT_TRUE(WaitFor([&] { return feeds[i]->poseCount() > 20; })) << serials[i];
    Pose pose{};
    ASSERT_TRUE(feeds[i]->TakePose(pose));
    EXPECT_EQ(pose.type, receivers[i].hand) << serials[i];
    EXPECT_EQ(feeds[i]->port().port_name, receivers[i].port.port_name);
  }

  // Performer 1's right receiver is pulled out, then comes back elsewhere.
  sims[3]->Stop();
  ASSERT_TRUE(WaitFor([&] { return feeds[3]->state() == FeedState::NoReceiver; }));
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(feeds[i]->state(), FeedState::Streaming) << serials[i];
  sims.push_back(start(1, "ttyUSB7", serials[3]));
  ASSERT_TRUE(sims.back()->registered());
  ASSERT_TRUE(WaitFor([&] { return feeds[3]->opens() == 2 && feeds[3]->state() == FeedState::Streaming; }));
  EXPECT_EQ(feeds[3]->port().port_name, Node("ttyUSB7"));
  feeds.clear();  // before the receivers go
}

TEST_F(ReceiverFeedTest, AMissingReceiverIsLookedForAgainAndTheEndDoesNotWaitOutTheRetry) {
  {
    FeedOptions options;
    options.retry = 100ms;
    ReceiverFeed feed(FeedTarget::FirstOf(Hand_Left), options);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(feed.state(), FeedState::NoReceiver);
    EXPECT_EQ(feed.lastError(), IMUError_PortNotFound);
    EXPECT_EQ(feed.poseCount(), 0u);
    EXPECT_FALSE(feed.Vibrate() == IMUError_None);
    auto receiver = PlugIn(Hand_Left, "ttyUSB0", "ZEMBRA-LH0-0000");
    EXPECT_TRUE(WaitFor([&] { return feed.poseCount() > 0; }));
  }
  FeedOptions slow;
  slow.retry = 10s;
  ReceiverFeed byId(FeedTarget::ById("USB\\VID_0403&PID_6001\\ZEMBRA-RH1-0003"), slow);
  auto nothing = std::make_unique<ReceiverFeed>(FeedTarget::FirstOf(Hand_Right), slow);
  std::this_thread::sleep_for(200ms);
  const auto start = Clock::now();
  nothing.reset();
  EXPECT_LT(Clock::now() - start, 5s) << "the end does not wait out the retry";
  EXPECT_EQ(byId.state(), FeedState::NoReceiver);
}

TEST_F(ReceiverFeedTest, TheEndWhileOpeningWaitsOnlyForTheOpen) {
  sim::SimulatorConfig config;
  config.faults.report = sim::ReportMode::Missing;
  auto receiver = PlugIn(Hand_Right, "ttyUSB0", "ZEMBRA-RH0-0001", config);
  const size_t threads = clienttest::ThreadCount(), descriptors = clienttest::DescriptorCount();
  auto feed = std::make_unique<ReceiverFeed>(FeedTarget::FirstOf(Hand_Right));
  ASSERT_TRUE(WaitFor([&] { return feed->state() == FeedState::Opening; }));
  // The receiver starts reporting: the open in progress completes.
  sim::FaultConfig faults = receiver->faults();
  faults.report = sim::ReportMode::Normal;
  receiver->SetFaults(faults);
  const auto start = Clock::now();
  feed.reset();
  EXPECT_LT(Clock::now() - start, 5s) << "not the driver's whole report wait";
  EXPECT_EQ(clienttest::ThreadCount(), threads);
  EXPECT_EQ(clienttest::DescriptorCount(), descriptors);
}

// Stops and joins a thread of the test's, even when an assertion returns early.
class Background {
 public:
  template <typename Body>
  explicit Background(Body body)
      : thread_([this, body] {
          while (!stop_) body();
        }) {}
  ~Background() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(ReceiverFeedTest, CommandsWhileTheFeedReopensAreSafe) {
  FeedOptions options;
  options.retry = 50ms;
  ReceiverFeed feed(FeedTarget::FirstOf(Hand_Left), options);
  std::atomic<int> done{0}, notOpen{0}, unexpected{0};
  const auto tally = [&](EIMUError err, EIMUError allowed) {
    if (err == IMUError_None || err == allowed)
      ++done;
    else if (err == IMUError_PortNotOpen)
      ++notOpen;
    else
      ++unexpected;
  };
  Background commands([&] {
    double degrees = 0;
    tally(feed.AlignFingers(), IMUError_None);
    // A write may fail once the receiver is gone and before the feed knows.
    tally(feed.SaveCalibration(), IMUError_OperationFailed);
    tally(feed.Vibrate(), IMUError_OperationFailed);
    tally(feed.FingerValue(2, degrees), IMUError_None);
    const EIMUError outside = feed.FingerValue(7, degrees);
    if (outside != IMUError_IndexOutOfRange && outside != IMUError_PortNotOpen) ++unexpected;
    std::this_thread::sleep_for(2ms);
  });
  for (int cycle = 0; cycle < 3; ++cycle) {
    const std::string name = "ttyUSB" + std::to_string(cycle);
    auto receiver = PlugIn(Hand_Left, name, "ZEMBRA-LH0-0000");
    ASSERT_TRUE(WaitFor([&] { return feed.state() == FeedState::Streaming; })) << cycle;
    ASSERT_TRUE(receiver->WaitFor(
        [](const sim::Statistics& s, sim::ReceiverState) { return s.vibrations > 0 && s.calibrations > 0; }, 10s))
        << "the commands reach receiver " << cycle;
    PullOut(*receiver, name);
    ASSERT_TRUE(WaitFor([&] { return feed.state() == FeedState::NoReceiver; })) << cycle;
  }
  commands.Stop();
  EXPECT_GT(done.load(), 0);
  EXPECT_GT(notOpen.load(), 0);
  EXPECT_EQ(unexpected.load(), 0);
}

TEST(LatestValue, AReaderSeesOnlyWholeValuesAndNeverGoesBack) {
  struct Pair {
    uint64_t a = 0, b = 0;
  };
  LatestValue<Pair> latest;
  constexpr uint64_t kCount = 200000;
  std::thread writer([&] {
    for (uint64_t i = 1; i <= kCount; ++i) latest.Put({i, ~i});
  });
  uint64_t last = 0;
  Pair p;
  while (last < kCount) {
    if (!latest.Take(p)) continue;
    ASSERT_EQ(p.b, ~p.a) << "a torn value";
    ASSERT_GT(p.a, last);
    last = p.a;
  }
  writer.join();
  EXPECT_FALSE(latest.Take(p));
}

}  // namespace
}  // namespace client
}  // namespace ZEMBRA
