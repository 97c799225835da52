// What the web stream and the snapshot say, as JSON text (schema version
// 1, documented in docs/streaming.md): one message for one hand (its pose,
// bends, state and figure), and the snapshot of every hand with its rate
// and the view a page starts with. The figure (joint positions, palm,
// thickness) is the recording skeleton's, posed by the hand's pose exactly
// as a recording and the hand viewer pose it. Pure: poses and states in,
// text out.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "driver/client/receiver_feed.h"
#include "stream/pose_board.h"
#include "tool/recording/hand_figure.h"

namespace ZEMBRA {
namespace stream {

constexpr int kSchemaVersion = 1;

enum class HandState { Streaming, NoData, NoReceiver };

// "streaming", "no data", "no receiver".
const char* StateText(HandState state);
// A feed's state as the page shows it; recentPose: a pose came within the
// last second.
HandState StateOf(client::FeedState feed, bool recentPose);

struct WebHand {
  int performer = 0;
  HandType hand = Hand_Left;
  HandState state = HandState::NoReceiver;
  std::optional<HandSnapshot> newest;  // none before its first pose
  double rate = 0;                     // poses a second lately (the snapshot only)
};

class WebMessages {
 public:
  using Clock = std::chrono::steady_clock;

  // skeleton: the recording skeleton; start: what "time" counts from.
  WebMessages(recording::SkeletonHands skeleton, Clock::time_point start);

  // {"v":1,"performer":0,"hand":"left","state":"streaming",...}
  std::string Hand(const WebHand& hand) const;
  // {"v":1,"time":...,"hands":[...],"view":{...}}; now: what "time" says.
  std::string Snapshot(const std::vector<WebHand>& hands, Clock::time_point now) const;
  // The hand's figure in the skeleton (its own units); none for a hand the
  // skeleton lacks.
  std::optional<recording::HandFigure> Figure(const Pose& pose, HandType hand) const;

 private:
  void WriteHand(std::string& out, const WebHand& hand, bool withRate) const;

  recording::SkeletonHands skeleton_;
  Clock::time_point start_;
};

}  // namespace stream
}  // namespace ZEMBRA
