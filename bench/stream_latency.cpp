// zembra-stream's latency, in one process with its real parts: simulated
// receivers in a device tree of the benchmark's own, the stream server
// with its feeds, board, VMC output and liblo sender, and a UDP socket on
// loopback that liblo decodes the datagrams from.
//
// A datagram is matched to its burst by content: each pose on the board is
// also converted here, with the same function the output uses, and its
// index finger's intermediate rotation (four floats, bit for bit) is
// remembered with the burst's sequence number (which the simulator puts in
// the status value). The datagram's newest pose is the one that set the
// send off; every pose a datagram carries for the first time is counted as
// well.
//
//   bench_stream_latency [--seconds N] [--rate N]
#include <lo/lo.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/packet_builder.h"
#include "stream/stream_server.h"
#include "stream_receivers.h"

namespace {

using namespace ZEMBRA;
using Clock = std::chrono::steady_clock;

struct Key {
  float v[4];
  bool operator<(const Key& o) const { return std::memcmp(v, o.v, sizeof v) < 0; }
};
struct Origin {
  int receiver;
  uint64_t sequence;
};

struct Matches {
  std::mutex mutex;
  std::map<Key, Origin> poses;  // every pose seen on the board
};

Key KeyOf(const Quat& q) { return Key{{q.x, q.y, q.z, q.w}}; }

struct Datagram {
  std::vector<std::pair<bool, Key>> hands;  // right?, key
};

int OnBone(const char*, const char*, lo_arg** argv, int argc, lo_message, void* data) {
  if (argc != 8) return 0;
  const std::string name = &argv[0]->s;
  const bool right = name == "RightIndexIntermediate";
  if (!right && name != "LeftIndexIntermediate") return 0;
  static_cast<Datagram*>(data)->hands.push_back({right, Key{{argv[4]->f, argv[5]->f, argv[6]->f, argv[7]->f}}});
  return 0;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 20;
  double rate = 120;
  const int pairs = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--seconds")) seconds = std::atof(argv[i + 1]);
    if (!std::strcmp(argv[i], "--rate")) rate = std::atof(argv[i + 1]);
  }
  bench::StreamReceivers receivers(pairs);
  if (!receivers.ok()) return 1;

  // The datagrams' receiver: liblo on loopback, a port of the system's choosing.
  lo_server listener = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
  Datagram current;
  lo_server_add_method(listener, "/VMC/Ext/Bone/Pos", nullptr, OnBone, &current);
  stream::Destination destination{0, "127.0.0.1", uint16_t(lo_server_get_port(listener))};

  Matches matches;
  client::FeedOptions feed;
  feed.onPose = [&matches](const Pose& pose) {
    const stream::HandBones bones = stream::FingerBones(pose, pose.type);
    const int side = pose.type == Hand_Right ? 1 : 0;
    std::lock_guard<std::mutex> lock(matches.mutex);
    matches.poses[KeyOf(bones[4].rotation)] = {side, sim::SequenceFromStatusValue(pose.statusValue)};
  };
  std::string error;
  std::vector<std::unique_ptr<stream::VmcSender>> senders;
  for (int p = 0; p < pairs; ++p) {
    stream::Destination d = destination;
    d.performer = p;
    senders.push_back(stream::VmcSender::Open(d, true, error));
  }
  std::vector<double> newest, carried;
  uint64_t datagrams = 0, unmatched = 0;
  {
    stream::StreamServer server(std::move(senders), stream::VmcOutputSettings{rate, 0.5, false}, feed);
    const Clock::time_point end =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    const Clock::time_point warm = Clock::now() + std::chrono::seconds(3);
    uint64_t lastSeq[2] = {0, 0};
    while (Clock::now() < end) {
      if (lo_server_wait(listener, 100) <= 0) continue;
      const Clock::time_point arrival = Clock::now();
      current.hands.clear();
      lo_server_recv_noblock(listener, 0);
      if (arrival < warm || current.hands.empty()) continue;
      ++datagrams;
      double youngest = 1e9;
      for (const auto& [right, key] : current.hands) {
        Origin origin{};
        {
          std::lock_guard<std::mutex> lock(matches.mutex);
          auto it = matches.poses.find(key);
          if (it == matches.poses.end()) continue;
          origin = it->second;
        }
        const auto sent = receivers.at(size_t(origin.receiver)).BurstSendTime(origin.sequence);
        if (!sent) {
          ++unmatched;
          continue;
        }
        const double ms = std::chrono::duration<double, std::milli>(arrival - *sent).count();
        youngest = std::min(youngest, ms);
        if (origin.sequence != lastSeq[right ? 1 : 0]) carried.push_back(ms);
        lastSeq[right ? 1 : 0] = origin.sequence;
      }
      if (youngest < 1e9) newest.push_back(youngest);
    }
  }
  lo_server_free(listener);
  std::printf("zembra-stream latency, burst write to VMC datagram on loopback (%d pair%s, %.0f s, --rate %.0f)\n",
              pairs, pairs == 1 ? "" : "s", seconds, rate);
  std::printf("  datagrams measured %llu (after 3 s), poses not found %llu\n", (unsigned long long)datagrams,
              (unsigned long long)unmatched);
  std::printf("  the newest pose of each datagram: median %.3f ms, p99 %.3f ms (%zu)\n", Percentile(newest, 0.5),
              Percentile(newest, 0.99), newest.size());
  std::printf("  every pose at its first datagram: median %.3f ms, p99 %.3f ms (%zu)\n", Percentile(carried, 0.5),
              Percentile(carried, 0.99), carried.size());
  return 0;
}
