// Arbitrary bytes into the codec: the channel report parser and sort, the
// delimiter search, the read classifier and the packet layout. Besides
// crashes and sanitizer reports it stops on any broken rule of the codec.
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/channel_report.h"
#include "protocol/packet.h"

namespace {

using namespace ZEMBRA::protocol;

void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "broken rule: %s\n", what);
  std::abort();
}

// The tokens as the report defines them, cut independently of the parser.
std::vector<std::string> TerminatedTokens(std::string_view text, bool& marked) {
  std::vector<std::string> tokens;
  const size_t mark = text.find("/////");
  marked = mark != std::string_view::npos;
  if (!marked) return tokens;
  std::string token;
  for (size_t i = mark + 5; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n' || c == '/' || c == '%' || c == '\b') continue;
    if (c == ',') {
      tokens.push_back(token);
      token.clear();
    } else {
      token += c;
    }
  }
  return tokens;
}

void CheckReport(std::string_view text) {
  bool marked = false;
  const std::vector<std::string> tokens = TerminatedTokens(text, marked);
  const ChannelReport report = ParseChannelReport(text);
  const size_t limit = tokens.size() < 100 ? tokens.size() : 100;

  Require(
      report.error.empty() || report.error == "invalid stof argument" || report.error == "stof argument out of range",
      "error text is one of the conversion's");
  if (report.ok()) {
    Require(report.channels.size() == limit, "every terminated token up to 100 becomes a channel");
  } else {
    Require(report.channels.size() < limit, "a failed token ends the parse before it");
  }
  for (size_t k = 0; k < report.channels.size(); ++k) {
    Require(report.channels[k].channel == int32_t(k + 1), "channel k sits at position k-1");
    const std::string& token = tokens[k];
    if (token.find_first_of("xX") != std::string::npos) continue;  // hexadecimal forms not compared
    errno = 0;
    char* end = nullptr;
    const float reference = std::strtof(token.c_str(), &end);
    Require(end != token.c_str(), "an accepted token starts with a number");
    const float got = report.channels[k].noise;
    Require(got == reference || (std::isnan(got) && std::isnan(reference)), "value as the C conversion gives it");
  }
  if (!report.ok()) {
    const std::string& token = tokens[report.channels.size()];
    if (token.find_first_of("xX") == std::string::npos) {
      errno = 0;
      char* end = nullptr;
      std::strtof(token.c_str(), &end);
      if (report.error == "invalid stof argument") Require(end == token.c_str(), "invalid means no number");
      if (report.error == "stof argument out of range") Require(errno == ERANGE, "out of range as the C conversion");
    }
  }

  std::vector<ChannelNoise> sorted = report.channels;
  SortChannels(sorted);
  Require(sorted.size() == report.channels.size(), "sort keeps the size");
  std::vector<int> seen(sorted.size() + 1, 0);
  for (const auto& c : sorted) {
    Require(c.channel >= 1 && size_t(c.channel) <= sorted.size() && ++seen[size_t(c.channel)] == 1,
            "sort is a permutation");
  }
  for (size_t i = 0; i + 1 < sorted.size(); ++i) {
    const auto& a = sorted[i];
    const auto& b = sorted[i + 1];
    if (std::isnan(a.noise)) {
      Require(std::isnan(b.noise) && a.channel > b.channel, "unknown noise last, by descending channel");
    } else if (!std::isnan(b.noise)) {
      Require(a.noise < b.noise || (a.noise == b.noise && a.channel > b.channel), "ascending noise, ties descending");
    }
  }
}

void CheckDelimiter(const uint8_t* data, size_t size) {
  const size_t end = FindDelimiterEnd(data, size, kReportDelimiter);
  size_t first = 0;
  for (size_t i = 0; i + 4 <= size; ++i) {
    if (std::memcmp(data + i, "TUPU", 4) == 0) {
      first = i + 4;
      break;
    }
  }
  Require(end == first, "delimiter end is just past its first occurrence");
  Require(IsFullReport(end) == (end > 700), "a report is longer than 700 bytes");
}

void CheckRead(const uint8_t* data, size_t size) {
  const PacketKind kind = ClassifyRead(data, size);
  const bool pu = size >= 2 && data[0] == 'P' && data[1] == 'U';
  const bool uu = size >= 2 && data[0] == 'U' && data[1] == 'U';
  const bool accepted = (pu && (size == 70 || size == 133)) || (uu && (size == 63 || size == 133));
  Require((kind != PacketKind::Rejected) == accepted, "classifier follows the tag and length table");
  const PacketLayout layout = LayoutOf(kind);
  int carried = 0;
  for (int r = 0; r < layout.recordCount; ++r) {
    Require(layout.records[r].offset + kRecordSize <= size, "record inside the read");
    carried |= 1 << layout.records[r].sensor;
    const WireQuat q = DecodeRecordComponents(data + layout.records[r].offset);
    (void)q;
    (void)RecordCheckOk(data + layout.records[r].offset);
  }
  if (layout.hasStatus) {
    Require(layout.statusOffset + 7 <= size, "status block inside the read");
    const StatusFields s = DecodeStatus(data, layout.statusOffset);
    Require(s.statusByte >= -128 && s.statusByte <= 127, "status byte sign-extended");
    const int slot = StatusSlotForSelector(s.selector);
    Require(slot >= 0 && slot < 6, "status slot in the table");
  }
  if (kind == PacketKind::UUPU || kind == PacketKind::PUUU) Require(carried == 0x3F, "a full read carries all six");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckReport(std::string_view(reinterpret_cast<const char*>(data), size));
  CheckDelimiter(data, size);
  CheckRead(data, size);
  // Reads are at most 133 bytes; classify every prefix of that length too.
  if (size > 133) CheckRead(data, 133);
  return 0;
}
