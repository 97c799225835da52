// zembra-stream's core: a ReceiverFeed for every receiver on the machine,
// each pose put on the pose board under its receiver's performer and hand,
// and the outputs reading the board: VMC, and the web page and stream once
// OpenWeb has started them. Receivers plugged in later are found by
// Refresh; a feed keeps its receiver through unplugging and replugging.
//
// Threads: the owner calls every member from one thread; the feeds' poses
// arrive on the driver's reader threads, the outputs run on their own.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/client/receiver_feed.h"
#include "driver/client/receivers.h"
#include "stream/pose_board.h"
#include "stream/vmc_output.h"
#include "stream/web_output.h"

namespace ZEMBRA {
namespace stream {

struct GloveStatus {
  client::Receiver receiver;
  client::FeedState state = client::FeedState::NoReceiver;
  uint64_t poses = 0;
  uint64_t opens = 0;
  std::optional<std::chrono::steady_clock::time_point> aligned;
};

class StreamServer {
 public:
  using Clock = std::chrono::steady_clock;

  // At most this many receivers are fed; later ones are left alone.
  static constexpr size_t kMaxReceivers = 32;

  // feedOptions: for every feed; its onPose, if any, runs after the pose is
  // on the board.
  StreamServer(std::vector<std::unique_ptr<VmcSender>> senders, VmcOutputSettings settings,
               client::FeedOptions feedOptions = client::FeedOptions());
  ~StreamServer();
  StreamServer(const StreamServer&) = delete;
  StreamServer& operator=(const StreamServer&) = delete;

  // Looks for receivers not fed yet and starts their feeds.
  void Refresh();
  // The driver's finger alignment on every streaming glove (and, for
  // --wrist, each hand's reference taken anew); returns how many took it.
  int AlignAll();
  // Asks every streaming glove to save its calibration; how many did.
  int SaveCalibrationAll();
  // Starts the web output; the reason when it cannot listen.
  std::string OpenWeb(WebSettings settings);
  // Tells the web output, if any, every glove and its state (the owner
  // calls it often: a change reaches the page no sooner).
  void PublishStates();
  // Ends the VMC sends, for a summary whose counts agree with each other:
  // a send reaches every destination or none.
  void StopSending();

  std::vector<GloveStatus> Gloves() const;
  const VmcOutput& vmc() const { return *vmc_; }
  // Null until OpenWeb.
  const WebOutput* web() const { return web_.get(); }
  PoseBoard& board() { return board_; }
  Clock::time_point start() const { return start_; }

 private:
  struct Feed {
    client::Receiver receiver;
    std::unique_ptr<client::ReceiverFeed> feed;
    std::optional<Clock::time_point> aligned;
  };

  const Clock::time_point start_ = Clock::now();
  const client::FeedOptions feedOptions_;
  PoseBoard board_;
  std::unique_ptr<VmcOutput> vmc_;
  std::unique_ptr<WebOutput> web_;
  std::vector<Feed> feeds_;
};

}  // namespace stream
}  // namespace ZEMBRA
