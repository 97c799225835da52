// Writes the fuzzers' seed inputs: valid reports and reads of every kind,
// so that the fuzzers start from the shapes the receiver really sends.
//   fuzz_seed_writer <protocol seed dir> <pose engine seed dir> <bvh seed dir>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/pose_fixtures.h"

namespace {

using namespace ZEMBRA::testsupport;

void Write(const std::filesystem::path& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
  std::ofstream out(dir / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// One read in the pose engine fuzzer's framing: its length, then its bytes.
void Append(std::vector<uint8_t>& input, const std::vector<uint8_t>& read) {
  input.push_back(uint8_t(read.size()));
  input.insert(input.end(), read.begin(), read.end());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <protocol seed dir> <pose engine seed dir> <bvh seed dir>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path protocolDir = argv[1], poseDir = argv[2], bvhDir = argv[3];
  std::filesystem::create_directories(protocolDir);
  std::filesystem::create_directories(poseDir);
  std::filesystem::create_directories(bvhDir);
  Write(bvhDir, "file_small",
        Bytes("HIERARCHY\nROOT Hips\n{\n OFFSET 0 1 0\n CHANNELS 6 Xposition Yposition Zposition Zrotation "
              "Yrotation Xrotation\n JOINT A\n {\n  OFFSET 0 2 0\n  CHANNELS 3 Zrotation Yrotation Xrotation\n"
              "  End Site\n  {\n   OFFSET 0 1 0\n  }\n }\n}\nMOTION\nFrames: 2\nFrame Time: 0.033333\n"
              "0 1 2 3 4 5 6 7 8\n1 2 3 4 5 6 7 8 9\n"));
  std::vector<uint8_t> frames;
  for (int i = 0; i < 4 * 257; ++i) frames.push_back(uint8_t(i * 37));
  Write(bvhDir, "frames", frames);

  std::string report(720, '=');
  report += "/////";
  for (int k = 1; k <= 100; ++k)
    report += std::to_string(k % 7) + "." + std::to_string(k % 10) + (k % 10 ? "," : "%\r\n,");
  Write(protocolDir, "report_full", Bytes(report + "TUPU"));
  Write(protocolDir, "report_short", Bytes("/////1.5,2,0.25,TUPU"));
  Write(protocolDir, "report_bad", Bytes("/////1,2,abc,1e99,TUPU"));
  std::mt19937 rng(1);
  Write(protocolDir, "read_uupu", BuildBurst(Burst::UUPU, RandomReadings(rng)));
  Write(protocolDir, "read_puuu", BuildBurst(Burst::PUUU, RandomReadings(rng)));
  Write(protocolDir, "read_uu", BuildBurst(Burst::UU, RandomReadings(rng)));
  Write(protocolDir, "read_pu", BuildBurst(Burst::PU, RandomReadings(rng)));

  for (int hand = 0; hand < 8; ++hand) {
    std::vector<uint8_t> input{uint8_t(hand)};
    const Burst kinds[4] = {Burst::UUPU, Burst::PUUU, Burst::UU, Burst::PU};
    for (int n = 0; n < 12; ++n) {
      StatusBlock status;
      status.selector = int8_t(n % 8);
      status.slotValue = int8_t(n * 13);
      status.statusByte = int8_t(-n);
      status.value = float(n) * 1.25f;
      Append(input, BuildBurst(kinds[n % 4], n == 0 ? IdentityReadings() : RandomReadings(rng), status));
      if (n == 5) input.push_back(0xFF);
      if (n == 8) input.push_back(0xFE);
    }
    Write(poseDir, "stream_" + std::to_string(hand), input);
  }
  return 0;
}
