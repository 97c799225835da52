#include "stream/web_requests.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ZEMBRA {
namespace stream {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

bool Contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

WebDecision Refuse(int status, std::string reason) {
  WebDecision d;
  d.status = status;
  d.reason = std::move(reason);
  return d;
}

// The rate=N of a query; the default without one; none when it is bad.
std::optional<double> RateOf(std::string_view query) {
  double rate = kDefaultStreamRate;
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (pair.substr(0, 5) != "rate=") continue;
    const std::string value(pair.substr(5));
    char* end = nullptr;
    rate = std::strtod(value.c_str(), &end);
    if (value.empty() || end != value.c_str() + value.size() || !std::isfinite(rate) || rate < 1 ||
        rate > kMaxStreamRate)
      return std::nullopt;
  }
  return rate;
}

bool Allowed(const std::string& origin, const WebServerNames& names) {
  return std::find(names.allowedOrigins.begin(), names.allowedOrigins.end(), origin) != names.allowedOrigins.end();
}

bool KnownHost(const std::string& name, const WebServerNames& names) {
  if (std::find(names.hosts.begin(), names.hosts.end(), name) != names.hosts.end()) return true;
  for (const std::string& origin : names.allowedOrigins)
    if (HostName(origin.substr(origin.find("://") + 3)) == name) return true;
  return false;
}

}  // namespace

std::string HostName(std::string_view host) {
  std::string name = Lower(host);
  if (!name.empty() && name.front() == '[') {
    const size_t close = name.find(']');
    if (close == std::string::npos) return {};
    const std::string rest = name.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return {};
    return name.substr(0, close + 1);
  }
  const size_t colon = name.find(':');
  if (colon != std::string::npos) name.resize(colon);
  if (name.find_first_of("/\\@ \t") != std::string::npos) return {};
  return name;
}

WebDecision DecideRequest(const WebRequest& r, const WebServerNames& names) {
  if (r.fields > kMaxRequestFields)
    return Refuse(431, "a request may carry at most " + std::to_string(kMaxRequestFields) + " header fields");
  const size_t question = r.target.find('?');
  const std::string_view path = r.target.substr(0, question);
  const std::string_view query =
      question == std::string_view::npos ? std::string_view() : r.target.substr(question + 1);
  if (path.empty() || path.front() != '/') return Refuse(400, "a path starts with /");
  const std::string lower = Lower(path);
  if (Contains(lower, "..") || Contains(lower, "\\") || Contains(lower, "%2e") || Contains(lower, "%2f") ||
      Contains(lower, "%5c") || Contains(lower, "%00") || Contains(lower, "//"))
    return Refuse(403, "paths outside the page's own files are refused");

  if (!r.host) return Refuse(400, "a request names the host it is for");
  const std::string name = HostName(*r.host);
  if (name.empty() || !KnownHost(name, names))
    return Refuse(403, "this server does not answer to \"" + std::string(*r.host) +
                           "\"; to reach it by that name, start zembra-stream with --allow-origin http://" +
                           Lower(*r.host));

  WebDecision d;
  if (path == "/") {
    d.route = WebRoute::Page;
  } else if (path == "/hands.js") {
    d.route = WebRoute::Script;
  } else if (path == "/three/three.min.js") {
    d.route = WebRoute::ThreeJs;
  } else if (path == "/three/OrbitControls.js") {
    d.route = WebRoute::OrbitControls;
  } else if (path == "/hands") {
    d.route = WebRoute::Hands;
  } else if (path == "/stream") {
    d.route = WebRoute::Stream;
  } else {
    return Refuse(404, "not found");
  }

  const std::string origin = r.origin ? Lower(*r.origin) : std::string();
  if (d.route == WebRoute::Stream) {
    if (r.method != "GET") return Refuse(405, "the stream is read with GET and a WebSocket upgrade");
    if (!r.upgrade) return Refuse(426, "this is the WebSocket stream: connect to it with a WebSocket client");
    const std::string own = Lower(*r.host);
    if (r.origin && origin != "http://" + own && origin != "https://" + own && !Allowed(origin, names))
      return Refuse(403, "WebSocket connections from pages of " + origin +
                             " are refused; start zembra-stream with --allow-origin " + origin + " to allow them");
    const std::optional<double> rate = RateOf(query);
    if (!rate) return Refuse(400, "rate must be a number of messages a second, 1 to 1000");
    d.rate = *rate;
    return d;
  }
  if (r.method != "GET" && r.method != "HEAD") return Refuse(405, "only GET and HEAD are answered");
  if (r.origin && Allowed(origin, names)) d.allowOrigin = origin;
  return d;
}

}  // namespace stream
}  // namespace ZEMBRA
