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
    const bool takesValue =
        arg == "--vmc" || arg == "--rate" || arg == "--hold" || arg == "--align-after" || arg == "--seconds";
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
         "                     [--align-after S] [--quiet] [--seconds S]\n"
         "Streams the fingers of every glove on this machine to VMC receivers.\n"
         "  --vmc         where performer N's hands go (N 0 when left out; repeatable;\n"
         "                default 0=127.0.0.1:39539)\n"
         "  --no-bundle   each message in a datagram of its own, for receivers that\n"
         "                cannot read bundles\n"
         "  --rate        most sends a second for each performer (default 120)\n"
         "  --hold        seconds a hand that stopped delivering stays in the sends (0.5)\n"
         "  --wrist       also send LeftHand and RightHand, relative to the pose held\n"
         "                at the last alignment\n"
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
