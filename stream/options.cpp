#include "stream/options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace ZEMBRA {
namespace stream {

namespace {

bool WholeNumber(std::string_view text, long& out) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  out = std::strtol(std::string(text).c_str(), nullptr, 10);
  return true;
}

bool Number(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(out);
}

}  // namespace

std::string Destination::text() const { return host + ":" + std::to_string(port); }

std::string HttpAddress::text() const {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<HttpAddress> ParseHttpAddress(std::string_view text, std::string& error) {
  const std::string given(text);
  const auto fail = [&](const std::string& why) {
    error = "--http " + given + ": " + why;
    return std::nullopt;
  };
  HttpAddress a;
  size_t colon = std::string_view::npos;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':')
      return fail("expected [IPV6]:PORT, such as [::1]:8765");
    a.host = std::string(text.substr(1, close - 1));
    colon = close + 1;
  } else {
    colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0)
      return fail("expected ADDR:PORT, such as 127.0.0.1:8765, or off");
    a.host = std::string(text.substr(0, colon));
    if (a.host.find(':') != std::string::npos) return fail("an IPv6 address goes in brackets, such as [::1]:8765");
  }
  long port = 0;
  if (a.host.empty() || !WholeNumber(text.substr(colon + 1), port) || port > 65535)
    return fail("expected ADDR:PORT with a port from 0 (any free port) to 65535");
  if (a.host == "localhost") a.host = "127.0.0.1";
  a.port = uint16_t(port);
  return a;
}

std::optional<std::string> ParseOrigin(std::string_view text, std::string& error) {
  std::string origin;
  for (char c : text) origin += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (!origin.empty() && origin.back() == '/') origin.pop_back();
  const size_t scheme = origin.find("://");
  const std::string host = scheme == std::string::npos ? std::string() : origin.substr(scheme + 3);
  const bool known = scheme != std::string::npos &&
                     (origin.compare(0, scheme, "http") == 0 || origin.compare(0, scheme, "https") == 0);
  if (!known || host.empty() || host.find_first_of("/?#@ ") != std::string::npos) {
    error = "--allow-origin " + std::string(text) + ": expected an origin such as http://studio-pc:8080";
    return std::nullopt;
  }
  return origin;
}

std::optional<Destination> ParseDestination(std::string_view text, std::string& error) {
  Destination d;
  const size_t equals = text.find('=');
  if (equals != std::string_view::npos) {
    long performer = 0;
    if (!WholeNumber(text.substr(0, equals), performer) || performer >= kMaxPerformers) {
      error = "--vmc " + std::string(text) + ": the performer before '=' must be a number from 0 to " +
              std::to_string(kMaxPerformers - 1);
      return std::nullopt;
    }
    d.performer = int(performer);
    text.remove_prefix(equals + 1);
  }
  if (!text.empty() && text.front() == '[') {
    error = "--vmc " + std::string(text) + ": IPv6 addresses are not supported; give an IPv4 address or a host name";
    return std::nullopt;
  }
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) {
    error = "--vmc " + std::string(text) + ": expected HOST:PORT, such as 127.0.0.1:39539";
    return std::nullopt;
  }
  long port = 0;
  if (!WholeNumber(text.substr(colon + 1), port) || port < 1 || port > 65535) {
    error = "--vmc " + std::string(text) + ": the port must be a number from 1 to 65535";
    return std::nullopt;
  }
  d.host = std::string(text.substr(0, colon));
  if (d.host.find(':') != std::string::npos) {
    error = "--vmc " + std::string(text) + ": IPv6 addresses are not supported; give an IPv4 address or a host name";
    return std::nullopt;
  }
  d.port = uint16_t(port);
  return d;
}

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  StreamOptions& o = parsed.options;
  const auto fail = [&parsed](std::string why) {
    parsed.error = std::move(why);
    return parsed;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takesValue = arg == "--vmc" || arg == "--rate" || arg == "--hold" || arg == "--align-after" ||
                            arg == "--seconds" || arg == "--http" || arg == "--allow-origin";
    if (takesValue && i + 1 == args.size()) return fail(arg + " needs a value");
    const std::string value = takesValue ? args[++i] : std::string();
    double number = 0;
    if (arg == "--vmc") {
      std::string error;
      std::optional<Destination> d = ParseDestination(value, error);
      if (!d) return fail(error);
      o.vmc.push_back(*d);
    } else if (arg == "--no-bundle") {
      o.bundle = false;
    } else if (arg == "--rate") {
      if (!Number(value, number) || number < 1 || number > 1000)
        return fail("--rate must be a number of sends a second, 1 to 1000");
      o.rate = number;
    } else if (arg == "--hold") {
      if (!Number(value, number) || number <= 0 || number > 60)
        return fail("--hold must be a number of seconds above 0, at most 60");
      o.hold = number;
    } else if (arg == "--wrist") {
      o.wrist = true;
    } else if (arg == "--http") {
      std::string error;
      if (value == "off") {
        o.http.reset();
      } else if (std::optional<HttpAddress> a = ParseHttpAddress(value, error)) {
        o.http = *a;
      } else {
        return fail(error);
      }
    } else if (arg == "--allow-origin") {
      std::string error;
      std::optional<std::string> origin = ParseOrigin(value, error);
      if (!origin) return fail(error);
      o.allowOrigins.push_back(*origin);
    } else if (arg == "--align-after") {
      if (!Number(value, number) || number < 0 || number > 86400)
        return fail("--align-after must be a number of seconds, 0 or more");
      o.alignAfter = number;
    } else if (arg == "--quiet") {
      o.quiet = true;
    } else if (arg == "--seconds") {
      if (!Number(value, number) || number < 0) return fail("--seconds must be a number of seconds, 0 or more");
      o.seconds = number;
    } else if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else {
      return fail("unknown option " + arg);
    }
  }
  if (o.vmc.empty()) o.vmc.push_back(Destination{0, "127.0.0.1", kVmcPort});
  return parsed;
}

std::string Usage() {
  return "usage: zembra-stream [--vmc [N=]HOST:PORT]... [--no-bundle] [--rate N] [--hold S] [--wrist]\n"
         "                     [--http ADDR:PORT|off] [--allow-origin ORIGIN]... [--align-after S]\n"
         "                     [--quiet] [--seconds S]\n"
         "Streams the fingers of every glove on this machine to VMC receivers, and\n"
         "shows them on a web page.\n"
         "  --vmc         where performer N's hands go (N 0 when left out; repeatable;\n"
         "                default 0=127.0.0.1:39539)\n"
         "  --no-bundle   each message in a datagram of its own, for receivers that\n"
         "                cannot read bundles\n"
         "  --rate        most sends a second for each performer (default 120)\n"
         "  --hold        seconds a hand that stopped delivering stays in the sends (0.5)\n"
         "  --wrist       also send LeftHand and RightHand, relative to the pose held\n"
         "                at the last alignment\n"
         "  --http        where the web page and its WebSocket stream listen (default\n"
         "                127.0.0.1:8765, this machine only; 0.0.0.0:8765 lets every\n"
         "                device on the network see the hands; port 0 picks a free\n"
         "                one; off: no web page)\n"
         "  --allow-origin a web site whose pages may read the stream too, such as\n"
         "                http://studio-pc:8080 (repeatable)\n"
         "  --align-after align the fingers of every streaming glove once, S seconds\n"
         "                after start-up\n"
         "  --quiet       no status line\n"
         "  --seconds     stop after S seconds (default 0: until interrupted)\n"
         "Keys while running in a terminal: a aligns the fingers of every streaming\n"
         "glove (hold the hands flat, fingers together), c asks the gloves to save\n"
         "their calibration, q quits.\n";
}

}  // namespace stream
}  // namespace ZEMBRA
