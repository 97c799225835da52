// The web output: zembra-stream's page, its JSON snapshot (/hands) and its
// WebSocket stream (/stream), served over HTTP with Boost.Beast beside the
// VMC output, through the same pose board.
//
// Each client costs a bounded share: at most maxClients connections at once
// (one more is told 503, any beyond that closed at once); a request must be
// whole within requestTime (and the next one come within it) and carries
// at most 8 KiB of request line and fields; a stream client has at most
// one message in flight, so one that does not read is sent nothing more
// (never queued for), and once it has answered nothing for silentClient it
// is closed. Slow clients never hold up the others or the board's other
// outputs: every socket is driven asynchronously.
//
// Threads: one I/O thread serves every connection. The board tells it of
// poses from the putting threads, and wakes it only for a pose some client
// is ready to send. SetGloves and counts() from any thread. The destructor
// stops listening to the board, closes every connection and joins the
// thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "stream/options.h"
#include "stream/pose_board.h"
#include "stream/web_messages.h"

namespace ZEMBRA {
namespace stream {

struct WebSettings {
  HttpAddress listen;
  std::vector<std::string> allowOrigins;  // as ParseOrigin gives them
  std::string threeDir;                   // three.js; empty: where Debian's libjs-three installs it
  size_t maxClients = 32;
  std::chrono::milliseconds requestTime{5000};
  std::chrono::milliseconds silentClient{6000};
};

// One glove the server feeds, and how it is doing.
struct WebGlove {
  int performer = 0;
  HandType hand = Hand_Left;
  HandState state = HandState::NoReceiver;
};

struct WebCounts {
  uint64_t connections = 0;  // accepted so far
  uint64_t refused = 0;      // told 503 or closed at once: too many clients
  uint64_t streams = 0;      // WebSocket clients so far
  uint64_t messages = 0;     // stream messages written
  int clients = 0;           // connections open now
  int streaming = 0;         // of them, WebSocket clients
};

class WebOutput {
 public:
  using Clock = std::chrono::steady_clock;

  // Listens at settings.listen; null, and error says why, when it cannot.
  static std::unique_ptr<WebOutput> Open(PoseBoard& board, WebSettings settings, Clock::time_point start,
                                         std::string& error);
  ~WebOutput();
  WebOutput(const WebOutput&) = delete;
  WebOutput& operator=(const WebOutput&) = delete;

  // "http://127.0.0.1:8765/", with the port the system chose for port 0.
  std::string url() const;
  // Whether three.js was found, without which the page cannot draw.
  bool hasThree() const;
  // The gloves and their states; a change of state is a message to every
  // stream client.
  void SetGloves(const std::vector<WebGlove>& gloves);
  WebCounts counts() const;

  struct Impl;

 private:
  explicit WebOutput(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace stream
}  // namespace ZEMBRA
