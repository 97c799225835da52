// What the client module's tests share: a private device tree that the
// driver's discovery reads, simulated receivers plugged into it in process
// or as zembra-receiver-sim processes, and waiting for a condition.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "sim/receiver_simulator.h"
#include "sim/sysfs_tree.h"
#include "tests/support/temp_dir.h"
#include "zembra/ZEMBRAIMU.h"

extern char** environ;

namespace ZEMBRA {
namespace clienttest {

using namespace std::chrono_literals;

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = 10s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// Threads and descriptors of this process, to show that nothing is left.
struct Resources {
  size_t threads = 0;
  size_t descriptors = 0;
  bool operator==(const Resources& other) const { return threads == other.threads && descriptors == other.descriptors; }
};

inline size_t CountEntries(const char* dir) {
  size_t n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    (void)entry;
    ++n;
  }
  return n;
}

// After one thread has come and gone: a sanitizer starts a helper thread of
// its own with the first.
inline Resources CountResources() {
  std::thread([] {}).join();
  return {CountEntries("/proc/self/task"), CountEntries("/proc/self/fd")};
}

inline std::ostream& operator<<(std::ostream& out, const Resources& r) {
  return out << r.threads << " threads, " << r.descriptors << " descriptors";
}

// Ends a child with SIGTERM and reaps it; pid becomes -1.
inline void TerminateAndReap(pid_t& pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  pid = -1;
}

// One zembra-receiver-sim process registered in the tree named by the
// environment; stopped (SIGTERM, which also unregisters it) and reaped when
// the object goes.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    args.insert(args.begin(), ZEMBRA_RECEIVER_SIM_BIN);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    out_ = out[0];
    if (pid_ > 0) registered_ = WaitForLine("registered as", 10s);
  }
  ~SimProcess() {
    Stop();
    if (out_ >= 0) ::close(out_);
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool registered() const { return registered_; }
  // As pulling the receiver out: the process ends and leaves the tree.
  void Stop() { TerminateAndReap(pid_); }

 private:
  bool WaitForLine(const std::string& text, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (output_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      pollfd p = {out_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0) return false;
      char buffer[256];
      const ssize_t n = ::read(out_, buffer, sizeof buffer);
      if (n <= 0) return false;
      output_.append(buffer, size_t(n));
    }
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
  bool registered_ = false;
};

// A device tree of the test's own, named by the environment from SetUp to
// TearDown (set before any thread starts, so no getenv races with it).
class DeviceTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("ZEMBRA_SYSFS_ROOT", tree_.sysfsRoot().c_str(), 1);
    ::setenv("ZEMBRA_DEV_ROOT", tree_.devRoot().c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("ZEMBRA_SYSFS_ROOT");
    ::unsetenv("ZEMBRA_DEV_ROOT");
  }

  // A simulated receiver in this process, registered as name.
  std::unique_ptr<sim::ReceiverSimulator> PlugIn(HandType hand, const std::string& name, const std::string& serial,
                                                 sim::SimulatorConfig config = sim::SimulatorConfig()) {
    config.hand = hand;
    auto receiver = std::make_unique<sim::ReceiverSimulator>(config);
    Register(*receiver, name, serial);
    return receiver;
  }
  void Register(const sim::ReceiverSimulator& receiver, const std::string& name, const std::string& serial) {
    sim::UsbSerialReceiver usb;
    usb.name = name;
    usb.serial = serial;
    usb.product = "ZEMBRA glove receiver";
    usb.node_target = receiver.PortPath();
    EXPECT_TRUE(tree_.AddUsbSerial(usb)) << tree_.error();
  }
  // Pulled out: the port fails and leaves the tree.
  void PullOut(sim::ReceiverSimulator& receiver, const std::string& name) {
    receiver.Unplug();
    EXPECT_TRUE(tree_.Remove(name)) << tree_.error();
  }
  std::string Node(const std::string& name) const { return tree_.DeviceNode(name); }

  testsupport::TempDir dir_{"zembra-client"};
  sim::SysfsTree tree_{dir_.path() + "/sys", dir_.path() + "/dev"};
};

}  // namespace clienttest
}  // namespace ZEMBRA
