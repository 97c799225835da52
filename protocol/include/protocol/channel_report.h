// The receiver's channel noise report: ASCII text ending in "TUPU" that lists
// the noise level of radio channels 1 to 100, and the channel rule by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ZEMBRA {
namespace protocol {

constexpr std::string_view kReportDelimiter = "TUPU";
// A block counts as a report only when it is longer than this, delimiter included.
constexpr size_t kReportMinExclusive = 700;
constexpr int kMaxReportChannels = 100;

struct ChannelNoise {
  float noise;
  int32_t channel;
};

struct ChannelReport {
  std::vector<ChannelNoise> channels;  // in report order, channel k at position k-1
  std::string error;                   // empty on success, else the conversion's text
  bool ok() const { return error.empty(); }
};

inline bool IsFullReport(size_t bytesUpToDelimiter) { return bytesUpToDelimiter > kReportMinExclusive; }

// Parses the text of one report (the delimiter may be included). Text before
// the first five slashes is ignored; after it CR, LF, '/', '%' and backspace
// are skipped; the k-th token ended by ',' is channel k's noise. At most 100
// tokens are taken and an unterminated token is dropped. A token that is not
// a number ends the parse with "invalid stof argument" or "stof argument out
// of range"; the channels parsed before it are kept. Never throws.
ChannelReport ParseChannelReport(std::string_view text);

// Ascending noise; equal noise levels by descending channel number. A
// noise that is not a number sorts after every measured one.
void SortChannels(std::vector<ChannelNoise>& channels);

// A left-hand receiver uses channels that are 3 modulo 4, a right-hand one
// channels that are 1 modulo 4.
inline bool ChannelFitsHand(int32_t channel, bool rightHand) { return channel % 4 == (rightHand ? 1 : 3); }

// Offset just past the first occurrence of delimiter in data, or 0 when the
// delimiter is absent.
size_t FindDelimiterEnd(const uint8_t* data, size_t size, std::string_view delimiter);

}  // namespace protocol
}  // namespace ZEMBRA
