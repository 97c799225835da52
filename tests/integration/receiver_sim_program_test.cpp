// The zembra-receiver-sim program as a process.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <set>

#include "platform/port_enum.h"
#include "tests/support/sim_host.h"
#include "tests/support/temp_dir.h"

namespace ZEMBRA {
namespace sim {
namespace {

using namespace std::chrono_literals;
using protocol::PacketKind;

// ---------------------------------------------------------------------------
// The zembra-receiver-sim program.

struct Child {
  pid_t pid = -1;
  int out = -1;  // its standard output
};

Child Spawn(const std::vector<std::string>& args) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return {};
  std::vector<char*> argv;
  std::string program = ZEMBRA_RECEIVER_SIM_BIN;
  argv.push_back(program.data());
  std::vector<std::string> copies = args;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[1], STDOUT_FILENO);
    const int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, STDERR_FILENO);
    ::close(pipeFds[0]);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  return {pid, pipeFds[0]};
}

std::string ReadLine(int fd, std::chrono::milliseconds timeout) {
  std::string line;
  char c;
  pollfd p = {fd, POLLIN, 0};
  while (::poll(&p, 1, int(timeout.count())) > 0 && ::read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

int WaitExit(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(ReceiverSimProgram, PrintsThePortFirstAndStopsAfterItsDuration) {
  Child child = Spawn({"--hand", "left", "--rate", "300", "--duration", "0.5"});
  ASSERT_GT(child.pid, 0);
  const std::string first = ReadLine(child.out, 5000ms);
  EXPECT_EQ(first.rfind("port: /dev/", 0), 0u) << first;
  EXPECT_EQ(WaitExit(child.pid), 0);
  ::close(child.out);
}

TEST(ReceiverSimProgram, ReportsChannelSetAndStopsOnSigterm) {
  Child child = Spawn({"--hand", "right", "--duration", "0"});
  ASSERT_GT(child.pid, 0);
  const std::string first = ReadLine(child.out, 5000ms);
  ASSERT_EQ(first.rfind("port: ", 0), 0u) << first;
  {
    HostPort host(first.substr(6));
    ASSERT_TRUE(host.ok());
    ASSERT_TRUE(host.Write({protocol::kCmdSetChannel, 45}));
    EXPECT_NE(ReadLine(child.out, 5000ms).find("channel 45"), std::string::npos);
  }
  ::kill(child.pid, SIGTERM);
  EXPECT_EQ(WaitExit(child.pid), 0);
  ::close(child.out);
}

TEST(ReceiverSimProgram, BadOptionsExitWithTwo) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--rate", "9999"}, {"--bogus"}, {"--fault", "explode"}, {"--hand"}}) {
    Child child = Spawn(args);
    ASSERT_GT(child.pid, 0);
    EXPECT_EQ(WaitExit(child.pid), 2) << args[0];
    ::close(child.out);
  }
}

// A simulator keeps nothing it inherited beyond its standard streams: one
// started under a lock (flock) must not go on holding the lock after its
// parent has gone.
TEST(ReceiverSimProgram, KeepsNoInheritedDescriptor) {
  int held[2];
  ASSERT_EQ(::pipe(held), 0);  // not close-on-exec: the child inherits both ends
  Child child = Spawn({"--hand", "left", "--duration", "0"});
  ASSERT_GT(child.pid, 0);
  const std::string first = ReadLine(child.out, 5000ms);
  EXPECT_EQ(first.rfind("port: ", 0), 0u) << first;
  ::close(held[1]);
  // Once no process holds the write end, the read end sees the pipe's end.
  pollfd p = {held[0], POLLIN, 0};
  const int ready = ::poll(&p, 1, 5000);
  EXPECT_EQ(ready, 1) << "the simulator still holds an inherited descriptor";
  char c = 0;
  if (ready == 1) {
    EXPECT_EQ(::read(held[0], &c, 1), 0);
  }
  ::kill(child.pid, SIGTERM);
  EXPECT_EQ(WaitExit(child.pid), 0);
  ::close(held[0]);
  ::close(child.out);
}

// Scripts start both gloves' simulators at once, and developers up to eight:
// every one of them must appear as a receiver of its own, and leave the tree
// as it found it.
TEST(ReceiverSimProgram, EightStartedTogetherRegisterEightReceivers) {
  testsupport::TempDir dir("zembra-eight");
  ASSERT_FALSE(dir.path().empty());
  platform::PortRoots roots;
  roots.sysfs_root = dir.path() + "/sys";
  roots.dev_root = dir.path() + "/dev";
  ::setenv("ZEMBRA_SYSFS_ROOT", roots.sysfs_root.c_str(), 1);
  ::setenv("ZEMBRA_DEV_ROOT", roots.dev_root.c_str(), 1);

  constexpr int kCount = 8;
  std::vector<Child> children;
  for (int i = 0; i < kCount; ++i) {
    const std::string tag = i % 2 == 0 ? "LH" : "RH";
    children.push_back(
        Spawn({"--hand", i % 2 == 0 ? "left" : "right", "--duration", "0", "--register", "ttyUSB" + std::to_string(i),
               "--serial", "ZEMBRA-" + tag + std::to_string(i) + "-000" + std::to_string(i)}));
  }
  ::unsetenv("ZEMBRA_SYSFS_ROOT");
  ::unsetenv("ZEMBRA_DEV_ROOT");

  std::set<std::string> ptys;
  for (Child& child : children) {
    ASSERT_GT(child.pid, 0);
    const std::string port = ReadLine(child.out, 10000ms);
    ASSERT_EQ(port.rfind("port: ", 0), 0u) << port;
    ptys.insert(port.substr(6));
    const std::string registered = ReadLine(child.out, 10000ms);
    EXPECT_NE(registered.find("registered as"), std::string::npos) << registered;
  }
  EXPECT_EQ(ptys.size(), size_t(kCount));

  const std::vector<platform::PortEntry> ports = platform::ListSerialPorts(roots);
  ASSERT_EQ(ports.size(), size_t(kCount));
  std::set<std::string> serials, targets;
  for (int i = 0; i < kCount; ++i) {
    const platform::PortEntry& port = ports[size_t(i)];
    EXPECT_EQ(port.port_name, roots.dev_root + "/ttyUSB" + std::to_string(i));
    const std::string tag = i % 2 == 0 ? "LH" : "RH";
    EXPECT_NE(port.instance_id.find("ZEMBRA-" + tag + std::to_string(i) + "-000" + std::to_string(i)),
              std::string::npos)
        << port.port_name << ": " << port.instance_id;
    serials.insert(port.instance_id);
    std::error_code ec;
    targets.insert(std::filesystem::read_symlink(port.port_name, ec).string());
  }
  EXPECT_EQ(serials.size(), size_t(kCount));
  EXPECT_EQ(targets, ptys);

  for (Child& child : children) ::kill(child.pid, SIGTERM);
  for (Child& child : children) {
    EXPECT_EQ(WaitExit(child.pid), 0);
    ::close(child.out);
  }
  EXPECT_TRUE(platform::ListSerialPorts(roots).empty());
}

}  // namespace
}  // namespace sim
}  // namespace ZEMBRA
