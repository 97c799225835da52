// zembra-stream: both hands of every glove on this machine, live, to VMC
// receivers (avatar programs, game engines, other computers).
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "console.h"
#include "stream/options.h"
#include "stream/status.h"
#include "stream/stream_server.h"

namespace {

using namespace ZEMBRA;
using namespace ZEMBRA::stream;
using Clock = std::chrono::steady_clock;

constexpr int kBadArguments = 2;
constexpr int kCannotListen = 1;
constexpr auto kRefreshEvery = std::chrono::seconds(2);

StatusSample Sample(StreamServer& server, const std::vector<DestinationStatus>& destinations) {
  StatusSample s;
  s.at = Clock::now();
  s.poses = server.board().version();
  for (const DestinationStatus& d : destinations) s.sends += d.counts.sends;
  return s;
}

std::vector<DestinationStatus> Destinations(const StreamServer& server) {
  std::vector<DestinationStatus> out;
  for (const auto& sender : server.vmc().senders()) out.push_back({sender->destination(), sender->counts()});
  return out;
}

void Align(StreamServer& server) {
  const int n = server.AlignAll();
  std::printf("aligned the fingers of %d glove%s\n", n, n == 1 ? "" : "s");
  std::fflush(stdout);
}

void SaveCalibration(StreamServer& server) {
  const int n = server.SaveCalibrationAll();
  // The driver's message has no line end.
  std::printf("\nasked %d glove%s to save their calibration\n", n, n == 1 ? "" : "s");
  std::fflush(stdout);
}

int Run(const StreamOptions& options) {
  // Before any thread starts: every thread inherits the blocked signals.
  Console console;
  std::vector<std::unique_ptr<VmcSender>> senders;
  for (const Destination& d : options.vmc) {
    std::string error;
    std::unique_ptr<VmcSender> sender = VmcSender::Open(d, options.bundle, error);
    if (!sender) {
      std::fprintf(stderr, "zembra-stream: %s\n", error.c_str());
      return kBadArguments;
    }
    senders.push_back(std::move(sender));
  }
  StreamServer server(std::move(senders), VmcOutputSettings{options.rate, options.hold, options.wrist});
  if (options.http) {
    WebSettings web;
    web.listen = *options.http;
    web.allowOrigins = options.allowOrigins;
    const std::string error = server.OpenWeb(web);
    if (!error.empty()) {
      std::fprintf(stderr, "zembra-stream: %s\n", error.c_str());
      return kCannotListen;
    }
  }
  const Clock::time_point start = server.start();
  const auto after = [&](double seconds) {
    return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  };
  const Clock::time_point end = options.seconds > 0 ? after(options.seconds) : Clock::time_point::max();
  // max: no alignment planned.
  Clock::time_point alignAt = options.alignAfter ? after(*options.alignAfter) : Clock::time_point::max();

  std::string where;
  for (const Destination& d : options.vmc) where += " " + std::to_string(d.performer) + "=" + d.text();
  std::printf("zembra-stream: VMC to%s%s; keys: a align, c save calibration, q quit\n", where.c_str(),
              options.bundle ? "" : " (no bundles)");
  if (const WebOutput* web = server.web()) {
    const std::string url = web->url();
    std::printf("zembra-stream: the hands on a web page at %s (WebSocket stream at ws%sstream)\n", url.c_str(),
                url.substr(4).c_str());
    if (!web->hasThree())
      std::printf("zembra-stream: three.js is missing (Debian's libjs-three): the page cannot draw the hands\n");
  }
  std::fflush(stdout);

  StatusSample last = Sample(server, Destinations(server));
  Clock::time_point nextStatus = start + std::chrono::seconds(1);
  Clock::time_point nextRefresh = start + kRefreshEvery;
  for (;;) {
    const int key = console.Wait(100);
    if (key == Console::kStop || key == 'q' || key == 'Q') break;
    if (key == 'a' || key == 'A') Align(server);
    if (key == 'c' || key == 'C') SaveCalibration(server);
    server.PublishStates();
    const Clock::time_point now = Clock::now();
    if (now >= end) break;
    if (now >= alignAt) {
      alignAt = Clock::time_point::max();
      Align(server);
    }
    if (now >= nextRefresh) {
      server.Refresh();
      nextRefresh = now + kRefreshEvery;
    }
    if (now >= nextStatus) {
      const std::vector<DestinationStatus> destinations = Destinations(server);
      const StatusSample sample = Sample(server, destinations);
      if (!options.quiet) {
        std::printf("%s\n", StatusLine(server.Gloves(), destinations, last, sample, options.bundle).c_str());
        std::fflush(stdout);
      }
      last = sample;
      nextStatus += std::chrono::seconds(1);
      if (nextStatus < now) nextStatus = now + std::chrono::seconds(1);
    }
  }

  server.StopSending();
  const std::vector<GloveStatus> gloves = server.Gloves();
  std::vector<HandSnapshot> hands(gloves.size());
  for (size_t i = 0; i < gloves.size(); ++i)
    server.board().Read(gloves[i].receiver.performer, gloves[i].receiver.hand, hands[i]);
  std::printf("%s", Summary(gloves, hands, Destinations(server)).c_str());
  if (const WebOutput* web = server.web()) {
    const WebCounts c = web->counts();
    std::printf("web %s: %llu connections, %llu stream clients, %llu messages, %llu refused\n", web->url().c_str(),
                (unsigned long long)c.connections, (unsigned long long)c.streams, (unsigned long long)c.messages,
                (unsigned long long)c.refused);
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const ParsedOptions parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "zembra-stream: %s\n%s", parsed.error.c_str(), Usage().c_str());
    return kBadArguments;
  }
  if (parsed.options.help) {
    std::printf("%s", Usage().c_str());
    return 0;
  }
  return Run(parsed.options);
}
