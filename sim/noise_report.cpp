#include "sim/noise_report.h"

#include <charconv>

namespace ZEMBRA {
namespace sim {

namespace {

// Free of "/////", "TUPU" and "finished" so that neither a host's report
// nor its pairing reader can mistake the banner for something else.
constexpr const char* kBanner =
    "\r\nZEMBRA RX RSSI scan\r\n"
    "receiver ready, waiting for a channel command\r\n"
    "radio: 2.4 GHz, channels 1-100, dwell 1 ms per channel\r\n"
    "scan repeats until a channel is chosen or pairing begins\r\n"
    "noise floor per channel, lower is quieter, channel 1 first\r\n"
    "-------------------------------------------------------\r\n";

constexpr int kShortBlockChannels = 12;

void AppendFloat(std::string& out, float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

}  // namespace

ChannelNoiseTable DefaultNoise() {
  const ChannelNoiseTable loud = LoudNoise();
  ChannelNoiseTable noise;
  uint32_t state = 0x9E3779B9u;
  for (int k = 0; k < kChannelCount; ++k) {
    const int channel = k + 1;
    const bool inNoisyBand =
        (channel >= 20 && channel <= 27) || (channel >= 45 && channel <= 52) || (channel >= 70 && channel <= 74);
    state = state * 1664525u + 1013904223u;  // fixed LCG: the same table on every run
    // 0.125 to 0.984375: below 1.0, the bound a quiet channel must stay under.
    noise[size_t(k)] = inNoisyBand ? loud[size_t(k)] : 0.125f + float((state >> 16) % 56u) / 64.0f;
  }
  return noise;
}

ChannelNoiseTable LoudNoise() {
  ChannelNoiseTable noise;
  uint32_t state = 0x2545F491u;
  for (int k = 0; k < kChannelCount; ++k) {
    state = state * 1664525u + 1013904223u;  // fixed LCG: the same table on every run
    noise[size_t(k)] = 10.0f + float((state >> 16) % 161u) * 0.25f;
  }
  return noise;
}

std::string BuildNoiseReport(const ChannelNoiseTable& noise, const ReportStyle& style) {
  std::string text = kBanner;
  text += "/////";
  const int channels = style.shortBlock ? kShortBlockChannels : kChannelCount;
  for (int k = 1; k <= channels; ++k) {
    if (style.malformedToken && k == style.malformedChannel) {
      text += *style.malformedToken;
    } else {
      AppendFloat(text, noise[size_t(k - 1)]);
    }
    if (k % 7 == 0) text += '%';
    text += ',';
    if (k % 10 == 0) text += "\r\n";
    if (k % 25 == 0) text += '/';
  }
  text += "\r\nTUPU";
  return text;
}

}  // namespace sim
}  // namespace ZEMBRA
