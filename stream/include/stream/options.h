// zembra-stream's command line, read into settings. Pure: words in, the
// settings or the reason they are refused out (the program then exits with
// code 2).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ZEMBRA {
namespace stream {

// The port VMC receivers listen on.
constexpr uint16_t kVmcPort = 39539;
// Performers are numbered by one or two digits behind a receiver's tag.
constexpr int kMaxPerformers = 100;
// The web page and stream: loopback unless asked otherwise.
constexpr uint16_t kHttpPort = 8765;

struct Destination {
  int performer = 0;
  std::string host;  // a name or an IPv4 address, as given
  uint16_t port = kVmcPort;
  std::string text() const;  // "HOST:PORT"
};

// Where the web page and stream listen.
struct HttpAddress {
  std::string host = "127.0.0.1";  // an IPv4 or IPv6 address, IPv6 without its brackets
  uint16_t port = kHttpPort;       // 0: a free port of the system's choosing
  std::string text() const;        // "127.0.0.1:8765", "[::1]:8765"
};

struct StreamOptions {
  std::vector<Destination> vmc;  // performer 0 to 127.0.0.1:39539 unless --vmc is given
  bool bundle = true;
  double rate = 120;  // most sends a second for each performer
  double hold = 0.5;  // seconds a silent hand stays in the sends
  bool wrist = false;
  std::optional<HttpAddress> http = HttpAddress{};  // none with --http off
  std::vector<std::string> allowOrigins;            // as "scheme://host[:port]", lower case
  std::optional<double> alignAfter;                 // seconds after start-up
  bool quiet = false;
  double seconds = 0;  // run time; 0 until interrupted
  bool help = false;
};

struct ParsedOptions {
  StreamOptions options;
  std::string error;  // empty when the words were good
};

// args: the words after the program name.
ParsedOptions ParseOptions(const std::vector<std::string>& args);

// "HOST:PORT" or "N=HOST:PORT".
std::optional<Destination> ParseDestination(std::string_view text, std::string& error);
// "ADDR:PORT" or "[IPV6]:PORT" ("localhost" for 127.0.0.1); whether ADDR
// is an address of this machine is the listener's to find.
std::optional<HttpAddress> ParseHttpAddress(std::string_view text, std::string& error);
// "http://HOST[:PORT]" or "https://...", as a browser writes an Origin:
// the same in lower case without a trailing slash.
std::optional<std::string> ParseOrigin(std::string_view text, std::string& error);

std::string Usage();

}  // namespace stream
}  // namespace ZEMBRA
