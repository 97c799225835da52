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

struct Destination {
  int performer = 0;
  std::string host;  // a name or an IPv4 address, as given
  uint16_t port = kVmcPort;
  std::string text() const;  // "HOST:PORT"
};

struct StreamOptions {
  std::vector<Destination> vmc;  // performer 0 to 127.0.0.1:39539 unless --vmc is given
  bool bundle = true;
  double rate = 120;  // most sends a second for each performer
  double hold = 0.5;  // seconds a silent hand stays in the sends
  bool wrist = false;
  std::optional<double> alignAfter;  // seconds after start-up
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

std::string Usage();

}  // namespace stream
}  // namespace ZEMBRA
