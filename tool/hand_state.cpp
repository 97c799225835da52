#include "tool/hand_state.h"

void HandState::ReceiverMissing() {
  link_ = Link::Missing;
  awaitingSearch_ = false;
}

void HandState::ReceiverFound() {
  if (link_ != Link::Streaming) link_ = Link::NoData;
  awaitingSearch_ = false;
}

bool HandState::Pose() {
  if (portHeld() || awaitingSearch_) return false;
  link_ = Link::Streaming;
  return true;
}

bool HandState::WatchdogFired() {
  if (!receiverFound()) return false;
  link_ = Link::NoData;
  return true;
}

bool HandState::PortReleased() {
  if (!portHeld() || released_) return false;
  released_ = true;
  return true;
}

bool HandState::Begin(Activity activity) {
  if (activity_ != Activity::Monitoring) return false;
  activity_ = activity;
  released_ = false;
  return true;
}

void HandState::End(Activity activity) {
  if (activity_ != activity) return;
  const bool hadPort = portHeld();
  activity_ = Activity::Monitoring;
  released_ = false;
  // Whatever the icon showed while someone else had the port, it says
  // nothing about now: the glove counts as delivering once a pose says so.
  if (hadPort && link_ == Link::Streaming) link_ = Link::NoData;
  awaitingSearch_ = hadPort;
}

bool HandState::BeginPairing() { return Begin(Activity::Pairing); }
bool HandState::BeginDemo() { return Begin(Activity::Demo); }
bool HandState::BeginRecording() { return Begin(Activity::Recording); }
void HandState::EndPairing() { End(Activity::Pairing); }
void HandState::EndDemo() { End(Activity::Demo); }
void HandState::EndRecording() { End(Activity::Recording); }

HandState::Icon HandState::icon() const {
  switch (link_) {
    case Link::Missing:
      return Icon::NotFound;
    case Link::Streaming:
      return Icon::Paired;
    case Link::Unknown:
    case Link::NoData:
      break;
  }
  return Icon::NotPaired;
}

std::string HandState::Describe() const {
  switch (activity_) {
    case Activity::Pairing:
      return "pairing";
    case Activity::Demo:
      return "in the demo";
    case Activity::Monitoring:
    case Activity::Recording:
      break;
  }
  const char* recording = activity_ == Activity::Recording ? ", recording" : "";
  switch (link_) {
    case Link::Unknown:
      return "looking for the receiver";
    case Link::Missing:
      return "receiver not found";
    case Link::NoData:
      return std::string("no data") + recording;
    case Link::Streaming:
      return std::string("streaming") + recording;
  }
  return {};
}
