// Which answer the web server gives a request: one of the page's own
// files, the snapshot, the stream, or a refusal with its status and a line
// saying why. Pure: the request's line and fields in, the decision out.
//
// The rules, each against a way a page elsewhere could reach the gloves:
// - only GET (and HEAD for the files), only the page's own paths: a path
//   that tries to leave them ("..", a backslash, an encoded slash or dot)
//   is refused outright, anything else unknown is not found;
// - the Host must name this server (an address or name it answers to, or
//   an allowed origin's host): a page whose own name was pointed at this
//   address sends its own name;
// - a WebSocket upgrade must come from this server's own page (an Origin
//   of the Host it asked) or an allowed origin; one without an Origin is
//   not a browser's page and may connect.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ZEMBRA {
namespace stream {

constexpr double kDefaultStreamRate = 60;
constexpr double kMaxStreamRate = 1000;
constexpr size_t kMaxRequestFields = 64;

struct WebRequest {
  std::string_view method;
  std::string_view target;
  std::optional<std::string_view> host;
  std::optional<std::string_view> origin;
  bool upgrade = false;  // a WebSocket upgrade
  size_t fields = 0;     // header fields
};

// Whom this server answers to, for one connection.
struct WebServerNames {
  std::vector<std::string> hosts;           // lower case, IPv6 addresses in brackets
  std::vector<std::string> allowedOrigins;  // as ParseOrigin gives them
};

enum class WebRoute { Page, Script, ThreeJs, OrbitControls, Hands, Stream, Refused };

struct WebDecision {
  WebRoute route = WebRoute::Refused;
  int status = 200;
  std::string reason;                // why it is refused
  double rate = kDefaultStreamRate;  // the stream's messages a second
  std::string allowOrigin;           // an allowed page elsewhere that may read the answer
};

WebDecision DecideRequest(const WebRequest& request, const WebServerNames& names);

// "HOST[:PORT]" or "[V6]:PORT" without the port, in lower case; empty when
// it is not one.
std::string HostName(std::string_view host);

}  // namespace stream
}  // namespace ZEMBRA
