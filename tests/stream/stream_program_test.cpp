// zembra-stream as a program against simulated receivers (zembra-receiver-sim
// processes in a device tree of the test's own), its output read by liblo's
// oscdump, a decoder that is not ours: message names, argument types, the
// 30 bones, unit rotations, the rate cap, a fist and an open hand composed
// down each finger chain, two pairs to two destinations, an unreachable
// destination beside a live one, a hand pulled out and put back, and bad
// arguments. Threaded: the server's threads run under ThreadSanitizer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <fstream>
#include <set>
#include <sstream>

#include "tests/client/client_test_support.h"
#include "tests/stream/hand_chain.h"

namespace ZEMBRA {
namespace {

using namespace std::chrono_literals;
using clienttest::SimProcess;
using clienttest::WaitFor;
using streamtest::ReceivedBone;

// A child process whose standard output (and error) goes to a file.
class Child {
 public:
  Child(std::vector<std::string> args, const std::string& output) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() { Stop(); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool running() const { return pid_ > 0; }
  // The exit code once it ends by itself within the time; -1 otherwise.
  int Wait(std::chrono::milliseconds limit) {
    int status = 0;
    if (!WaitFor([&] { return pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == pid_; }, limit)) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void Stop() { clienttest::TerminateAndReap(pid_); }

 private:
  pid_t pid_ = -1;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A UDP port on loopback that nothing uses now.
uint16_t FreePort() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  ::close(fd);
  return ntohs(a.sin_port);
}

// One OSC message (address, no arguments) to a loopback port.
void Probe(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const char message[] = "/probe\0\0,\0\0\0";
  ::sendto(fd, message, sizeof message - 1, 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::close(fd);
}

struct Message {
  std::string address, types;
  std::vector<std::string> args;
};
// A send: the messages from one /VMC/Ext/OK to the next.
struct Send {
  float time = -1;
  std::vector<Message> messages;
  std::map<std::string, ReceivedBone> bones;
};

// oscdump's lines: "<time tag> <address> <types> <arguments...>".
std::vector<Send> ReadSends(const std::string& text) {
  std::vector<Send> sends;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string tag;
    Message m;
    words >> tag >> m.address >> m.types;
    if (m.address.rfind("/VMC/", 0) != 0) continue;
    for (std::string w; words >> w;) m.args.push_back(w);
    if (m.address == "/VMC/Ext/OK") sends.emplace_back();
    if (sends.empty()) continue;
    Send& s = sends.back();
    if (m.address == "/VMC/Ext/T" && !m.args.empty()) s.time = std::stof(m.args[0]);
    if (m.address == "/VMC/Ext/Bone/Pos" && m.args.size() == 8) {
      std::string name = m.args[0];
      if (name.size() >= 2 && name.front() == '"') name = name.substr(1, name.size() - 2);
      ReceivedBone b;
      b.position = {std::stod(m.args[1]), std::stod(m.args[2]), std::stod(m.args[3])};
      b.rotation = {std::stod(m.args[4]), std::stod(m.args[5]), std::stod(m.args[6]), std::stod(m.args[7])};
      s.bones[name] = b;
    }
    s.messages.push_back(std::move(m));
  }
  return sends;
}

std::set<std::string> AllBoneNames() {
  std::set<std::string> names;
  for (const char* side : {"Left", "Right"})
    for (const char* f : streamtest::kFingers)
      for (const char* s : streamtest::kSegments) names.insert(std::string(side) + f + s);
  return names;
}

bool HasSide(const Send& s, const std::string& side) { return s.bones.count(side + "IndexProximal") > 0; }

class StreamProgramTest : public clienttest::DeviceTreeTest {
 protected:
  // A simulated receiver, registered before the next one starts.
  void Plug(const std::string& hand, const std::string& serial, const std::string& pose = "moving") {
    const std::string name = "ttyUSB" + std::to_string(next_++);
    sims_[serial] = std::make_unique<SimProcess>(
        std::vector<std::string>{"--hand", hand, "--register", name, "--serial", serial, "--pose", pose});
    ASSERT_TRUE(sims_[serial]->registered()) << serial;
  }
  void Pull(const std::string& serial) { sims_.erase(serial); }

  // oscdump on a free port, answering before it is handed back.
  uint16_t Listen(const std::string& file) {
    const uint16_t port = FreePort();
    dumps_.push_back(std::make_unique<Child>(std::vector<std::string>{"oscdump", "-L", std::to_string(port)},
                                             dir_.path() + "/" + file));
    EXPECT_TRUE(WaitFor(
        [&] {
          Probe(port);
          return ReadFile(dir_.path() + "/" + file).find("/probe") != std::string::npos;
        },
        10s))
        << "oscdump on " << port;
    return port;
  }
  // The VMC output alone: the web page's default port is one for the
  // whole machine, which tests running at once would share.
  std::unique_ptr<Child> Stream(std::vector<std::string> args) {
    args.insert(args.begin(), {ZEMBRA_STREAM_BIN, "--http", "off"});
    return std::make_unique<Child>(args, dir_.path() + "/stream.txt");
  }
  std::string Output(const std::string& file) { return ReadFile(dir_.path() + "/" + file); }

  std::map<std::string, std::unique_ptr<SimProcess>> sims_;
  std::vector<std::unique_ptr<Child>> dumps_;
  int next_ = 0;
};

TEST_F(StreamProgramTest, TwoPairsReachTwoDestinationsAsUnityFingerBonesAFistClosedAndAnOpenHandExtended) {
  Plug("left", "ZEMBRA-LH0-0000", "fist");
  Plug("right", "ZEMBRA-RH0-0001", "fist");
  Plug("left", "ZEMBRA-LH1-0002", "open");
  Plug("right", "ZEMBRA-RH1-0003", "open");
  const uint16_t fist = Listen("fist.txt"), open = Listen("open.txt");
  auto stream = Stream({"--vmc", "0=127.0.0.1:" + std::to_string(fist), "--vmc", "1=127.0.0.1:" + std::to_string(open),
                        "--rate", "60", "--seconds", "5"});
  ASSERT_EQ(stream->Wait(30s), 0) << Output("stream.txt");
  const std::string log = Output("stream.txt");
  EXPECT_NE(log.find("performers 2 | gloves 4/4 streaming"), std::string::npos) << log;

  for (const std::string file : {"fist.txt", "open.txt"}) {
    const std::vector<Send> sends = ReadSends(Output(file));
    ASSERT_GT(sends.size(), 100u) << file;
    int full = 0, capped = 0;
    float lastTime = -1;
    for (const Send& s : sends) {
      ASSERT_GE(s.messages.size(), 2u);
      EXPECT_EQ(s.messages[0].types, "i");
      EXPECT_EQ(s.messages[0].args, std::vector<std::string>{"1"});
      EXPECT_EQ(s.messages[1].address, "/VMC/Ext/T");
      EXPECT_EQ(s.messages[1].types, "f");
      EXPECT_GT(s.time, lastTime);
      lastTime = s.time;
      if (s.time >= 2 && s.time < 4) ++capped;
      for (size_t i = 2; i < s.messages.size(); ++i) {
        EXPECT_EQ(s.messages[i].address, "/VMC/Ext/Bone/Pos");
        EXPECT_EQ(s.messages[i].types, "sfffffff");
      }
      for (const auto& [name, b] : s.bones) {
        const auto& q = b.rotation;
        EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1, 1e-4) << name;
      }
      if (s.bones.size() != 30) continue;
      ++full;
      std::set<std::string> names;
      for (const auto& entry : s.bones) names.insert(entry.first);
      EXPECT_EQ(names, AllBoneNames());
      EXPECT_EQ(s.messages.size(), 32u);
    }
    EXPECT_GT(full, 100) << file;
    // Four hundred poses a second in, at most 60 sends a second out.
    EXPECT_LE(capped, 2 * 60 + 2) << file;
    EXPECT_GE(capped, 2 * 60 * 8 / 10) << file;

    // The newest send, composed down each finger chain from the T-pose hand.
    const Send& last = sends.back();
    ASSERT_EQ(last.bones.size(), 30u);
    for (const std::string side : {"Left", "Right"}) {
      for (int f = 0; f < 5; ++f) {
        const streamtest::V3 d = streamtest::Compose(last.bones, side, f).tipDirection;
        const double along = side == "Left" ? -d.x : d.x;  // out along the arm
        if (file == "fist.txt") {
          // Every tip turned towards the palm, which faces -Y; a long
          // finger's last joint turns half as far again as its middle one,
          // past the palm's normal and back towards the wrist.
          EXPECT_LT(d.y, f == 0 ? -0.25 : -0.7) << side << " finger " << f;
          if (f > 0) {
            EXPECT_LT(along, -0.4) << side << " finger " << f;
          }
        } else {
          EXPECT_GT(along, f == 0 ? 0.7 : 0.95) << side << " finger " << f;
          EXPECT_GT(d.y, -0.2) << side << " finger " << f;
        }
      }
    }
  }
}

TEST_F(StreamProgramTest, AnUnreachableDestinationNeitherStopsNorSlowsALiveOne) {
  Plug("left", "ZEMBRA-LH0-0000");
  Plug("right", "ZEMBRA-RH0-0001");
  const uint16_t live = Listen("live.txt"), dead = FreePort();
  auto stream = Stream({"--vmc", "127.0.0.1:" + std::to_string(dead), "--vmc", "127.0.0.1:" + std::to_string(live),
                        "--no-bundle", "--rate", "50", "--seconds", "4"});
  ASSERT_EQ(stream->Wait(30s), 0) << Output("stream.txt");
  const std::vector<Send> sends = ReadSends(Output("live.txt"));
  int inWindow = 0;
  for (const Send& s : sends) inWindow += s.time >= 1.5 && s.time < 3.5;
  EXPECT_GE(inWindow, 2 * 50 * 9 / 10);
  EXPECT_LE(inWindow, 2 * 50 + 2);
  // Message by message: a datagram for each to each; the refused ones counted.
  const std::string log = Output("stream.txt");
  const auto summary = [&](uint16_t port) {
    const std::string key = "vmc 0=127.0.0.1:" + std::to_string(port) + ": ";
    const size_t at = log.find(key);
    return at == std::string::npos ? std::string() : log.substr(at + key.size(), log.find('\n', at) - at - key.size());
  };
  unsigned long liveSends = 0, liveDatagrams = 0, liveRefused = 1, deadSends = 0, deadDatagrams = 0, deadRefused = 0;
  ASSERT_EQ(std::sscanf(summary(live).c_str(), "%lu sends, %lu datagrams, %lu refused", &liveSends, &liveDatagrams,
                        &liveRefused),
            3)
      << log;
  ASSERT_EQ(std::sscanf(summary(dead).c_str(), "%lu sends, %lu datagrams, %lu refused", &deadSends, &deadDatagrams,
                        &deadRefused),
            3)
      << log;
  // (The first send may carry one hand: 17 messages.)
  EXPECT_LE(liveDatagrams, 32 * liveSends);
  EXPECT_GE(liveDatagrams + 15, 32 * liveSends);
  EXPECT_EQ(liveRefused, 0u);
  EXPECT_EQ(deadSends, liveSends);
  EXPECT_GT(deadRefused, 0u);
  EXPECT_EQ(deadDatagrams + deadRefused, liveDatagrams);
}

TEST_F(StreamProgramTest, AHandPulledOutLeavesTheSendsAndComesBackWhenPluggedInAgain) {
  Plug("left", "ZEMBRA-LH0-0000");
  Plug("right", "ZEMBRA-RH0-0001");
  const uint16_t port = Listen("vmc.txt");
  auto stream = Stream({"--vmc", "127.0.0.1:" + std::to_string(port), "--hold", "0.3", "--quiet"});
  const auto sends = [&] { return ReadSends(Output("vmc.txt")); };
  ASSERT_TRUE(WaitFor([&] { return sends().size() > 50 && HasSide(sends().back(), "Left"); }, 15s));

  Pull("ZEMBRA-LH0-0000");
  // Right-hand sends only, soon after: the left is left out, not frozen.
  size_t lastLeft = 0;
  ASSERT_TRUE(WaitFor(
      [&] {
        const std::vector<Send> s = sends();
        for (size_t i = 0; i < s.size(); ++i)
          if (HasSide(s[i], "Left")) lastLeft = i;
        return s.size() > lastLeft + 20;
      },
      10s));
  const std::vector<Send> after = sends();
  for (size_t i = lastLeft + 1; i < after.size(); ++i) EXPECT_TRUE(HasSide(after[i], "Right")) << i;

  Plug("left", "ZEMBRA-LH0-0000");
  ASSERT_TRUE(WaitFor([&] { return HasSide(sends().back(), "Left"); }, 15s));
  stream->Stop();
}

TEST_F(StreamProgramTest, BadArgumentsAreRefusedWithExitCodeTwo) {
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"--vmc", "127.0.0.1"}, {"--vmc", "127.0.0.1:99999"}, {"--rate", "0"}, {"--bogus"}}) {
    auto stream = Stream(words);
    EXPECT_EQ(stream->Wait(10s), 2) << words[0];
    const std::string text = Output("stream.txt");
    EXPECT_NE(text.find("zembra-stream: "), std::string::npos) << text;
    EXPECT_NE(text.find("usage: zembra-stream"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace ZEMBRA
