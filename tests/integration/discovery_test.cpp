// Receiver discovery and the latency timer through the driver object, over
// device trees built by the test and pointed to by ZEMBRA_SYSFS_ROOT and
// ZEMBRA_DEV_ROOT, the same way the simulator presents its receivers.

#include <errno.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>

#include "driver/ZEMBRAIMUImpl.h"
#include "sim/sysfs_tree.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using ZEMBRA::EIMUError;
using ZEMBRA::PortInfo;
using ZEMBRA::ZEMBRAIMUImpl;
using ZEMBRA::sim::SysfsTree;
using ZEMBRA::sim::UsbSerialReceiver;

// Each test's trees live in a directory of its own.
class TempDir : public ZEMBRA::testsupport::TempDir {
 public:
  TempDir() : ZEMBRA::testsupport::TempDir("zembra-disc") {}
};

// The controlling side of a pseudo-terminal, standing in for a receiver.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ >= 0 && grantpt(fd_) == 0 && unlockpt(fd_) == 0) {
      const char* name = ptsname(fd_);
      if (name) name_ = name;
    }
  }
  ~PseudoTerminal() {
    if (fd_ >= 0) close(fd_);
  }
  int fd() const { return fd_; }
  const std::string& name() const { return name_; }

 private:
  int fd_ = -1;
  std::string name_;
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

UsbSerialReceiver Receiver(const std::string& name, const std::string& serial) {
  UsbSerialReceiver r;
  r.name = name;
  r.serial = serial;
  r.product = "ZEMBRA Glove Receiver";
  return r;
}

std::unique_ptr<ZEMBRAIMUImpl> MakeDriver() {
  EIMUError err = ZEMBRA::IMUError_OperationFailed;
  auto driver = std::make_unique<ZEMBRAIMUImpl>(err, 1, nullptr);
  EXPECT_EQ(err, ZEMBRA::IMUError_None);
  return driver;
}

class DiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    setenv("ZEMBRA_SYSFS_ROOT", tree_.sysfsRoot().c_str(), 1);
    setenv("ZEMBRA_DEV_ROOT", tree_.devRoot().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("ZEMBRA_SYSFS_ROOT");
    unsetenv("ZEMBRA_DEV_ROOT");
  }

  std::string Node(const std::string& name) const { return tree_.devRoot() + "/" + name; }

  // Runs DetectGlovePort on a fresh driver; returns what it printed.
  std::string Detect(ZEMBRAIMUImpl& driver, PortInfo& info, EIMUError& err) {
    ::testing::internal::CaptureStdout();
    driver.DetectGlovePort(err, info);
    return ::testing::internal::GetCapturedStdout();
  }

  std::string SetLatency(const PortInfo& info, EIMUError& err) {
    auto driver = MakeDriver();
    ::testing::internal::CaptureStdout();
    driver->SetLatencyTimer(info, err);
    return ::testing::internal::GetCapturedStdout();
  }

  PortInfo Untouched(ZEMBRA::HandType hand) const {
    PortInfo info;
    info.port_name = "keep-name";
    info.description = "keep-description";
    info.hardware_id = "keep-hardware";
    info.instance_id = "keep-instance";
    info.baud_rate = 1000000;
    info.hand = hand;
    return info;
  }

  TempDir dir_;
  SysfsTree tree_{dir_.path() + "/sys", dir_.path() + "/dev"};
};

TEST_F(DiscoveryTest, TaggedPortServesItsHandOnly) {
  // An untagged adapter listed first, then the left receiver.
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB3", "A5XK3RJT"))) << tree_.error();
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB7", "ZEMBRA-LH-0001"))) << tree_.error();

  auto driver = MakeDriver();
  PortInfo left = Untouched(ZEMBRA::Hand_Left);
  EIMUError err = ZEMBRA::IMUError_OperationFailed;
  const std::string printed = Detect(*driver, left, err);
  EXPECT_EQ(err, ZEMBRA::IMUError_None);
  EXPECT_EQ(printed, "Found Left Hand Port: " + Node("ttyUSB7") + "\n");
  EXPECT_EQ(left.port_name, Node("ttyUSB7"));
  EXPECT_EQ(left.description, "ZEMBRA Glove Receiver");
  EXPECT_EQ(left.hardware_id, "USB\\VID_0403&PID_6001");
  EXPECT_EQ(left.instance_id, "USB\\VID_0403&PID_6001\\ZEMBRA-LH-0001");
  EXPECT_EQ(left.baud_rate, 1000000);
  EXPECT_EQ(left.hand, ZEMBRA::Hand_Left);
  EXPECT_EQ(driver->engine().hand(), ZEMBRA::Hand_Left);

  auto other = MakeDriver();
  PortInfo right = Untouched(ZEMBRA::Hand_Right);
  err = ZEMBRA::IMUError_None;
  EXPECT_EQ(Detect(*other, right, err), "");
  EXPECT_EQ(err, ZEMBRA::IMUError_PortNotFound);
  EXPECT_EQ(right.port_name, "keep-name");
  EXPECT_EQ(right.description, "keep-description");
  EXPECT_EQ(right.hardware_id, "keep-hardware");
  EXPECT_EQ(right.instance_id, "keep-instance");
  EXPECT_EQ(other->engine().hand(), ZEMBRA::Hand_Right) << "the hand is stored even when no port is found";
}

TEST_F(DiscoveryTest, FirstPortInOrderWinsAndOddPortsNeverMatch) {
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB10", "ZEMBRA-RH-0002")));
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB2", "ZEMBRA-RH-0001")));
  // Never a right hand: a printer port, a lower-case tag, a built-in UART.
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyLPT0", "ZEMBRA-RH-0000")));
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyACM0", "zembra-rh-0003")));
  ASSERT_TRUE(tree_.AddPlatformSerial("ttyS0"));

  auto driver = MakeDriver();
  PortInfo right = Untouched(ZEMBRA::Hand_Right);
  EIMUError err = ZEMBRA::IMUError_OperationFailed;
  EXPECT_EQ(Detect(*driver, right, err), "Found Right Hand Port: " + Node("ttyUSB2") + "\n");
  EXPECT_EQ(err, ZEMBRA::IMUError_None);
  EXPECT_EQ(right.instance_id, "USB\\VID_0403&PID_6001\\ZEMBRA-RH-0001");

  ASSERT_TRUE(tree_.Remove("ttyUSB2"));
  ASSERT_TRUE(tree_.Remove("ttyUSB10"));
  right = Untouched(ZEMBRA::Hand_Right);
  EXPECT_EQ(Detect(*driver, right, err), "");
  EXPECT_EQ(err, ZEMBRA::IMUError_PortNotFound);
  EXPECT_EQ(right.port_name, "keep-name");
}

TEST_F(DiscoveryTest, NoHandFindsNothing) {
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB0", "ZEMBRA-LH-RH-0001")));
  for (int hand : {0, 1, 4, -2}) {
    auto driver = MakeDriver();
    PortInfo info = Untouched(ZEMBRA::HandType(hand));
    EIMUError err = ZEMBRA::IMUError_None;
    EXPECT_EQ(Detect(*driver, info, err), "") << hand;
    EXPECT_EQ(err, ZEMBRA::IMUError_PortNotFound) << hand;
    EXPECT_EQ(info.instance_id, "keep-instance") << hand;
    EXPECT_EQ(driver->engine().hand(), ZEMBRA::HandType(hand));
  }
}

TEST_F(DiscoveryTest, TwoDriversFindBothSimulatedReceivers) {
  PseudoTerminal leftEnd;
  PseudoTerminal rightEnd;
  ASSERT_FALSE(leftEnd.name().empty());
  ASSERT_FALSE(rightEnd.name().empty());
  UsbSerialReceiver left = Receiver("ttyUSB0", "ZEMBRA-LH-0001");
  left.node_target = leftEnd.name();
  UsbSerialReceiver right = Receiver("ttyUSB1", "ZEMBRA-RH-0001");
  right.node_target = rightEnd.name();
  ASSERT_TRUE(tree_.AddUsbSerial(right)) << tree_.error();
  ASSERT_TRUE(tree_.AddUsbSerial(left)) << tree_.error();

  struct Hand {
    ZEMBRA::HandType hand;
    const PseudoTerminal& end;
    const char* node;
  };
  for (const Hand& h : {Hand{ZEMBRA::Hand_Left, leftEnd, "ttyUSB0"}, Hand{ZEMBRA::Hand_Right, rightEnd, "ttyUSB1"}}) {
    auto driver = MakeDriver();
    PortInfo info;
    info.hand = h.hand;
    info.baud_rate = 1000000;
    EIMUError err = ZEMBRA::IMUError_OperationFailed;
    Detect(*driver, info, err);
    ASSERT_EQ(err, ZEMBRA::IMUError_None);
    ASSERT_EQ(info.port_name, Node(h.node));

    // The discovered node leads to this hand's receiver and no other.
    const int port = open(info.port_name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(port, 0) << info.port_name << ": " << errno;
    ASSERT_EQ(write(port, "b", 1), 1);
    char byte = 0;
    ASSERT_EQ(read(h.end.fd(), &byte, 1), 1);
    EXPECT_EQ(byte, 'b');
    close(port);
  }
}

TEST_F(DiscoveryTest, LatencyTimerIsSetToOneWhenItDiffers) {
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB0", "ZEMBRA-RH-0001")));
  UsbSerialReceiver fast = Receiver("ttyUSB1", "ZEMBRA-LH-0001");
  fast.latency_timer = 1;
  ASSERT_TRUE(tree_.AddUsbSerial(fast));
  const std::string slowPath = tree_.sysfsRoot() + "/class/tty/ttyUSB0/device/latency_timer";
  const std::string fastPath = tree_.sysfsRoot() + "/class/tty/ttyUSB1/device/latency_timer";
  // Written without a line end, so any rewrite would show.
  WriteText(fastPath, "1");

  PortInfo info;
  info.port_name = Node("ttyUSB0");
  info.instance_id = "USB\\VID_0403&PID_6001\\ZEMBRA-RH-0001";
  EIMUError err = ZEMBRA::IMUError_OperationFailed;
  EXPECT_EQ(SetLatency(info, err), info.instance_id + "\n" + slowPath + "\nthe value read from the registry is: 16\n");
  EXPECT_EQ(err, ZEMBRA::IMUError_None);
  EXPECT_EQ(ReadText(slowPath), "1\n");

  info.port_name = Node("ttyUSB1");
  info.instance_id = "USB\\VID_0403&PID_6001\\ZEMBRA-LH-0001";
  err = ZEMBRA::IMUError_OperationFailed;
  EXPECT_EQ(SetLatency(info, err), info.instance_id + "\n" + fastPath + "\nthe value read from the registry is: 1\n");
  EXPECT_EQ(err, ZEMBRA::IMUError_None);
  EXPECT_EQ(ReadText(fastPath), "1") << "a timer already at 1 is not written";
}

TEST_F(DiscoveryTest, MissingOrUnreadableLatencyChangesNothing) {
  UsbSerialReceiver acm = Receiver("ttyACM0", "ZEMBRA-LH-0001");
  acm.acm = true;
  acm.latency_timer.reset();
  ASSERT_TRUE(tree_.AddUsbSerial(acm));
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB0", "ZEMBRA-RH-0001")));
  const std::string odd = tree_.sysfsRoot() + "/class/tty/ttyUSB0/device/latency_timer";
  WriteText(odd, "sixteen\n");

  PortInfo info;
  info.port_name = Node("ttyACM0");
  info.instance_id = "USB\\VID_0403&PID_6001\\ZEMBRA-LH-0001";
  EIMUError err = ZEMBRA::IMUError_OperationFailed;
  std::string printed = SetLatency(info, err);
  EXPECT_EQ(err, ZEMBRA::IMUError_None);
  EXPECT_EQ(printed, info.instance_id + "\n" + tree_.sysfsRoot() + "/class/tty/ttyACM0/device/latency_timer\n");
  EXPECT_FALSE(fs::exists(tree_.sysfsRoot() + "/class/tty/ttyACM0/device/latency_timer"));

  info.port_name = Node("ttyUSB0");
  info.instance_id = "USB\\VID_0403&PID_6001\\ZEMBRA-RH-0001";
  err = ZEMBRA::IMUError_OperationFailed;
  printed = SetLatency(info, err);
  EXPECT_EQ(err, ZEMBRA::IMUError_None);
  EXPECT_THAT(printed, Not(HasSubstr("the value read")));
  EXPECT_EQ(ReadText(odd), "sixteen\n");

  // A receiver that is gone: nothing to read, nothing changed.
  info.port_name = Node("ttyUSB9");
  info.instance_id = "USB\\VID_0403&PID_6001\\ZEMBRA-RH-0009";
  err = ZEMBRA::IMUError_OperationFailed;
  printed = SetLatency(info, err);
  EXPECT_EQ(err, ZEMBRA::IMUError_None);
  EXPECT_EQ(printed, info.instance_id + "\n" + tree_.sysfsRoot() + "/class/tty/ttyUSB9/device/latency_timer\n");
}

TEST_F(DiscoveryTest, RefusedLatencyWriteIsReportedAsError8) {
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB0", "ZEMBRA-LH-0001")));
  // The attribute leads to a sealed memory file holding 16: readable, but
  // no one, root included, may change it.
  const int fd = memfd_create("latency", MFD_ALLOW_SEALING | MFD_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "16\n", 3), 3);
  ASSERT_EQ(fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL), 0);
  const std::string attribute = tree_.LatencyTimerPath("ttyUSB0");
  fs::remove(attribute);
  fs::create_symlink("/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(fd), attribute);

  PortInfo info;
  info.port_name = Node("ttyUSB0");
  info.instance_id = "USB\\VID_0403&PID_6001\\ZEMBRA-LH-0001";
  EIMUError err = ZEMBRA::IMUError_None;
  const std::string printed = SetLatency(info, err);
  close(fd);
  EXPECT_EQ(err, ZEMBRA::IMUError_RegistryWriteFailed);
  const std::string head = info.instance_id + "\n" + tree_.sysfsRoot() + "/class/tty/ttyUSB0/device/latency_timer\n" +
                           "the value read from the registry is: 16\n";
  EXPECT_EQ(printed, head + "error code: " + std::to_string(EPERM) + "\nUnable to set registry value\n");
}

// zembra-ports shows what the driver would pick.
std::string RunPorts(int& status) {
  std::string output;
  const std::string command = "'" + std::string(ZEMBRA_PORTS_BIN) + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  char chunk[512];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
  const int raw = pclose(pipe);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return output;
}

TEST_F(DiscoveryTest, PortsCommandShowsEachPortAndItsHand) {
  int status = -1;
  std::string out = RunPorts(status);
  EXPECT_EQ(status, 1);
  EXPECT_THAT(out, HasSubstr("No serial ports found under " + tree_.sysfsRoot() + "/class/tty."));

  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB0", "A5XK3RJT")));
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB1", "ZEMBRA-LH-0001")));
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB2", "ZEMBRA-LH-0002")));
  out = RunPorts(status);
  EXPECT_EQ(status, 0);
  EXPECT_THAT(out, HasSubstr(Node("ttyUSB1") + "\n  description: ZEMBRA Glove Receiver\n"
                                               "  hardware id: USB\\VID_0403&PID_6001\n"
                                               "  instance id: USB\\VID_0403&PID_6001\\ZEMBRA-LH-0001\n"
                                               "  serves:      left hand\n"));
  EXPECT_THAT(out, HasSubstr("instance id: USB\\VID_0403&PID_6001\\A5XK3RJT\n  serves:      no hand"));
  EXPECT_THAT(out, HasSubstr("serves:      left hand (ignored: " + Node("ttyUSB1") + " comes first)"));
  EXPECT_THAT(out, HasSubstr("Left hand:  " + Node("ttyUSB1") + "\n"));
  EXPECT_THAT(out, HasSubstr("Right hand: not found (no instance id contains \"RH\")"));
}

}  // namespace
