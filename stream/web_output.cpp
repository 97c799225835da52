#include "stream/web_output.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <fstream>
#include <future>
#include <optional>
#include <sstream>
#include <thread>

#include "built_in.h"
#include "stream/send_policy.h"
#include "stream/web_requests.h"

#ifndef ZEMBRA_THREE_JS_DIR
#define ZEMBRA_THREE_JS_DIR "/usr/share/javascript/three"
#endif

namespace ZEMBRA {
namespace stream {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr size_t kHeaderLimit = 8 * 1024;  // a request's line and fields
constexpr size_t kBodyLimit = 1024;        // GET has none; a little is tolerated
constexpr size_t kMessageLimit = 4096;     // what a stream client may send in one message (it is read and dropped)
// Bytes a client that does not read may leave in the system's buffer.
constexpr int kSendBuffer = 64 * 1024;
// Connections being told 503 at once; any beyond are closed at once.
constexpr size_t kMaxRefusing = 32;
// Sending a response, the big script included, to a slow network.
constexpr auto kWriteTime = std::chrono::seconds(30);
constexpr Clock::rep kNever = Clock::time_point::max().time_since_epoch().count();
const char* kServerName = "zembra-stream";

std::string ReadWholeFile(const std::string& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  ok = bool(in);
  return ok ? text.str() : std::string();
}

std::string AddressText(const net::ip::address& a) {
  if (a.is_v6() && a.to_v6().is_v4_mapped()) return net::ip::make_address_v4(net::ip::v4_mapped, a.to_v6()).to_string();
  return a.is_v6() ? "[" + a.to_string() + "]" : a.to_string();
}

bool IsLoopback(const net::ip::address& a) {
  if (a.is_v6() && a.to_v6().is_v4_mapped())
    return net::ip::make_address_v4(net::ip::v4_mapped, a.to_v6()).is_loopback();
  return a.is_loopback();
}

std::string_view View(beast::string_view text) { return std::string_view(text.data(), text.size()); }

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

}  // namespace

// One glove's hand as the stream clients see it.
struct HandSlot {
  WebGlove glove;
  std::optional<HandSnapshot> newest;
  uint64_t version = 1;                        // bumps with each new pose or state: clients compare it
  Clock::time_point changed;                   // when it last bumped
  std::shared_ptr<const std::string> message;  // the message of messageVersion
  uint64_t messageVersion = 0;
  uint64_t countAtMark = 0;
  double rate = 0;
};

class HttpSession;
class StreamSession;

// Stream clients are woken by the board's poses, not by a thread of their
// own: after every pass the I/O thread works out, for each hand, from when
// a new pose would let some client send (wakeAfter), and the board's putting
// thread wakes the I/O thread only for such a pose; a timer covers what
// waits with no newer pose coming. With the clients' caps on a common grid,
// one wake-up serves every client of a rate.
struct WebOutput::Impl final : PoseListener {
  Impl(PoseBoard& b, WebSettings s, Clock::time_point start, recording::SkeletonHands skeleton)
      : board(b), settings(std::move(s)), messages(std::move(skeleton), start), grid(start) {
    for (auto& w : wakeAfter) w.store(kNever);
    for (auto& p : poseAt) p.store(0);
  }

  // The board's putting threads'.
  void OnPose(int performer, HandType hand, Clock::time_point at) override;
  void PostNews();

  // The I/O thread's.
  void Accept();
  void OnNews();
  // Every pose that came before readAt is in the slots after this.
  void ReadBoard();
  void PumpAll();
  // After any client decided: the wake-ups for the next decisions.
  void Replan();
  void ArmTimer(Clock::time_point at);
  void MarkRates();
  void Update(const std::vector<WebGlove>& gloves);
  const std::shared_ptr<const std::string>& MessageOf(size_t slot);
  int StreamingHands() const;
  std::vector<WebHand> Hands() const;
  void CloseAll();
  WebServerNames NamesFor(const tcp::socket& socket) const;

  PoseBoard& board;
  const WebSettings settings;
  const WebMessages messages;
  const Clock::time_point grid;  // where every client's cap opens from
  std::string three, orbit;
  bool haveThree = false;
  std::vector<std::string> machineNames;  // this machine's name, and name.local
  std::string url;

  std::atomic<uint64_t> connections{0}, refused{0}, streams{0}, sent{0};
  std::atomic<int> open{0}, streaming{0};
  std::atomic<bool> stop{false}, newsPosted{false};
  // By the board's index of each hand: a pose from this time on is news
  // (kNever: none is), and when its newest pose came.
  std::array<std::atomic<Clock::rep>, 2 * kMaxPerformers> wakeAfter, poseAt;

  // The I/O thread's; declared before io so that sessions destroyed with
  // io's leftover handlers still find them.
  std::vector<HandSlot> slots;
  std::vector<std::weak_ptr<HttpSession>> requests;
  std::vector<std::weak_ptr<StreamSession>> clients;
  size_t counted = 0;   // connections within maxClients
  size_t refusing = 0;  // connections being told 503
  Clock::time_point mark = Clock::now();
  Clock::time_point readAt = mark;

  net::io_context io{1};
  tcp::acceptor acceptor{io};
  net::steady_timer rateTimer{io};
  net::steady_timer retryTimer{io};
  net::steady_timer sendTimer{io};
  Clock::time_point sendTimerAt = Clock::time_point::max();
  uint64_t sendTimerArmed = 0;  // counts arms: a handler of an earlier one does nothing
  std::thread ioThread;
  std::promise<void> ioDone;
};

// A WebSocket client of /stream: at most one message in flight, each the
// newest of its hand when the client's rate lets it through.
class StreamSession : public std::enable_shared_from_this<StreamSession> {
 public:
  StreamSession(WebOutput::Impl& impl, tcp::socket socket, double rate)
      : impl_(impl), ws_(std::move(socket)), rate_(rate) {}
  ~StreamSession() {
    --impl_.counted;
    impl_.open.fetch_sub(1);
    if (accepted_) impl_.streaming.fetch_sub(1);
  }

  void Start(http::request<http::string_body> request) {
    beast::get_lowest_layer(ws_).expires_never();
    websocket::stream_base::timeout timeout;
    timeout.handshake_timeout = impl_.settings.requestTime;
    timeout.idle_timeout = impl_.settings.silentClient;
    timeout.keep_alive_pings = true;
    ws_.set_option(timeout);
    ws_.set_option(websocket::stream_base::decorator(
        [](websocket::response_type& res) { res.set(http::field::server, kServerName); }));
    ws_.read_message_max(kMessageLimit);
    ws_.text(true);
    ws_.async_accept(request, [self = shared_from_this()](beast::error_code ec) { self->OnAccept(ec); });
  }

  // Sends what is due: the first hand whose news the rate lets through.
  // What the rate holds back waits for a later pose or the grace (Replan).
  void Pump() {
    if (!accepted_ || closed_ || writing_) return;
    // Decided as of the board's last reading: a pose that came since then
    // is later than any time this gives Replan, so it wakes the thread.
    const Clock::time_point now = impl_.readAt;
    const std::vector<HandSlot>& slots = impl_.slots;
    const int hands = impl_.StreamingHands();
    // The client's rate is shared out among the hands that stream.
    if (hands != shareOf_) {
      shareOf_ = hands;
      for (Mine& m : mine_) m.policy = SendPolicy(rate_ / hands, impl_.grid);
    }
    while (mine_.size() < slots.size()) mine_.push_back({SendPolicy(rate_ / hands, impl_.grid), 0, {}});
    for (size_t i = 0; i < slots.size(); ++i) {
      Mine& m = mine_[i];
      m.plan = m.policy.Decide(now, slots[i].version > m.sent, slots[i].changed);
      if (m.plan.send) {
        m.sent = slots[i].version;
        m.policy.Sent(now);
        Write(impl_.MessageOf(i));
        return;
      }
    }
  }

  // What the client waits for on hand i; nothing while a message is in
  // flight (its end decides again) or once closed.
  bool Waiting(size_t i, SendPolicy::Decision& plan) const {
    if (!accepted_ || closed_ || writing_ || i >= mine_.size()) return false;
    plan = mine_[i].plan;
    return true;
  }

  void Close() {
    if (closed_) return;
    closed_ = true;
    beast::error_code ignored;
    beast::get_lowest_layer(ws_).socket().close(ignored);
  }

 private:
  struct Mine {
    SendPolicy policy;
    uint64_t sent;              // the slot's version last sent
    SendPolicy::Decision plan;  // the last decision
  };

  void OnAccept(beast::error_code ec) {
    if (ec || impl_.stop.load()) return Close();
    accepted_ = true;
    impl_.streaming.fetch_add(1);
    impl_.streams.fetch_add(1);
    impl_.clients.push_back(weak_from_this());
    Read();
    impl_.ReadBoard();
    Pump();
    impl_.Replan();
  }

  // What a client sends changes nothing; reading it keeps pings and the
  // closing handshake going.
  void Read() {
    ws_.async_read(incoming_, [self = shared_from_this()](beast::error_code ec, size_t) {
      if (ec) return self->Close();
      self->incoming_.consume(self->incoming_.size());
      self->Read();
    });
  }

  void Write(std::shared_ptr<const std::string> message) {
    writing_ = true;
    outgoing_ = std::move(message);
    ws_.async_write(net::buffer(*outgoing_), [self = shared_from_this()](beast::error_code ec, size_t) {
      self->writing_ = false;
      self->outgoing_.reset();
      if (ec) return self->Close();
      self->impl_.sent.fetch_add(1);
      self->Pump();
      self->impl_.Replan();
    });
  }

  WebOutput::Impl& impl_;
  websocket::stream<beast::tcp_stream> ws_;
  const double rate_;
  std::vector<Mine> mine_;
  int shareOf_ = 0;
  beast::flat_buffer incoming_;
  std::shared_ptr<const std::string> outgoing_;
  bool accepted_ = false, writing_ = false, closed_ = false;
};

// A connection, from its first byte to its last: reads requests one at a
// time within the request time, answers each, and hands a stream request
// over to a StreamSession.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  // full: over the client limit; the request is read only to be told 503.
  HttpSession(WebOutput::Impl& impl, tcp::socket socket, bool full)
      : impl_(impl), stream_(std::move(socket)), full_(full), buffer_(kHeaderLimit + kBodyLimit) {}
  ~HttpSession() {
    if (handedOver_) return;
    if (full_)
      --impl_.refusing;
    else
      --impl_.counted;
    impl_.open.fetch_sub(1);
  }

  void Start() {
    names_ = impl_.NamesFor(stream_.socket());
    std::vector<std::weak_ptr<HttpSession>>& all = impl_.requests;
    all.erase(std::remove_if(all.begin(), all.end(), [](const auto& w) { return w.expired(); }), all.end());
    all.push_back(weak_from_this());
    Read();
  }

  void Close() {
    if (closed_) return;
    closed_ = true;
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

 private:
  void Read() {
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(kBodyLimit);
    stream_.expires_after(impl_.settings.requestTime);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, size_t) { self->OnRead(ec); });
  }

  void OnRead(beast::error_code ec) {
    if (closed_ || impl_.stop.load()) return Close();
    // Ended, idle past the request time, or cancelled: nothing to answer.
    if (ec == http::error::end_of_stream || ec == beast::error::timeout || ec == net::error::operation_aborted ||
        ec == net::error::connection_reset || ec == net::error::eof)
      return Close();
    if (ec == http::error::header_limit || ec == http::error::buffer_overflow)
      return Plain(http::status::request_header_fields_too_large, "the request's fields are too long", false);
    if (ec == http::error::body_limit) return Plain(http::status::payload_too_large, "the request is too long", false);
    if (ec) return Plain(http::status::bad_request, "the request cannot be read", false);
    if (full_) {
      return Plain(http::status::service_unavailable,
                   "too many clients at once: at most " + std::to_string(impl_.settings.maxClients), false);
    }

    http::request<http::string_body>& req = parser_->get();
    WebRequest request;
    request.method = View(req.method_string());
    request.target = View(req.target());
    for (const auto& field : req) {
      ++request.fields;
      if (field.name() == http::field::host && !request.host) request.host = View(field.value());
      if (field.name() == http::field::origin && !request.origin) request.origin = View(field.value());
    }
    request.upgrade = websocket::is_upgrade(req);
    const WebDecision d = DecideRequest(request, names_);
    const bool keepAlive = req.keep_alive();
    const bool head = req.method() == http::verb::head;
    switch (d.route) {
      case WebRoute::Stream: {
        handedOver_ = true;
        auto client = std::make_shared<StreamSession>(impl_, stream_.release_socket(), d.rate);
        closed_ = true;
        client->Start(parser_->release());
        return;
      }
      case WebRoute::Page:
        return File(built_in::kPage, "text/html; charset=utf-8", d, keepAlive, head);
      case WebRoute::Script:
        return File(built_in::kScript, "text/javascript; charset=utf-8", d, keepAlive, head);
      case WebRoute::ThreeJs:
      case WebRoute::OrbitControls:
        if (!impl_.haveThree)
          return Plain(http::status::not_found, "three.js is not installed here: install Debian's libjs-three",
                       keepAlive);
        return File(d.route == WebRoute::ThreeJs ? impl_.three : impl_.orbit, "text/javascript; charset=utf-8", d,
                    keepAlive, head);
      case WebRoute::Hands: {
        auto res = std::make_shared<http::response<http::string_body>>(http::status::ok, 11);
        res->set(http::field::content_type, "application/json");
        res->set(http::field::cache_control, "no-store");
        Decorate(*res, d);
        impl_.ReadBoard();
        if (!head) res->body() = impl_.messages.Snapshot(impl_.Hands(), Clock::now());
        res->keep_alive(keepAlive);
        res->prepare_payload();
        return Send(res);
      }
      case WebRoute::Refused:
        break;
    }
    auto res = std::make_shared<http::response<http::string_body>>(http::status(d.status), 11);
    res->set(http::field::content_type, "text/plain; charset=utf-8");
    if (d.status == 405) res->set(http::field::allow, "GET, HEAD");
    Decorate(*res, d);
    res->body() = d.reason + "\n";
    res->keep_alive(keepAlive && d.status != 431);
    res->prepare_payload();
    Send(res);
  }

  template <typename Response>
  static void Decorate(Response& res, const WebDecision& d) {
    res.set(http::field::server, kServerName);
    res.set("X-Content-Type-Options", "nosniff");
    res.set("Referrer-Policy", "no-referrer");
    if (!d.allowOrigin.empty()) {
      res.set(http::field::access_control_allow_origin, d.allowOrigin);
      res.set(http::field::vary, "Origin");
    }
  }

  void File(std::string_view content, const char* type, const WebDecision& d, bool keepAlive, bool head) {
    using Body = http::span_body<const char>;
    auto res = std::make_shared<http::response<Body>>(http::status::ok, 11);
    res->set(http::field::content_type, type);
    res->set(http::field::cache_control, "no-cache");
    res->set("Content-Security-Policy",
             "default-src 'self'; connect-src 'self'; style-src 'self' 'unsafe-inline'; frame-ancestors 'none'");
    Decorate(*res, d);
    res->keep_alive(keepAlive);
    // The files live as long as the server: the body only points at them.
    if (head) {
      res->content_length(content.size());
    } else {
      res->body() = Body::value_type(content.data(), content.size());
      res->prepare_payload();
    }
    Send(res);
  }

  void Plain(http::status status, const std::string& text, bool keepAlive) {
    auto res = std::make_shared<http::response<http::string_body>>(status, 11);
    res->set(http::field::content_type, "text/plain; charset=utf-8");
    res->set(http::field::server, kServerName);
    if (status == http::status::service_unavailable) res->set(http::field::retry_after, "5");
    res->body() = text + "\n";
    res->keep_alive(keepAlive);
    res->prepare_payload();
    Send(res);
  }

  template <typename Response>
  void Send(std::shared_ptr<Response> res) {
    stream_.expires_after(kWriteTime);
    http::async_write(stream_, *res, [self = shared_from_this(), res](beast::error_code ec, size_t) {
      if (ec || !res->keep_alive() || self->closed_) return self->Close();
      self->Read();
    });
  }

  WebOutput::Impl& impl_;
  beast::tcp_stream stream_;
  const bool full_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  WebServerNames names_;
  bool closed_ = false, handedOver_ = false;
};

void WebOutput::Impl::Accept() {
  acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
    if (ec == net::error::operation_aborted || stop.load()) return;
    if (ec) {
      // Out of descriptors, say: try again shortly rather than spin.
      retryTimer.expires_after(std::chrono::milliseconds(100));
      retryTimer.async_wait([this](beast::error_code e) {
        if (!e) Accept();
      });
      return;
    }
    beast::error_code ignored;
    socket.set_option(net::socket_base::send_buffer_size(kSendBuffer), ignored);
    socket.set_option(tcp::no_delay(true), ignored);
    connections.fetch_add(1);
    const bool full = counted >= settings.maxClients;
    if (full && refusing >= kMaxRefusing) {
      refused.fetch_add(1);
      socket.close(ignored);
    } else {
      if (full) {
        refused.fetch_add(1);
        ++refusing;
      } else {
        ++counted;
      }
      open.fetch_add(1);
      std::make_shared<HttpSession>(*this, std::move(socket), full)->Start();
    }
    Accept();
  });
}

WebServerNames WebOutput::Impl::NamesFor(const tcp::socket& socket) const {
  WebServerNames names;
  names.allowedOrigins = settings.allowOrigins;
  beast::error_code ec;
  const tcp::endpoint local = socket.local_endpoint(ec);
  if (!ec) {
    names.hosts.push_back(Lower(AddressText(local.address())));
    if (IsLoopback(local.address())) {
      names.hosts.push_back("localhost");
    } else {
      names.hosts.insert(names.hosts.end(), machineNames.begin(), machineNames.end());
    }
  }
  return names;
}

int WebOutput::Impl::StreamingHands() const {
  const int n = int(std::count_if(slots.begin(), slots.end(),
                                  [](const HandSlot& s) { return s.glove.state == HandState::Streaming; }));
  return std::max(1, n);
}

std::vector<WebHand> WebOutput::Impl::Hands() const {
  std::vector<WebHand> hands;
  for (const HandSlot& s : slots) hands.push_back({s.glove.performer, s.glove.hand, s.glove.state, s.newest, s.rate});
  return hands;
}

const std::shared_ptr<const std::string>& WebOutput::Impl::MessageOf(size_t i) {
  HandSlot& s = slots[i];
  if (s.messageVersion != s.version || !s.message) {
    s.message = std::make_shared<const std::string>(
        messages.Hand({s.glove.performer, s.glove.hand, s.glove.state, s.newest, 0}));
    s.messageVersion = s.version;
  }
  return s.message;
}

void WebOutput::Impl::PumpAll() {
  clients.erase(std::remove_if(clients.begin(), clients.end(), [](const auto& w) { return w.expired(); }),
                clients.end());
  for (const std::weak_ptr<StreamSession>& w : clients)
    if (std::shared_ptr<StreamSession> client = w.lock()) client->Pump();
}

void WebOutput::Impl::OnPose(int performer, HandType hand, Clock::time_point at) {
  const size_t i = PoseBoard::Index(performer, hand);
  // Stored before wakeAfter is loaded, as Replan stores wakeAfter before
  // loading this: a pose is never missed between the two.
  poseAt[i].store(at.time_since_epoch().count());
  if (at.time_since_epoch().count() >= wakeAfter[i].load()) PostNews();
}

void WebOutput::Impl::PostNews() {
  if (!newsPosted.exchange(true)) net::post(io, [this] { OnNews(); });
}

void WebOutput::Impl::OnNews() {
  newsPosted.store(false);
  ReadBoard();
  PumpAll();
  Replan();
}

void WebOutput::Impl::Replan() {
  Clock::time_point lookAgain = Clock::time_point::max();
  bool missed = false;
  for (size_t i = 0; i < slots.size(); ++i) {
    Clock::time_point posesFrom = Clock::time_point::max();
    for (const std::weak_ptr<StreamSession>& w : clients) {
      SendPolicy::Decision plan;
      const std::shared_ptr<StreamSession> client = w.lock();
      if (!client || !client->Waiting(i, plan)) continue;
      posesFrom = std::min(posesFrom, plan.posesFrom);
      lookAgain = std::min(lookAgain, plan.lookAgain);
    }
    const size_t b = PoseBoard::Index(slots[i].glove.performer, slots[i].glove.hand);
    wakeAfter[b].store(posesFrom.time_since_epoch().count());
    // A pose that came after the board was read but before this store.
    missed = missed || poseAt[b].load() >= posesFrom.time_since_epoch().count();
  }
  ArmTimer(lookAgain);
  if (missed) PostNews();
}

void WebOutput::Impl::ArmTimer(Clock::time_point at) {
  if (at == sendTimerAt) return;
  sendTimerAt = at;
  const uint64_t armed = ++sendTimerArmed;
  if (at == Clock::time_point::max()) {
    sendTimer.cancel();
    return;
  }
  sendTimer.expires_at(at);
  sendTimer.async_wait([this, armed](beast::error_code ec) {
    if (ec || armed != sendTimerArmed) return;
    sendTimerAt = Clock::time_point::max();
    OnNews();
  });
}

void WebOutput::Impl::ReadBoard() {
  readAt = Clock::now();
  for (HandSlot& s : slots) {
    HandSnapshot snapshot;
    if (!board.Read(s.glove.performer, s.glove.hand, snapshot)) continue;
    if (s.newest && s.newest->count == snapshot.count) continue;
    s.newest = snapshot;
    ++s.version;
    s.changed = snapshot.at;
  }
}

void WebOutput::Impl::Update(const std::vector<WebGlove>& gloves) {
  const Clock::time_point now = Clock::now();
  for (const WebGlove& g : gloves) {
    auto it = std::find_if(slots.begin(), slots.end(), [&](const HandSlot& s) {
      return s.glove.performer == g.performer && s.glove.hand == g.hand;
    });
    if (it == slots.end()) {
      HandSlot s;
      s.glove = g;
      s.changed = now;
      HandSnapshot snapshot;
      if (board.Read(g.performer, g.hand, snapshot)) {
        s.newest = snapshot;
        s.countAtMark = snapshot.count;
      }
      slots.push_back(std::move(s));
    } else if (it->glove.state != g.state) {
      it->glove.state = g.state;
      ++it->version;
      it->changed = now;
    }
  }
  ReadBoard();
  PumpAll();
  Replan();
}

void WebOutput::Impl::MarkRates() {
  // Poses wake the I/O thread only when a client wants one: the counts are
  // read here.
  ReadBoard();
  const Clock::time_point now = Clock::now();
  const double seconds = std::chrono::duration<double>(now - mark).count();
  mark = now;
  for (HandSlot& s : slots) {
    const uint64_t count = s.newest ? s.newest->count : 0;
    s.rate = seconds > 0 ? double(count - s.countAtMark) / seconds : 0;
    s.countAtMark = count;
  }
  rateTimer.expires_after(std::chrono::seconds(1));
  rateTimer.async_wait([this](beast::error_code ec) {
    if (!ec) MarkRates();
  });
}

void WebOutput::Impl::CloseAll() {
  beast::error_code ignored;
  acceptor.close(ignored);
  rateTimer.cancel();
  retryTimer.cancel();
  sendTimer.cancel();
  for (const auto& w : requests)
    if (auto s = w.lock()) s->Close();
  for (const auto& w : clients)
    if (auto s = w.lock()) s->Close();
}

std::unique_ptr<WebOutput> WebOutput::Open(PoseBoard& board, WebSettings settings, Clock::time_point start,
                                           std::string& error) {
  const recording::BvhParseResult skeleton =
      recording::ParseBvh(std::string(built_in::kSkeleton) + "MOTION\nFrames: 0\nFrame Time: 0.033333\n");
  if (!skeleton.ok) {
    error = "the built-in skeleton: " + skeleton.error;
    return nullptr;
  }
  auto impl = std::make_unique<Impl>(board, settings, start, recording::SkeletonHands(skeleton.file));
  const std::string threeDir = settings.threeDir.empty() ? ZEMBRA_THREE_JS_DIR : settings.threeDir;
  bool three = false, orbit = false;
  impl->three = ReadWholeFile(threeDir + "/three.min.js", three);
  impl->orbit = ReadWholeFile(threeDir + "/examples/js/controls/OrbitControls.js", orbit);
  impl->haveThree = three && orbit;

  beast::error_code ec;
  const net::ip::address address = net::ip::make_address(settings.listen.host, ec);
  if (ec) {
    error = "--http " + settings.listen.text() + ": " + settings.listen.host + " is not an IP address";
    return nullptr;
  }
  const tcp::endpoint endpoint(address, settings.listen.port);
  impl->acceptor.open(endpoint.protocol(), ec);
  if (!ec) impl->acceptor.set_option(net::socket_base::reuse_address(true), ec);
  if (!ec) impl->acceptor.bind(endpoint, ec);
  if (!ec) impl->acceptor.listen(net::socket_base::max_listen_connections, ec);
  if (ec) {
    error = "cannot listen on " + settings.listen.text() + ": " + ec.message() +
            " (another zembra-stream? --http ADDR:PORT chooses another port, --http off none)";
    return nullptr;
  }
  const tcp::endpoint bound = impl->acceptor.local_endpoint(ec);
  HttpAddress shown = settings.listen;
  shown.port = bound.port();
  impl->url = "http://" + shown.text() + "/";
  const std::string machine = Lower(net::ip::host_name(ec));
  if (!ec && !machine.empty()) impl->machineNames = {machine, machine + ".local"};

  Impl* p = impl.get();
  impl->Accept();
  impl->MarkRates();
  impl->ioThread = std::thread([p] {
    p->io.run();
    p->ioDone.set_value();
  });
  board.Listen(p);
  return std::unique_ptr<WebOutput>(new WebOutput(std::move(impl)));
}

WebOutput::WebOutput(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

WebOutput::~WebOutput() {
  impl_->board.Unlisten(impl_.get());
  impl_->stop.store(true);
  std::future<void> done = impl_->ioDone.get_future();
  net::post(impl_->io, [p = impl_.get()] { p->CloseAll(); });
  // Every connection ends at once once closed; whatever still waits is
  // dropped with the context.
  if (done.wait_for(std::chrono::seconds(2)) != std::future_status::ready) impl_->io.stop();
  impl_->ioThread.join();
}

std::string WebOutput::url() const { return impl_->url; }

bool WebOutput::hasThree() const { return impl_->haveThree; }

void WebOutput::SetGloves(const std::vector<WebGlove>& gloves) {
  net::post(impl_->io, [p = impl_.get(), gloves] { p->Update(gloves); });
}

WebCounts WebOutput::counts() const {
  WebCounts c;
  c.connections = impl_->connections.load();
  c.refused = impl_->refused.load();
  c.streams = impl_->streams.load();
  c.messages = impl_->sent.load();
  c.clients = impl_->open.load();
  c.streaming = impl_->streaming.load();
  return c;
}

}  // namespace stream
}  // namespace ZEMBRA
