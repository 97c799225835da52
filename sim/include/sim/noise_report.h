// The text of the receiver's channel noise report, as the simulated
// receiver prints it during its RSSI scan: a banner, the mark "/////",
// one noise token per channel each ended by ',', then "TUPU". Pure
// functions; no I/O.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace ZEMBRA {
namespace sim {

constexpr int kChannelCount = 100;
using ChannelNoiseTable = std::array<float, kChannelCount>;  // entry k-1 is channel k

// What a receiver reports in an ordinary room, the same on every run: most
// channels quiet (noise below 1.0, in steps of 1/64 from 0.125), and a few
// noisy bands (10 to 50) where other radios sit: channels 20 to 27, 45 to
// 52 and 70 to 74. Every hand has quiet channels of its own among them.
// The steps are exact in text and in float, and varied enough that a sort
// order is meaningful.
ChannelNoiseTable DefaultNoise();

// A room too loud for any quiet channel: every channel between 10 and 50 in
// quarter steps. For trying a host's fallback when nothing is quiet.
ChannelNoiseTable LoudNoise();

struct ReportStyle {
  // Only the first few channels: a block that stays shorter than the
  // 700 bytes a host requires of a full report.
  bool shortBlock = false;
  // When set, this text replaces the noise token of malformedChannel
  // (an empty text gives ",,").
  std::optional<std::string> malformedToken;
  int malformedChannel = 50;
};

// Line breaks, '%' and '/' are sprinkled among the tokens as the receiver
// does; a host skips them. Every value prints in its shortest form that
// reads back to the same float.
std::string BuildNoiseReport(const ChannelNoiseTable& noise, const ReportStyle& style = ReportStyle());

}  // namespace sim
}  // namespace ZEMBRA
