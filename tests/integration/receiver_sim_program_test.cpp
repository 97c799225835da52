// The zembra-receiver-sim program as a process.
#include <gtest/gtest.h>

#include "tests/support/sim_host.h"

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

}  // namespace
}  // namespace sim
}  // namespace ZEMBRA
