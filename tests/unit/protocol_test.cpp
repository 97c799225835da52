// The wire-protocol codec: check byte, read classifier, packet layout, status
// block, channel report parser and sort, command byte sequences.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/channel_report.h"
#include "protocol/commands.h"
#include "protocol/packet.h"
#include "tests/support/glove_packets.h"

namespace ZEMBRA {
namespace {

using protocol::PacketKind;
using testsupport::Burst;

std::vector<uint8_t> Tagged(const char* tag, size_t size) {
  std::vector<uint8_t> bytes(size, 0x41);
  if (size > 0) bytes[0] = uint8_t(tag[0]);
  if (size > 1) bytes[1] = uint8_t(tag[1]);
  return bytes;
}

PacketKind Classify(const std::vector<uint8_t>& bytes) { return protocol::ClassifyRead(bytes.data(), bytes.size()); }

// ---- check byte ----------------------------------------------------------

TEST(RecordCheckByte, IsTheXorOfTheEightEvenOffsetBytes) {
  uint8_t record[17];
  for (int i = 0; i < 16; ++i) record[i] = uint8_t(0x11 * (i + 1) + i * i);
  uint8_t expected = 0;
  for (int i = 0; i < 16; i += 2) expected ^= record[i];
  record[16] = expected;
  EXPECT_EQ(protocol::RecordCheckByte(record), expected);
  EXPECT_TRUE(protocol::RecordCheckOk(record));
}

TEST(RecordCheckByte, AChangedEvenByteFailsAndAChangedOddByteStillPasses) {
  uint8_t record[17] = {};
  testsupport::PutRecord(Quat{0.1f, -0.2f, 0.3f, 0.9f}, record);
  ASSERT_TRUE(protocol::RecordCheckOk(record));
  for (int i = 0; i < 16; ++i) {
    uint8_t changed[17];
    std::memcpy(changed, record, sizeof changed);
    changed[i] ^= 0x5A;
    EXPECT_EQ(protocol::RecordCheckOk(changed), i % 2 == 1) << "byte " << i;
  }
  uint8_t wrongCheck[17];
  std::memcpy(wrongCheck, record, sizeof wrongCheck);
  wrongCheck[16] ^= 1;
  EXPECT_FALSE(protocol::RecordCheckOk(wrongCheck));
}

TEST(RecordComponents, AreLittleEndianFloatsInXyzwOrder) {
  uint8_t record[17] = {};
  // 1.0f = 0x3F800000, -2.5f = 0xC0200000, 0.5f = 0x3F000000, 0.25f = 0x3E800000
  const uint8_t bytes[16] = {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x20, 0xC0,
                             0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x80, 0x3E};
  std::memcpy(record, bytes, 16);
  const protocol::WireQuat q = protocol::DecodeRecordComponents(record);
  EXPECT_EQ(q.x, 1.0f);
  EXPECT_EQ(q.y, -2.5f);
  EXPECT_EQ(q.z, 0.5f);
  EXPECT_EQ(q.w, 0.25f);

  uint8_t written[4];
  protocol::WriteFloatLE(-2.5f, written);
  EXPECT_EQ(0, std::memcmp(written, bytes + 4, 4));
  EXPECT_EQ(protocol::ReadFloatLE(bytes + 8), 0.5f);
}

// ---- classifier ----------------------------------------------------------

TEST(ClassifyRead, AcceptsTheFourShapesOfTheTable) {
  EXPECT_EQ(Classify(Tagged("PU", 70)), PacketKind::PU);
  EXPECT_EQ(Classify(Tagged("PU", 133)), PacketKind::PUUU);
  EXPECT_EQ(Classify(Tagged("UU", 63)), PacketKind::UU);
  EXPECT_EQ(Classify(Tagged("UU", 133)), PacketKind::UUPU);
}

TEST(ClassifyRead, RejectsWrongLengthsForEachTag) {
  EXPECT_EQ(Classify(Tagged("UU", 70)), PacketKind::Rejected);
  EXPECT_EQ(Classify(Tagged("PU", 63)), PacketKind::Rejected);
  for (size_t size : {size_t(2), size_t(62), size_t(64), size_t(69), size_t(71), size_t(132)}) {
    EXPECT_EQ(Classify(Tagged("PU", size)), PacketKind::Rejected) << size;
    EXPECT_EQ(Classify(Tagged("UU", size)), PacketKind::Rejected) << size;
  }
}

TEST(ClassifyRead, RejectsOtherTagsAndShortReads) {
  for (const char* tag : {"UP", "PP", "uu", "pu", "U\0", "XU", "UX"}) {
    for (size_t size : {size_t(63), size_t(70), size_t(133)}) {
      EXPECT_EQ(Classify(Tagged(tag, size)), PacketKind::Rejected) << tag << " " << size;
    }
  }
  EXPECT_EQ(protocol::ClassifyRead(nullptr, 0), PacketKind::Rejected);
  EXPECT_EQ(Classify(Tagged("P", 1)), PacketKind::Rejected);
  EXPECT_EQ(Classify(Tagged("U", 1)), PacketKind::Rejected);
}

TEST(ClassifyRead, A133ByteReadIsJudgedByItsFirstTagOnly) {
  // Second tag garbage, or the same tag twice: still accepted by the first.
  std::vector<uint8_t> bytes = Tagged("UU", 133);
  bytes[63] = 'X';
  bytes[64] = 'Y';
  EXPECT_EQ(Classify(bytes), PacketKind::UUPU);
  bytes = Tagged("PU", 133);
  bytes[70] = 'P';
  bytes[71] = 'U';
  EXPECT_EQ(Classify(bytes), PacketKind::PUUU);
  // A good second part does not rescue a bad first tag.
  bytes = testsupport::BuildBurst(Burst::UUPU, {});
  bytes[0] = 'X';
  EXPECT_EQ(Classify(bytes), PacketKind::Rejected);
}

// ---- layout ----------------------------------------------------------------

struct ExpectedRecord {
  int sensor;
  size_t offset;
};

void ExpectLayout(PacketKind kind, std::vector<ExpectedRecord> records, bool hasStatus, size_t statusOffset) {
  const protocol::PacketLayout layout = protocol::LayoutOf(kind);
  ASSERT_EQ(layout.recordCount, int(records.size()));
  for (size_t i = 0; i < records.size(); ++i) {
    bool found = false;
    for (int r = 0; r < layout.recordCount; ++r) {
      if (layout.records[r].sensor == records[i].sensor) {
        EXPECT_EQ(layout.records[r].offset, records[i].offset) << "sensor " << records[i].sensor;
        found = true;
      }
    }
    EXPECT_TRUE(found) << "sensor " << records[i].sensor;
  }
  EXPECT_EQ(layout.hasStatus, hasStatus);
  if (hasStatus) {
    EXPECT_EQ(layout.statusOffset, statusOffset);
  }
}

TEST(LayoutOf, PlacesEveryRecordAndTheStatusBlock) {
  ExpectLayout(PacketKind::UU, {{0, 2}, {2, 23}, {3, 44}}, false, 0);
  ExpectLayout(PacketKind::PU, {{5, 2}, {4, 23}, {1, 51}}, true, 42);
  ExpectLayout(PacketKind::PUUU, {{5, 2}, {4, 23}, {1, 51}, {0, 72}, {2, 93}, {3, 114}}, true, 42);
  ExpectLayout(PacketKind::UUPU, {{0, 2}, {2, 23}, {3, 44}, {5, 65}, {4, 86}, {1, 114}}, true, 105);
  EXPECT_EQ(protocol::LayoutOf(PacketKind::Rejected).recordCount, 0);
  EXPECT_FALSE(protocol::LayoutOf(PacketKind::Rejected).hasStatus);
}

TEST(LayoutOf, EveryRecordFitsInsideItsRead) {
  const std::pair<PacketKind, size_t> kinds[] = {
      {PacketKind::UU, 63}, {PacketKind::PU, 70}, {PacketKind::PUUU, 133}, {PacketKind::UUPU, 133}};
  for (const auto& [kind, size] : kinds) {
    const protocol::PacketLayout layout = protocol::LayoutOf(kind);
    for (int r = 0; r < layout.recordCount; ++r) EXPECT_LE(layout.records[r].offset + 17, size);
    if (layout.hasStatus) {
      EXPECT_LE(layout.statusOffset + 7, size);
    }
  }
}

TEST(LayoutOf, AgreesWithTheBytesOfABuiltBurst) {
  testsupport::Sensors sensors;
  for (int s = 0; s < 6; ++s) sensors[size_t(s)] = Quat{0.1f * float(s + 1), 0.0f, 0.0f, 1.0f};
  const std::pair<Burst, PacketKind> kinds[] = {{Burst::UU, PacketKind::UU},
                                                {Burst::PU, PacketKind::PU},
                                                {Burst::UUPU, PacketKind::UUPU},
                                                {Burst::PUUU, PacketKind::PUUU}};
  for (const auto& [burst, kind] : kinds) {
    const std::vector<uint8_t> bytes = testsupport::BuildBurst(burst, sensors);
    ASSERT_EQ(protocol::ClassifyRead(bytes.data(), bytes.size()), kind);
    const protocol::PacketLayout layout = protocol::LayoutOf(kind);
    for (int r = 0; r < layout.recordCount; ++r) {
      const uint8_t* record = bytes.data() + layout.records[r].offset;
      EXPECT_TRUE(protocol::RecordCheckOk(record));
      EXPECT_EQ(protocol::DecodeRecordComponents(record).x, sensors[size_t(layout.records[r].sensor)].x);
    }
  }
}

// ---- status block ------------------------------------------------------------

TEST(DecodeStatus, SignExtendsTheThreeBytesAndReadsTheFloatLittleEndian) {
  uint8_t packet[70] = {};
  packet[42] = 0xFE;  // -2
  packet[43] = 0x80;  // -128
  packet[44] = 0x7F;  // 127
  testsupport::PutFloatLE(-3.75f, packet + 45);
  const protocol::StatusFields s = protocol::DecodeStatus(packet, 42);
  EXPECT_EQ(s.statusByte, -2);
  EXPECT_EQ(s.slotValue, -128);
  EXPECT_EQ(s.selector, 127);
  EXPECT_EQ(s.value, -3.75f);

  packet[42] = 0x05;
  packet[43] = 0x7F;
  packet[44] = 0xFF;
  const protocol::StatusFields t = protocol::DecodeStatus(packet, 42);
  EXPECT_EQ(t.statusByte, 5);
  EXPECT_EQ(t.slotValue, 127);
  EXPECT_EQ(t.selector, -1);
}

TEST(StatusSlotForSelector, MapsTheFiveKnownSelectorsAndSendsTheRestToSlotThree) {
  EXPECT_EQ(protocol::StatusSlotForSelector(3), 0);
  EXPECT_EQ(protocol::StatusSlotForSelector(2), 1);
  EXPECT_EQ(protocol::StatusSlotForSelector(4), 2);
  EXPECT_EQ(protocol::StatusSlotForSelector(5), 3);
  EXPECT_EQ(protocol::StatusSlotForSelector(1), 4);
  EXPECT_EQ(protocol::StatusSlotForSelector(0), 5);
  for (int other : {-128, -1, 6, 7, 127}) EXPECT_EQ(protocol::StatusSlotForSelector(other), 3) << other;
}

// ---- channel report ------------------------------------------------------------

std::string Filler(size_t n) {
  std::string s;
  const char pattern[] = "noise scan //// line\r\n";
  while (s.size() < n) s += pattern[s.size() % (sizeof pattern - 1)];
  return s;
}

TEST(ChannelReport, CountsOnlyBlocksLongerThan700Bytes) {
  EXPECT_FALSE(protocol::IsFullReport(0));
  EXPECT_FALSE(protocol::IsFullReport(700));
  EXPECT_TRUE(protocol::IsFullReport(701));

  // The length is measured up to the delimiter's end.
  std::string block = Filler(696) + "TUPU" + "PU";
  size_t end = protocol::FindDelimiterEnd(reinterpret_cast<const uint8_t*>(block.data()), block.size(), "TUPU");
  EXPECT_EQ(end, 700u);
  EXPECT_FALSE(protocol::IsFullReport(end));
  block = Filler(697) + "TUPU";
  end = protocol::FindDelimiterEnd(reinterpret_cast<const uint8_t*>(block.data()), block.size(), "TUPU");
  EXPECT_EQ(end, 701u);
  EXPECT_TRUE(protocol::IsFullReport(end));
}

TEST(ChannelReport, FindDelimiterEndFindsTheFirstOccurrenceOrNothing) {
  const std::string text = "abTUPUcdTUPU";
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  EXPECT_EQ(protocol::FindDelimiterEnd(bytes, text.size(), "TUPU"), 6u);
  EXPECT_EQ(protocol::FindDelimiterEnd(bytes, 5, "TUPU"), 0u);
  EXPECT_EQ(protocol::FindDelimiterEnd(bytes, 0, "TUPU"), 0u);
  const std::string done = "pairing finished";
  EXPECT_EQ(protocol::FindDelimiterEnd(reinterpret_cast<const uint8_t*>(done.data()), done.size(), "finished"),
            done.size());
}

TEST(ChannelReport, FillerThenMarkThenThreeTokensParseAndSort) {
  const std::string filler(720, 'x');
  ASSERT_EQ(filler.find("/////"), std::string::npos);
  const std::string text = filler + "/////1.5,2,0.25,TUPU";
  ASSERT_TRUE(protocol::IsFullReport(text.size()));
  protocol::ChannelReport report = protocol::ParseChannelReport(text);
  ASSERT_TRUE(report.ok()) << report.error;
  ASSERT_EQ(report.channels.size(), 3u);
  EXPECT_EQ(report.channels[0].noise, 1.5f);
  EXPECT_EQ(report.channels[0].channel, 1);
  EXPECT_EQ(report.channels[1].noise, 2.0f);
  EXPECT_EQ(report.channels[1].channel, 2);
  EXPECT_EQ(report.channels[2].noise, 0.25f);
  EXPECT_EQ(report.channels[2].channel, 3);

  protocol::SortChannels(report.channels);
  EXPECT_EQ(report.channels[0].channel, 3);
  EXPECT_EQ(report.channels[0].noise, 0.25f);
  EXPECT_EQ(report.channels[1].channel, 1);
  EXPECT_EQ(report.channels[2].channel, 2);
}

TEST(ChannelReport, TextBeforeTheFirstFiveSlashesIsIgnored) {
  // Four slashes and digits before the mark must not become tokens.
  const protocol::ChannelReport report = protocol::ParseChannelReport("9,8,////7,/////3,4,");
  ASSERT_TRUE(report.ok());
  ASSERT_EQ(report.channels.size(), 2u);
  EXPECT_EQ(report.channels[0].noise, 3.0f);
  EXPECT_EQ(report.channels[1].noise, 4.0f);
  EXPECT_TRUE(protocol::ParseChannelReport("1,2,3,TUPU").channels.empty());
}

TEST(ChannelReport, EqualNoiseGoesByDescendingChannel) {
  std::vector<protocol::ChannelNoise> list;
  for (int k = 1; k <= 10; ++k) list.push_back({k == 4 || k == 9 ? 0.5f : 3.0f + float(k), k});
  protocol::SortChannels(list);
  EXPECT_EQ(list[0].channel, 9);
  EXPECT_EQ(list[1].channel, 4);
  for (size_t i = 2; i + 1 < list.size(); ++i) EXPECT_LT(list[i].noise, list[i + 1].noise);

  // Many ties: within each noise level, channels strictly descending.
  std::vector<protocol::ChannelNoise> ties;
  for (int k = 1; k <= 100; ++k) ties.push_back({float(k % 3), k});
  protocol::SortChannels(ties);
  for (size_t i = 0; i + 1 < ties.size(); ++i) {
    ASSERT_LE(ties[i].noise, ties[i + 1].noise);
    if (ties[i].noise == ties[i + 1].noise) {
      EXPECT_GT(ties[i].channel, ties[i + 1].channel);
    }
  }
}

TEST(ChannelReport, ANotANumberNoiseSortsAfterEveryMeasuredChannel) {
  // "nan" converts like any number; such a channel must never be taken for
  // the quietest, and the sort must stay a proper ordering.
  protocol::ChannelReport report = protocol::ParseChannelReport("/////nan,3,-nan,1,nan,2,");
  ASSERT_TRUE(report.ok()) << report.error;
  ASSERT_EQ(report.channels.size(), 6u);
  ASSERT_TRUE(std::isnan(report.channels[0].noise));
  protocol::SortChannels(report.channels);
  const int32_t expected[6] = {4, 6, 2, 5, 3, 1};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(report.channels[i].channel, expected[i]) << "position " << i;
  for (size_t i = 3; i < 6; ++i) EXPECT_TRUE(std::isnan(report.channels[i].noise));
}

TEST(ChannelReport, SkippedCharactersJoinDigitsIntoOneToken) {
  const protocol::ChannelReport report = protocol::ParseChannelReport("/////1%\r\n2,3\b/4,TUPU");
  ASSERT_TRUE(report.ok()) << report.error;
  ASSERT_EQ(report.channels.size(), 2u);
  EXPECT_EQ(report.channels[0].noise, 12.0f);
  EXPECT_EQ(report.channels[0].channel, 1);
  EXPECT_EQ(report.channels[1].noise, 34.0f);
  EXPECT_EQ(report.channels[1].channel, 2);
}

TEST(ChannelReport, AnUnterminatedTokenIsDropped) {
  const protocol::ChannelReport report = protocol::ParseChannelReport("/////5,6,7TUPU");
  ASSERT_TRUE(report.ok());
  ASSERT_EQ(report.channels.size(), 2u);
  EXPECT_EQ(report.channels[1].noise, 6.0f);
}

TEST(ChannelReport, TakesAtMostOneHundredTokens) {
  std::string text = "/////";
  for (int k = 1; k <= 120; ++k) text += std::to_string(k) + ",";
  // A bad token past channel 100 is never converted.
  text += "bad,TUPU";
  const protocol::ChannelReport report = protocol::ParseChannelReport(text);
  ASSERT_TRUE(report.ok()) << report.error;
  ASSERT_EQ(report.channels.size(), 100u);
  for (int k = 1; k <= 100; ++k) {
    EXPECT_EQ(report.channels[size_t(k - 1)].channel, k);
    EXPECT_EQ(report.channels[size_t(k - 1)].noise, float(k));
  }
}

TEST(ChannelReport, ConvertsLikeTheStandardConversion) {
  // Leading white space, a sign, exponents, the longest numeric prefix.
  const protocol::ChannelReport report = protocol::ParseChannelReport("/////  -2.5, +1e1,3.25abc,.5,7.,");
  ASSERT_TRUE(report.ok()) << report.error;
  ASSERT_EQ(report.channels.size(), 5u);
  EXPECT_EQ(report.channels[0].noise, -2.5f);
  EXPECT_EQ(report.channels[1].noise, 10.0f);
  EXPECT_EQ(report.channels[2].noise, 3.25f);
  EXPECT_EQ(report.channels[3].noise, 0.5f);
  EXPECT_EQ(report.channels[4].noise, 7.0f);
}

TEST(ChannelReport, AMalformedTokenEndsTheParseKeepingEarlierChannels) {
  const protocol::ChannelReport bad = protocol::ParseChannelReport("/////1,2,abc,4,TUPU");
  EXPECT_FALSE(bad.ok());
  EXPECT_EQ(bad.error, "invalid stof argument");
  ASSERT_EQ(bad.channels.size(), 2u);
  EXPECT_EQ(bad.channels[1].noise, 2.0f);

  const protocol::ChannelReport empty = protocol::ParseChannelReport("/////1,,3,");
  EXPECT_EQ(empty.error, "invalid stof argument");
  EXPECT_EQ(empty.channels.size(), 1u);

  for (const char* token : {"-", "+-1", ".", "e5", " "}) {
    const protocol::ChannelReport r = protocol::ParseChannelReport(std::string("/////") + token + ",");
    EXPECT_EQ(r.error, "invalid stof argument") << token;
    EXPECT_TRUE(r.channels.empty()) << token;
  }
}

TEST(ChannelReport, AnOutOfRangeTokenEndsTheParseWithTheRangeError) {
  const protocol::ChannelReport big = protocol::ParseChannelReport("/////1.5,1e99,3,TUPU");
  EXPECT_EQ(big.error, "stof argument out of range");
  ASSERT_EQ(big.channels.size(), 1u);
  EXPECT_EQ(big.channels[0].noise, 1.5f);
  EXPECT_EQ(protocol::ParseChannelReport("/////-1e39,").error, "stof argument out of range");
  // The largest float itself is in range.
  const protocol::ChannelReport max = protocol::ParseChannelReport("/////3.4028235e38,");
  EXPECT_TRUE(max.ok());
  ASSERT_EQ(max.channels.size(), 1u);
  EXPECT_TRUE(std::isfinite(max.channels[0].noise));
}

TEST(ChannelRule, LeftUsesThreeModFourAndRightOneModFour) {
  for (int channel = 1; channel <= 100; ++channel) {
    EXPECT_EQ(protocol::ChannelFitsHand(channel, false), channel % 4 == 3) << channel;
    EXPECT_EQ(protocol::ChannelFitsHand(channel, true), channel % 4 == 1) << channel;
  }
}

// ---- commands ----------------------------------------------------------------

TEST(Commands, SingleByteCommandsAreTheirLetters) {
  EXPECT_EQ(protocol::kCmdSaveCalibration, 0x63);
  EXPECT_EQ(protocol::kCmdVibrate, 0x76);
  EXPECT_EQ(protocol::kCmdRssiScan, 0x73);
  EXPECT_EQ(protocol::kCmdPair, 0x70);
  EXPECT_EQ(protocol::kCmdSetChannel, 0x6A);
  EXPECT_EQ(protocol::kCmdKeepAlive, 0x62);
  EXPECT_EQ(protocol::kPairingDelimiter, "finished");
}

TEST(Commands, PairingChannelShiftsLowChannelsAndWrapsHighOnes) {
  EXPECT_EQ(protocol::PairingChannel(1), 3);
  EXPECT_EQ(protocol::PairingChannel(2), 4);
  EXPECT_EQ(protocol::PairingChannel(3), 3);
  EXPECT_EQ(protocol::PairingChannel(80), 80);
  EXPECT_EQ(protocol::PairingChannel(100), 100);
  EXPECT_EQ(protocol::PairingChannel(101), 1);
  EXPECT_EQ(protocol::PairingChannel(250), 50);
}

TEST(Commands, PairingSequenceIsPThenChannelThenEightAddressBytes) {
  const std::array<uint8_t, 8> address = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87};
  const auto bytes = protocol::PairingSequence(1, address);
  ASSERT_EQ(bytes.size(), 10u);
  EXPECT_EQ(bytes[0], 'p');
  EXPECT_EQ(bytes[1], 3);
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(bytes[2 + i], address[i]);
  EXPECT_EQ(protocol::PairingSequence(250, address)[1], 50);
  EXPECT_EQ(protocol::PairingSequence(77, address)[1], 77);
}

TEST(Commands, ChannelSetupIsJThenTheChannelsLowByte) {
  const auto bytes = protocol::ChannelSetupSequence(83);
  EXPECT_EQ(bytes[0], 'j');
  EXPECT_EQ(bytes[1], 83);
  EXPECT_EQ(protocol::ChannelSetupSequence(1)[1], 1);
  EXPECT_EQ(protocol::ChannelSetupSequence(100)[1], 100);
  EXPECT_EQ(protocol::ChannelByte(0x1FF), 0xFF);
}

}  // namespace
}  // namespace ZEMBRA
