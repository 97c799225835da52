#include "stream/stream_server.h"

#include <algorithm>

namespace ZEMBRA {
namespace stream {

StreamServer::StreamServer(std::vector<std::unique_ptr<VmcSender>> senders, VmcOutputSettings settings,
                           client::FeedOptions feedOptions)
    : feedOptions_(std::move(feedOptions)),
      vmc_(std::make_unique<VmcOutput>(board_, std::move(senders), settings, start_)) {
  Refresh();
}

StreamServer::~StreamServer() {
  // The feeds first: no pose reaches the board once they are gone.
  feeds_.clear();
  web_.reset();
  vmc_.reset();
}

void StreamServer::Refresh() {
  for (const client::Receiver& r : client::ListReceivers()) {
    if (feeds_.size() >= kMaxReceivers) break;
    const bool fed = std::any_of(feeds_.begin(), feeds_.end(),
                                 [&](const Feed& f) { return f.receiver.port.instance_id == r.port.instance_id; });
    if (fed || r.performer >= kMaxPerformers) continue;
    client::FeedOptions options = feedOptions_;
    PoseBoard* board = &board_;
    const int performer = r.performer;
    const HandType hand = r.hand;
    // A caller's own onPose (a benchmark's) sees each pose once it is on the board.
    options.onPose = [board, performer, hand, then = feedOptions_.onPose](const Pose& pose) {
      board->Put(performer, hand, pose);
      if (then) then(pose);
    };
    feeds_.push_back(
        Feed{r, std::make_unique<client::ReceiverFeed>(client::FeedTarget::ById(r.port.instance_id), options), {}});
  }
}

int StreamServer::AlignAll() {
  int aligned = 0;
  for (Feed& f : feeds_) {
    if (f.feed->state() != client::FeedState::Streaming) continue;
    if (f.feed->AlignFingers() != IMUError_None) continue;
    board_.TakeReference(f.receiver.performer, f.receiver.hand);
    f.aligned = Clock::now();
    ++aligned;
  }
  return aligned;
}

int StreamServer::SaveCalibrationAll() {
  int saved = 0;
  for (Feed& f : feeds_) {
    if (f.feed->state() != client::FeedState::Streaming) continue;
    if (f.feed->SaveCalibration() == IMUError_None) ++saved;
  }
  return saved;
}

std::string StreamServer::OpenWeb(WebSettings settings) {
  std::string error;
  web_ = WebOutput::Open(board_, std::move(settings), start_, error);
  if (web_) PublishStates();
  return error;
}

void StreamServer::PublishStates() {
  if (!web_) return;
  // A glove that stopped delivering a second ago has no data, whatever its
  // feed still says.
  const Clock::time_point recent = Clock::now() - std::chrono::seconds(1);
  std::vector<WebGlove> gloves;
  for (const Feed& f : feeds_) {
    const bool delivering = f.feed->poseCount() > 0 && f.feed->lastPoseTime() > recent;
    gloves.push_back({f.receiver.performer, f.receiver.hand, StateOf(f.feed->state(), delivering)});
  }
  web_->SetGloves(gloves);
}

void StreamServer::StopSending() { vmc_->Stop(); }

std::vector<GloveStatus> StreamServer::Gloves() const {
  std::vector<GloveStatus> gloves;
  for (const Feed& f : feeds_)
    gloves.push_back({f.receiver, f.feed->state(), f.feed->poseCount(), f.feed->opens(), f.aligned});
  return gloves;
}

}  // namespace stream
}  // namespace ZEMBRA
