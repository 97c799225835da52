// zembra-stream's web parts that need no network: the --http and
// --allow-origin words (the default listens on loopback), which request
// gets which answer (the page's own paths only, traversal refused, the Host
// and the Origin checked, the rate read), and the messages read back as
// JSON: the joints in the driver's order, the figure the recording
// skeleton gives, a hand before its first pose, the snapshot's view.
#include <gtest/gtest.h>
#include <json/json.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "stream/options.h"
#include "stream/web_messages.h"
#include "stream/web_requests.h"
#include "tests/support/engine_hands.h"

namespace ZEMBRA {
namespace stream {
namespace {

Json::Value Parse(const std::string& text) {
  Json::Value value;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::istringstream in(text);
  EXPECT_TRUE(Json::parseFromStream(builder, in, &value, &errors)) << errors << "\n" << text;
  return value;
}

recording::SkeletonHands Skeleton() {
  std::ifstream in(ZEMBRA_BONES_FILE, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const recording::BvhParseResult parsed =
      recording::ParseBvh(text.str() + "MOTION\nFrames: 0\nFrame Time: 0.033333\n");
  EXPECT_TRUE(parsed.ok) << parsed.error;
  return recording::SkeletonHands(parsed.file);
}

TEST(WebOptions, TheDefaultIsLoopbackAndOtherAddressesOnlyWhenAsked) {
  const ParsedOptions none = ParseOptions({});
  ASSERT_TRUE(none.error.empty());
  ASSERT_TRUE(none.options.http);
  EXPECT_EQ(none.options.http->text(), "127.0.0.1:8765");
  EXPECT_TRUE(none.options.allowOrigins.empty());

  const ParsedOptions all = ParseOptions({"--http", "0.0.0.0:9000", "--allow-origin", "HTTP://Studio-PC:8080/"});
  ASSERT_TRUE(all.error.empty()) << all.error;
  EXPECT_EQ(all.options.http->text(), "0.0.0.0:9000");
  EXPECT_EQ(all.options.allowOrigins, std::vector<std::string>{"http://studio-pc:8080"});
  EXPECT_EQ(ParseOptions({"--http", "[::1]:0"}).options.http->text(), "[::1]:0");
  EXPECT_EQ(ParseOptions({"--http", "localhost:8766"}).options.http->text(), "127.0.0.1:8766");
  EXPECT_FALSE(ParseOptions({"--http", "off"}).options.http);

  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--http", "8765"},
                                              {"--http", "::1:8765"},
                                              {"--http", "127.0.0.1:65536"},
                                              {"--http", "[::1]8765"},
                                              {"--http"},
                                              {"--allow-origin", "studio-pc"},
                                              {"--allow-origin", "ftp://a"},
                                              {"--allow-origin", "http://a/page"}})
    EXPECT_FALSE(ParseOptions(bad).error.empty()) << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
}

struct Case {
  const char* method;
  const char* target;
  const char* host;    // nullptr: no Host field
  const char* origin;  // nullptr: no Origin field
  bool upgrade;
  int status;
  WebRoute route;
};

TEST(WebRequests, OnlyThePagesOwnFilesForThisServersNamesAndPagesReachTheStream) {
  const WebServerNames names{{"127.0.0.1", "localhost"}, {"http://studio-pc:8080"}};
  const WebRoute refused = WebRoute::Refused;
  const Case cases[] = {
      {"GET", "/", "127.0.0.1:8765", nullptr, false, 200, WebRoute::Page},
      {"HEAD", "/hands.js", "localhost:8765", nullptr, false, 200, WebRoute::Script},
      {"GET", "/three/three.min.js", "127.0.0.1:8765", nullptr, false, 200, WebRoute::ThreeJs},
      {"GET", "/three/OrbitControls.js", "LOCALHOST", nullptr, false, 200, WebRoute::OrbitControls},
      {"GET", "/hands?x=1", "127.0.0.1:8765", nullptr, false, 200, WebRoute::Hands},
      // A tunnel's own port: the name is what counts.
      {"GET", "/stream", "localhost:9000", "http://localhost:9000", true, 200, WebRoute::Stream},
      {"GET", "/stream", "127.0.0.1:8765", nullptr, true, 200, WebRoute::Stream},
      {"GET", "/stream", "127.0.0.1:8765", "http://studio-pc:8080", true, 200, WebRoute::Stream},
      // Another site's page, another port's page, a file's page.
      {"GET", "/stream", "127.0.0.1:8765", "http://evil.example", true, 403, refused},
      {"GET", "/stream", "127.0.0.1:8765", "http://127.0.0.1:3000", true, 403, refused},
      {"GET", "/stream", "127.0.0.1:8765", "null", true, 403, refused},
      // A page whose own name was pointed at this address.
      {"GET", "/stream", "evil.example:8765", "http://evil.example:8765", true, 403, refused},
      {"GET", "/", "evil.example", nullptr, false, 403, refused},
      {"GET", "/", "studio-pc:8080", nullptr, false, 200, WebRoute::Page},
      {"GET", "/", nullptr, nullptr, false, 400, refused},
      // Out of the page's files.
      {"GET", "/../etc/passwd", "127.0.0.1", nullptr, false, 403, refused},
      {"GET", "/three/../../../etc/passwd", "127.0.0.1", nullptr, false, 403, refused},
      {"GET", "/%2e%2e/%2E%2E/etc/passwd", "127.0.0.1", nullptr, false, 403, refused},
      {"GET", "/three/..%2f..%2fpasswd", "127.0.0.1", nullptr, false, 403, refused},
      {"GET", "/..\\..\\win.ini", "127.0.0.1", nullptr, false, 403, refused},
      {"GET", "//etc/passwd", "127.0.0.1", nullptr, false, 403, refused},
      {"GET", "http://127.0.0.1/", "127.0.0.1", nullptr, false, 400, refused},
      {"GET", "/etc/passwd", "127.0.0.1", nullptr, false, 404, refused},
      {"GET", "/three/three.js", "127.0.0.1", nullptr, false, 404, refused},
      // Read-only.
      {"POST", "/hands", "127.0.0.1", nullptr, false, 405, refused},
      {"PUT", "/stream", "127.0.0.1", nullptr, true, 405, refused},
      {"GET", "/stream", "127.0.0.1", nullptr, false, 426, refused},
  };
  for (const Case& c : cases) {
    WebRequest r;
    r.method = c.method;
    r.target = c.target;
    if (c.host) r.host = c.host;
    if (c.origin) r.origin = c.origin;
    r.upgrade = c.upgrade;
    const WebDecision d = DecideRequest(r, names);
    EXPECT_EQ(d.status, c.status) << c.method << " " << c.target << " " << (c.origin ? c.origin : "") << ": "
                                  << d.reason;
    EXPECT_EQ(d.route, c.route) << c.target;
    EXPECT_EQ(d.route == refused, !d.reason.empty()) << c.target;
  }

  WebRequest crowded{"GET", "/", std::string_view("127.0.0.1"), std::nullopt, false, kMaxRequestFields + 1};
  EXPECT_EQ(DecideRequest(crowded, names).status, 431);
  // An allowed page elsewhere may read the snapshot; our own page needs no leave.
  WebRequest cors{"GET", "/hands", std::string_view("127.0.0.1"), std::string_view("http://studio-pc:8080"), false, 3};
  EXPECT_EQ(DecideRequest(cors, names).allowOrigin, "http://studio-pc:8080");
  cors.origin = "http://127.0.0.1";
  EXPECT_EQ(DecideRequest(cors, names).allowOrigin, "");
}

TEST(WebRequests, TheStreamRateIsAskedForInTheQuery) {
  const WebServerNames names{{"127.0.0.1"}, {}};
  const auto rate = [&](const char* target) {
    WebRequest r{"GET", target, std::string_view("127.0.0.1"), std::nullopt, true, 4};
    const WebDecision d = DecideRequest(r, names);
    return d.route == WebRoute::Stream ? d.rate : -d.status;
  };
  EXPECT_EQ(rate("/stream"), kDefaultStreamRate);
  EXPECT_EQ(rate("/stream?rate=30"), 30);
  EXPECT_EQ(rate("/stream?who=me&rate=12.5"), 12.5);
  for (const char* bad :
       {"/stream?rate=0", "/stream?rate=1001", "/stream?rate=fast", "/stream?rate=", "/stream?rate=nan"})
    EXPECT_EQ(rate(bad), -400) << bad;
}

TEST(WebMessages, AHandsMessageCarriesItsPoseInTheDriversOrderAndTheSkeletonsFigure) {
  const recording::SkeletonHands skeleton = Skeleton();
  const auto start = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
  const WebMessages messages(skeleton, start);

  Pose pose = testsupport::EngineHand(Hand_Right, 60, 30);
  for (int j = 0; j < Joint_Count; ++j) pose.joints[j].x += 0.001f * float(j);  // every joint its own
  pose.statusTable[0] = 7;
  pose.statusTable[5] = -3;
  pose.statusByte = -2;
  pose.statusValue = 12345.678901234;
  HandSnapshot snapshot;
  snapshot.pose = pose;
  snapshot.count = 42;
  snapshot.at = start + std::chrono::milliseconds(2500);
  const Json::Value m = Parse(messages.Hand({3, Hand_Right, HandState::Streaming, snapshot, 0}));

  EXPECT_EQ(m["v"].asInt(), 1);
  EXPECT_EQ(m["performer"].asInt(), 3);
  EXPECT_EQ(m["hand"].asString(), "right");
  EXPECT_EQ(m["state"].asString(), "streaming");
  EXPECT_EQ(m["count"].asUInt64(), 42u);
  EXPECT_NEAR(m["time"].asDouble(), 2.5, 1e-9);
  ASSERT_EQ(m["joints"].size(), 16u);
  for (Json::ArrayIndex j = 0; j < 16; ++j) {
    const Quat& q = pose.joints[j];
    const Json::Value& got = m["joints"][j];
    ASSERT_EQ(got.size(), 4u);
    // Exactly: the shortest text that reads back as the same float.
    EXPECT_EQ(float(got[0].asDouble()), q.x) << j;
    EXPECT_EQ(float(got[1].asDouble()), q.y) << j;
    EXPECT_EQ(float(got[2].asDouble()), q.z) << j;
    EXPECT_EQ(float(got[3].asDouble()), q.w) << j;
  }
  EXPECT_EQ(m["status"]["table"][0].asInt(), 7);
  EXPECT_EQ(m["status"]["table"][5].asInt(), -3);
  EXPECT_EQ(m["status"]["byte"].asInt(), -2);
  EXPECT_EQ(m["status"]["value"].asDouble(), 12345.678901234);

  // The figure and bends are the skeleton's, posed as a recording poses it.
  std::vector<double> frame = skeleton.RestFrame();
  skeleton.PlacePose(pose, Hand_Right, frame);
  const recording::HandFigure f =
      *skeleton.Figure(Hand_Right, recording::JointPositions(skeleton.file(), frame.data()), frame.data());
  const Json::Value& figure = m["figure"];
  ASSERT_EQ(figure["points"].size(), size_t(recording::kFigurePoints));
  ASSERT_EQ(figure["palm"].size(), size_t(recording::kPalmCorners));
  for (Json::ArrayIndex p = 0; p < figure["points"].size(); ++p) {
    EXPECT_NEAR(figure["points"][p][0].asDouble(), f.points[p].x / 100, 1e-5) << p;
    EXPECT_NEAR(figure["points"][p][1].asDouble(), f.points[p].y / 100, 1e-5) << p;
    EXPECT_NEAR(figure["points"][p][2].asDouble(), f.points[p].z / 100, 1e-5) << p;
  }
  EXPECT_NEAR(figure["palm"][1][2].asDouble(), f.palm[1].z / 100, 1e-5);
  EXPECT_NEAR(figure["back"][1].asDouble(), f.back.y, 1e-5);
  EXPECT_NEAR(figure["radius"].asDouble(), f.radius / 100, 1e-5);
  const char* fingers[] = {"thumb", "index", "middle", "ring", "pinky"};
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(m["bends"][fingers[i]].asDouble(), f.bends[size_t(i)], 0.05) << fingers[i];
  EXPECT_GT(m["bends"]["middle"].asDouble(), 60);

  // Numbers JSON cannot hold are null, not text that breaks the message.
  snapshot.pose.statusValue = std::nan("");
  EXPECT_TRUE(Parse(messages.Hand({0, Hand_Right, HandState::Streaming, snapshot, 0}))["status"]["value"].isNull());
}

TEST(WebMessages, AHandBeforeItsFirstPoseAndTheSnapshotOfEveryHand) {
  const auto start = std::chrono::steady_clock::now();
  const WebMessages messages(Skeleton(), start);
  const Json::Value waiting = Parse(messages.Hand({0, Hand_Left, HandState::NoReceiver, std::nullopt, 0}));
  EXPECT_EQ(waiting["state"].asString(), "no receiver");
  EXPECT_EQ(waiting["count"].asInt(), 0);
  for (const char* absent : {"joints", "figure", "bends", "status", "time"})
    EXPECT_FALSE(waiting.isMember(absent)) << absent;

  EXPECT_EQ(StateOf(client::FeedState::Streaming, true), HandState::Streaming);
  EXPECT_EQ(StateOf(client::FeedState::Streaming, false), HandState::NoData);
  EXPECT_EQ(StateOf(client::FeedState::Silent, true), HandState::NoData);
  EXPECT_EQ(StateOf(client::FeedState::Opening, false), HandState::NoData);
  EXPECT_EQ(StateOf(client::FeedState::NoReceiver, false), HandState::NoReceiver);
  EXPECT_STREQ(StateText(HandState::NoData), "no data");

  // No hand yet: a view of the skeleton at rest; then of the hands as they are.
  const Json::Value empty = Parse(messages.Snapshot({}, start));
  EXPECT_EQ(empty["hands"].size(), 0u);
  ASSERT_TRUE(empty["view"].isObject());
  HandSnapshot left;
  left.pose = testsupport::EngineHand(Hand_Left, 0, 0);
  left.count = 10;
  left.at = start;
  const Json::Value some = Parse(messages.Snapshot(
      {{0, Hand_Left, HandState::Streaming, left, 199.5}, {0, Hand_Right, HandState::NoData, std::nullopt, 0}}, start));
  ASSERT_EQ(some["hands"].size(), 2u);
  EXPECT_EQ(some["hands"][0]["rate"].asDouble(), 199.5);
  EXPECT_EQ(some["hands"][1]["state"].asString(), "no data");
  const Json::Value& view = some["view"];
  for (const char* key : {"target", "eye", "up"}) EXPECT_EQ(view[key].size(), 3u) << key;
  // Over the left hand's back (its figure's), which is all there is to see.
  const recording::HandFigure f = *messages.Figure(left.pose, Hand_Left);
  double toEye = 0;
  for (Json::ArrayIndex i = 0; i < 3; ++i)
    toEye += (view["eye"][i].asDouble() - view["target"][i].asDouble()) * (i == 0   ? f.back.x
                                                                           : i == 1 ? f.back.y
                                                                                    : f.back.z);
  EXPECT_GT(toEye, 0);
}

}  // namespace
}  // namespace stream
}  // namespace ZEMBRA
