#include "protocol/channel_report.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

namespace ZEMBRA {
namespace protocol {

namespace {

constexpr std::string_view kReportMark = "/////";

bool IsSkipped(char c) { return c == '\r' || c == '\n' || c == '/' || c == '%' || c == '\b'; }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// Text-to-float with the standard conversion's rules: leading white space,
// an optional sign, the longest number prefix. Locale-independent so that a
// client's locale cannot change how reports read.
bool ConvertToken(std::string_view token, float& value, std::string& error) {
  size_t i = 0;
  while (i < token.size() && IsSpace(token[i])) ++i;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
    negative = token[i] == '-';
    ++i;
  }
  const char* first = token.data() + i;
  const char* last = token.data() + token.size();
  // from_chars rejects a second sign, as the standard conversion does.
  if (first != last && (*first == '+' || *first == '-')) {
    error = "invalid stof argument";
    return false;
  }
  float parsed = 0;
  const auto result = std::from_chars(first, last, parsed, std::chars_format::general);
  if (result.ec == std::errc::invalid_argument) {
    error = "invalid stof argument";
    return false;
  }
  if (result.ec == std::errc::result_out_of_range) {
    error = "stof argument out of range";
    return false;
  }
  value = negative ? -parsed : parsed;
  return true;
}

}  // namespace

ChannelReport ParseChannelReport(std::string_view text) {
  ChannelReport report;
  const size_t mark = text.find(kReportMark);
  if (mark == std::string_view::npos) return report;
  report.channels.reserve(kMaxReportChannels);

  std::string token;
  for (size_t i = mark + kReportMark.size(); i < text.size(); ++i) {
    const char c = text[i];
    if (IsSkipped(c)) continue;
    if (c != ',') {
      token.push_back(c);
      continue;
    }
    float noise = 0;
    if (!ConvertToken(token, noise, report.error)) return report;
    report.channels.push_back({noise, int32_t(report.channels.size() + 1)});
    if (report.channels.size() == size_t(kMaxReportChannels)) break;
    token.clear();
  }
  return report;
}

void SortChannels(std::vector<ChannelNoise>& channels) {
  // The conversion accepts "nan", which compares with nothing: such a
  // channel counts as the noisiest, so that it is never chosen before a
  // measured one and the order stays a strict weak ordering.
  std::stable_sort(channels.begin(), channels.end(), [](const ChannelNoise& a, const ChannelNoise& b) {
    const bool aUnknown = std::isnan(a.noise), bUnknown = std::isnan(b.noise);
    if (aUnknown != bUnknown) return bUnknown;
    if (a.noise < b.noise) return true;
    return (aUnknown || a.noise == b.noise) && a.channel > b.channel;
  });
}

size_t FindDelimiterEnd(const uint8_t* data, size_t size, std::string_view delimiter) {
  const std::string_view haystack(reinterpret_cast<const char*>(data), size);
  const size_t at = haystack.find(delimiter);
  return at == std::string_view::npos ? 0 : at + delimiter.size();
}

}  // namespace protocol
}  // namespace ZEMBRA
