#include "stream/web_messages.h"

#include <charconv>
#include <cmath>

namespace ZEMBRA {
namespace stream {

namespace {

constexpr const char* kFingerNames[recording::kFingers] = {"thumb", "index", "middle", "ring", "pinky"};
// The skeleton's offsets are centimetres; the figures go out in metres.
constexpr double kMetresPerUnit = 0.01;

// Numbers as JSON has them: a value that is not finite is null.
void Shortest(std::string& out, double value) {
  char text[32];
  if (!std::isfinite(value)) return void(out += "null");
  const auto r = std::to_chars(text, text + sizeof text, value);
  out.append(text, r.ptr);
}
void Shortest(std::string& out, float value) {
  char text[32];
  if (!std::isfinite(value)) return void(out += "null");
  const auto r = std::to_chars(text, text + sizeof text, value);
  out.append(text, r.ptr);
}
void Fixed(std::string& out, double value, int decimals) {
  char text[64];
  if (!std::isfinite(value) || std::fabs(value) > 1e15) return void(out += "null");
  const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  out.append(text, r.ptr);
}
void Point(std::string& out, const recording::Vec3& p) {
  out += '[';
  Fixed(out, p.x * kMetresPerUnit, 5);
  out += ',';
  Fixed(out, p.y * kMetresPerUnit, 5);
  out += ',';
  Fixed(out, p.z * kMetresPerUnit, 5);
  out += ']';
}
template <typename List>
void Points(std::string& out, const List& points) {
  out += '[';
  for (size_t i = 0; i < points.size(); ++i) {
    if (i > 0) out += ',';
    Point(out, points[i]);
  }
  out += ']';
}
void Direction(std::string& out, const recording::Vec3& d) {
  out += '[';
  Fixed(out, d.x, 5);
  out += ',';
  Fixed(out, d.y, 5);
  out += ',';
  Fixed(out, d.z, 5);
  out += ']';
}

void WriteFigure(std::string& out, const recording::HandFigure& f) {
  out += "\"figure\":{\"points\":";
  Points(out, f.points);
  out += ",\"palm\":";
  Points(out, f.palm);
  out += ",\"back\":";
  Direction(out, f.back);
  out += ",\"radius\":";
  Fixed(out, f.radius * kMetresPerUnit, 5);
  out += '}';
}

void WriteView(std::string& out, const recording::HandsCamera& c) {
  out += "\"view\":{\"target\":";
  Point(out, c.target);
  out += ",\"eye\":";
  Point(out, c.eye);
  out += ",\"up\":";
  Direction(out, c.up);
  out += ",\"fov\":";
  Fixed(out, c.fieldOfView, 1);
  out += ",\"extent\":";
  Fixed(out, c.extent * kMetresPerUnit, 5);
  out += ",\"floor\":{\"centre\":";
  Point(out, c.floorCentre);
  out += ",\"normal\":";
  Direction(out, c.floorNormal);
  out += "}}";
}

}  // namespace

const char* StateText(HandState state) {
  switch (state) {
    case HandState::Streaming:
      return "streaming";
    case HandState::NoData:
      return "no data";
    case HandState::NoReceiver:
      break;
  }
  return "no receiver";
}

HandState StateOf(client::FeedState feed, bool recentPose) {
  switch (feed) {
    case client::FeedState::NoReceiver:
      return HandState::NoReceiver;
    case client::FeedState::Streaming:
      return recentPose ? HandState::Streaming : HandState::NoData;
    case client::FeedState::Opening:
    case client::FeedState::Silent:
      break;
  }
  return HandState::NoData;
}

WebMessages::WebMessages(recording::SkeletonHands skeleton, Clock::time_point start)
    : skeleton_(std::move(skeleton)), start_(start) {}

std::optional<recording::HandFigure> WebMessages::Figure(const Pose& pose, HandType hand) const {
  if (!skeleton_.HasHand(hand)) return std::nullopt;
  std::vector<double> frame = skeleton_.RestFrame();
  skeleton_.PlacePose(pose, hand, frame);
  return skeleton_.Figure(hand, recording::JointPositions(skeleton_.file(), frame.data()), frame.data());
}

void WebMessages::WriteHand(std::string& out, const WebHand& h, bool withRate) const {
  out += "{\"v\":";
  out += std::to_string(kSchemaVersion);
  out += ",\"performer\":";
  out += std::to_string(h.performer);
  out += h.hand == Hand_Right ? ",\"hand\":\"right\"" : ",\"hand\":\"left\"";
  out += ",\"state\":\"";
  out += StateText(h.state);
  out += "\",\"count\":";
  out += std::to_string(h.newest ? h.newest->count : 0);
  if (withRate) {
    out += ",\"rate\":";
    Fixed(out, h.rate, 1);
  }
  if (!h.newest || h.newest->count == 0) return void(out += '}');

  const Pose& pose = h.newest->pose;
  out += ",\"time\":";
  Fixed(out, std::chrono::duration<double>(h.newest->at - start_).count(), 4);
  out += ",\"joints\":[";
  for (int j = 0; j < Joint_Count; ++j) {
    const Quat& q = pose.joints[j];
    out += j == 0 ? "[" : ",[";
    Shortest(out, q.x);
    out += ',';
    Shortest(out, q.y);
    out += ',';
    Shortest(out, q.z);
    out += ',';
    Shortest(out, q.w);
    out += ']';
  }
  out += "],\"status\":{\"table\":[";
  for (int k = 0; k < 6; ++k) {
    if (k > 0) out += ',';
    out += std::to_string(pose.statusTable[k]);
  }
  out += "],\"byte\":";
  out += std::to_string(pose.statusByte);
  out += ",\"value\":";
  Shortest(out, pose.statusValue);
  out += '}';
  if (const std::optional<recording::HandFigure> figure = Figure(pose, h.hand)) {
    out += ",\"bends\":{";
    for (int f = 0; f < recording::kFingers; ++f) {
      out += f == 0 ? "\"" : ",\"";
      out += kFingerNames[f];
      out += "\":";
      Fixed(out, figure->bends[size_t(f)], 1);
    }
    out += "},";
    WriteFigure(out, *figure);
  }
  out += '}';
}

std::string WebMessages::Hand(const WebHand& hand) const {
  std::string out;
  out.reserve(2048);
  WriteHand(out, hand, false);
  return out;
}

std::string WebMessages::Snapshot(const std::vector<WebHand>& hands, Clock::time_point now) const {
  std::string out = "{\"v\":" + std::to_string(kSchemaVersion) + ",\"time\":";
  Fixed(out, std::chrono::duration<double>(now - start_).count(), 4);
  out += ",\"hands\":[";
  // The view: on the first performer that delivered, as its hands are now;
  // with none, on the skeleton's hands at rest.
  std::vector<recording::HandFigure> figures;
  int viewed = -1;
  for (size_t i = 0; i < hands.size(); ++i) {
    if (i > 0) out += ',';
    WriteHand(out, hands[i], true);
    const WebHand& h = hands[i];
    if (!h.newest || h.newest->count == 0 || (viewed >= 0 && h.performer > viewed)) continue;
    if (viewed >= 0 && h.performer < viewed) figures.clear();
    if (std::optional<recording::HandFigure> f = Figure(h.newest->pose, h.hand)) {
      figures.push_back(*f);
      viewed = h.performer;
    }
  }
  out += "],";
  if (figures.empty()) {
    const std::vector<double> rest = skeleton_.RestFrame();
    const std::vector<recording::Vec3> at = recording::JointPositions(skeleton_.file(), rest.data());
    for (HandType hand : {Hand_Left, Hand_Right})
      if (std::optional<recording::HandFigure> f = skeleton_.Figure(hand, at, rest.data())) figures.push_back(*f);
  }
  if (figures.empty()) {
    out += "\"view\":null}";
  } else {
    WriteView(out, recording::CameraOnHands(figures));
    out += '}';
  }
  return out;
}

}  // namespace stream
}  // namespace ZEMBRA
