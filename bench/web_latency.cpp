// zembra-stream's web stream latency, in one process with its real parts:
// simulated receivers in a device tree of the benchmark's own, the stream
// server with its feeds, board, VMC output (to a loopback port) and web
// output, and a WebSocket client on loopback (Boost.Beast's, on a thread of
// its own) that reads the stream as fast as it comes.
//
// A message names its burst itself: the simulator puts each burst's
// sequence number in the status value, which the message carries exactly.
// The latency runs from the simulator's write of the burst to the message's
// arrival at the client.
//
//   bench_web_latency [--seconds N] [--rate N]   (rate: the client's ?rate=, default 120)
#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "sim/packet_builder.h"
#include "stream/stream_server.h"
#include "stream_receivers.h"

namespace {

using namespace ZEMBRA;
using Clock = std::chrono::steady_clock;
namespace net = boost::asio;
namespace beast = boost::beast;

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// The number after "key": in a message; NaN when it is not there.
double NumberAfter(const std::string& text, const char* key) {
  const size_t at = text.find(key);
  return at == std::string::npos ? std::nan("") : std::strtod(text.c_str() + at + std::strlen(key), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 20;
  double rate = 120;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--seconds")) seconds = std::atof(argv[i + 1]);
    if (!std::strcmp(argv[i], "--rate")) rate = std::atof(argv[i + 1]);
  }
  bench::StreamReceivers receivers(1);
  if (!receivers.ok()) return 1;

  std::string error;
  std::vector<std::unique_ptr<stream::VmcSender>> senders;
  senders.push_back(stream::VmcSender::Open(stream::Destination{0, "127.0.0.1", 39539}, true, error));
  std::vector<double> latencies;
  uint64_t messages = 0, unmatched = 0;
  std::atomic<bool> done{false};
  std::thread client;  // ends with the server's connection
  {
    stream::StreamServer server(std::move(senders), stream::VmcOutputSettings{});
    stream::WebSettings web;
    web.listen.port = 0;
    error = server.OpenWeb(web);
    if (!error.empty()) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    const std::string url = server.web()->url();  // http://127.0.0.1:PORT/
    const std::string port = url.substr(url.rfind(':') + 1, url.size() - url.rfind(':') - 2);

    client = std::thread([&, port] {
      net::io_context io;
      beast::websocket::stream<net::ip::tcp::socket> ws(io);
      net::ip::tcp::resolver resolver(io);
      net::connect(ws.next_layer(), resolver.resolve("127.0.0.1", port));
      ws.next_layer().set_option(net::ip::tcp::no_delay(true));
      ws.handshake("127.0.0.1:" + port, "/stream?rate=" + std::to_string(int(rate)));
      const Clock::time_point warm = Clock::now() + std::chrono::seconds(3);
      beast::flat_buffer buffer;
      while (!done.load()) {
        beast::error_code ec;
        ws.read(buffer, ec);
        if (ec) break;
        const Clock::time_point arrival = Clock::now();
        const std::string text = beast::buffers_to_string(buffer.data());
        buffer.consume(buffer.size());
        if (arrival < warm || text.find("\"figure\"") == std::string::npos) continue;
        ++messages;
        const double value = NumberAfter(text, "\"value\":");
        const size_t receiver = text.find("\"hand\":\"right\"") != std::string::npos ? 1 : 0;
        const auto sent = std::isfinite(value)
                              ? receivers.at(receiver).BurstSendTime(sim::SequenceFromStatusValue(value))
                              : std::nullopt;
        if (!sent) {
          ++unmatched;
          continue;
        }
        latencies.push_back(std::chrono::duration<double, std::milli>(arrival - *sent).count());
      }
      beast::error_code ignored;
      ws.next_layer().close(ignored);
    });
    const Clock::time_point end =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
      server.PublishStates();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    done.store(true);
    // The server's end closes the client's connection, which ends its read.
  }
  client.join();
  std::printf("zembra-stream latency, burst write to WebSocket message on loopback (1 pair, %.0f s, ?rate=%.0f)\n",
              seconds, rate);
  std::printf("  messages measured %llu (after 3 s), bursts not found %llu\n", (unsigned long long)messages,
              (unsigned long long)unmatched);
  std::printf("  median %.3f ms, p99 %.3f ms, max %.3f ms (%zu)\n", Percentile(latencies, 0.5),
              Percentile(latencies, 0.99), Percentile(latencies, 1.0), latencies.size());
  return 0;
}
