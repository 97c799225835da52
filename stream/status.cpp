#include "stream/status.h"

#include <cstdio>
#include <set>

namespace ZEMBRA {
namespace stream {

namespace {

using Clock = std::chrono::steady_clock;

std::string GloveName(const client::Receiver& r) {
  return std::string(r.hand == Hand_Right ? "R" : "L") + std::to_string(r.performer);
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::string StatusLine(const std::vector<GloveStatus>& gloves, const std::vector<DestinationStatus>& destinations,
                       const StatusSample& before, const StatusSample& now, bool bundle) {
  std::set<int> performers;
  int streaming = 0;
  for (const GloveStatus& g : gloves) {
    performers.insert(g.receiver.performer);
    if (g.state == client::FeedState::Streaming) ++streaming;
  }
  const double seconds = std::chrono::duration<double>(now.at - before.at).count();
  const double poses = seconds > 0 ? double(now.poses - before.poses) / seconds : 0;
  const double sends = seconds > 0 ? double(now.sends - before.sends) / seconds : 0;
  std::string line = "performers " + std::to_string(performers.size()) + " | gloves " + std::to_string(streaming) +
                     "/" + std::to_string(gloves.size()) + " streaming | " + Format("%.0f", poses) + " poses/s | " +
                     Format("%.0f", sends) + (bundle ? " bundles/s" : " sends/s") + " | vmc";
  for (const DestinationStatus& d : destinations) {
    line += " " + std::to_string(d.destination.performer) + "=" + d.destination.text();
    if (d.counts.refused > 0) line += " (refused " + std::to_string(d.counts.refused) + ")";
    if (d.counts.dropped > 0) line += " (dropped " + std::to_string(d.counts.dropped) + ")";
  }
  if (!gloves.empty()) {
    line += " | aligned";
    for (size_t i = 0; i < gloves.size(); ++i) {
      line += (i == 0 ? " " : ", ") + GloveName(gloves[i].receiver) + " ";
      if (!gloves[i].aligned) {
        line += "never";
      } else {
        line += Format("%.0f", std::chrono::duration<double>(now.at - *gloves[i].aligned).count()) + " s ago";
      }
    }
  }
  return line;
}

std::string Summary(const std::vector<GloveStatus>& gloves, const std::vector<HandSnapshot>& hands,
                    const std::vector<DestinationStatus>& destinations) {
  std::string text;
  for (size_t i = 0; i < gloves.size(); ++i) {
    const GloveStatus& g = gloves[i];
    text += "glove " + GloveName(g.receiver) + " " + g.receiver.serial + ": " + std::to_string(g.poses) + " poses";
    if (i < hands.size() && hands[i].count > 1) {
      const double span = std::chrono::duration<double>(hands[i].at - hands[i].first).count();
      if (span > 0) text += Format(", %.2f/s", double(hands[i].count - 1) / span);
    }
    text += ", opened " + std::to_string(g.opens) + (g.opens == 1 ? " time\n" : " times\n");
  }
  for (const DestinationStatus& d : destinations) {
    const SendCounts& c = d.counts;
    text += "vmc " + std::to_string(d.destination.performer) + "=" + d.destination.text() + ": " +
            std::to_string(c.sends) + " sends, " + std::to_string(c.datagrams) + " datagrams, " +
            std::to_string(c.refused) + " refused, " + std::to_string(c.dropped) + " dropped, " +
            std::to_string(c.failed) + " failed\n";
  }
  return text;
}

}  // namespace stream
}  // namespace ZEMBRA
