// Port enumeration and the latency attribute over device trees built by the
// test: real shapes, and the odd entries a machine can present.

#include "platform/port_enum.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/latency_timer.h"
#include "sim/sysfs_tree.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using ZEMBRA::platform::ListSerialPorts;
using ZEMBRA::platform::PortEntry;
using ZEMBRA::platform::PortRoots;
using ZEMBRA::sim::SysfsTree;
using ZEMBRA::sim::UsbSerialReceiver;

// Each test's trees live in a directory of its own.
class TempDir : public ZEMBRA::testsupport::TempDir {
 public:
  TempDir() : ZEMBRA::testsupport::TempDir("zembra-ports") {}
};

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

UsbSerialReceiver Receiver(const std::string& name, const std::string& serial) {
  UsbSerialReceiver r;
  r.name = name;
  r.serial = serial;
  r.product = "ZEMBRA Glove Receiver";
  return r;
}

class PortEnumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    roots_.sysfs_root = dir_.path() + "/sys";
    roots_.dev_root = dir_.path() + "/dev";
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const PortEntry& port : ListSerialPorts(roots_))
      names.push_back(port.port_name.substr(roots_.dev_root.size() + 1));
    return names;
  }

  const PortEntry* Find(const std::vector<PortEntry>& ports, const std::string& name) const {
    for (const PortEntry& port : ports) {
      if (port.port_name == roots_.dev_root + "/" + name) return &port;
    }
    return nullptr;
  }

  TempDir dir_;
  PortRoots roots_;
  SysfsTree tree_{dir_.path() + "/sys", dir_.path() + "/dev"};
};

TEST_F(PortEnumTest, UsbReceiversCarryWindowsShapedIdentifiers) {
  UsbSerialReceiver left = Receiver("ttyUSB0", "ZEMBRA-LH-0001");
  left.vendor_id = 0x1a86;
  left.product_id = 0x7ea3;
  ASSERT_TRUE(tree_.AddUsbSerial(left)) << tree_.error();
  UsbSerialReceiver bare = Receiver("ttyUSB1", "A50285BI");
  bare.product.reset();
  ASSERT_TRUE(tree_.AddUsbSerial(bare)) << tree_.error();
  UsbSerialReceiver acm = Receiver("ttyACM0", "ZEMBRA-RH-0002");
  acm.acm = true;
  acm.driver = "cdc_acm";
  acm.latency_timer.reset();
  ASSERT_TRUE(tree_.AddUsbSerial(acm)) << tree_.error();

  const std::vector<PortEntry> ports = ListSerialPorts(roots_);
  ASSERT_EQ(ports.size(), 3u);

  const PortEntry* p = Find(ports, "ttyUSB0");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->description, "ZEMBRA Glove Receiver");
  // Upper-case hex, as Windows writes hardware identifiers.
  EXPECT_EQ(p->hardware_id, "USB\\VID_1A86&PID_7EA3");
  EXPECT_EQ(p->instance_id, "USB\\VID_1A86&PID_7EA3\\ZEMBRA-LH-0001");

  p = Find(ports, "ttyUSB1");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->description, "ftdi_sio") << "without a product string the driver names the port";
  EXPECT_EQ(p->instance_id, "USB\\VID_0403&PID_6001\\A50285BI");

  p = Find(ports, "ttyACM0");
  ASSERT_NE(p, nullptr) << "a cdc_acm tty hangs off the interface, without a port directory";
  EXPECT_EQ(p->hardware_id, "USB\\VID_0403&PID_6001");
  EXPECT_EQ(p->instance_id, "USB\\VID_0403&PID_6001\\ZEMBRA-RH-0002");
}

TEST_F(PortEnumTest, OrderIsByNameWithNumbersByValueAndStable) {
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB10", "S10")));
  ASSERT_TRUE(tree_.AddPlatformSerial("ttyS1"));
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB2", "S2")));
  ASSERT_TRUE(tree_.AddPlatformSerial("ttyS0"));
  UsbSerialReceiver acm = Receiver("ttyACM0", "S0");
  acm.acm = true;
  ASSERT_TRUE(tree_.AddUsbSerial(acm));

  const std::vector<std::string> expected{"ttyACM0", "ttyS0", "ttyS1", "ttyUSB2", "ttyUSB10"};
  EXPECT_EQ(Names(), expected);
  EXPECT_EQ(Names(), expected);

  // Removing a receiver takes it out of the list and frees its bus port.
  ASSERT_TRUE(tree_.Remove("ttyUSB2")) << tree_.error();
  EXPECT_EQ(Names(), (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyS1", "ttyUSB10"}));
  EXPECT_FALSE(fs::exists(tree_.DeviceNode("ttyUSB2")));
}

TEST_F(PortEnumTest, NonPortsAndExcludedNamesAreLeftOut) {
  // A printer port is never listed, whatever its serial number says.
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyLPT0", "ZEMBRA-LH-0009")));
  ASSERT_TRUE(tree_.AddVirtualTty("tty0"));
  ASSERT_TRUE(tree_.AddVirtualTty("ptmx"));
  ASSERT_TRUE(tree_.AddDanglingEntry("ttyUSB5"));
  // The kernel keeps entries for built-in UARTs that have no hardware.
  ASSERT_TRUE(tree_.AddPlatformSerial("ttyS3", 0));
  ASSERT_TRUE(tree_.AddPlatformSerial("ttyS0", 4));

  const fs::path cls = fs::path(roots_.sysfs_root) / "class" / "tty";
  // A class entry whose device link is dangling, one whose device is a
  // file, and one whose device link loops.
  fs::create_directories(cls / "ttyUSB6");
  fs::create_symlink("../../nowhere", cls / "ttyUSB6" / "device");
  fs::create_directories(cls / "ttyUSB7");
  WriteText(cls / "ttyUSB7" / "devfile", "x");
  fs::create_symlink("devfile", cls / "ttyUSB7" / "device");
  fs::create_directories(cls / "ttyUSB8");
  fs::create_symlink("device", cls / "ttyUSB8" / "device");
  // A plain file where a tty directory should be.
  WriteText(cls / "ttyUSB9", "junk");

  const std::vector<PortEntry> ports = ListSerialPorts(roots_);
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].port_name, roots_.dev_root + "/ttyS0");
  EXPECT_EQ(ports[0].description, "serial8250");
  EXPECT_EQ(ports[0].hardware_id, "") << "a built-in UART is not a USB device";
  EXPECT_EQ(ports[0].instance_id, "");
}

TEST_F(PortEnumTest, BuiltInUartIsNamedByItsHardwareDriver) {
  // Newer kernels put generic serial-base devices between the tty and the
  // hardware: pnp device "00:01" (driver serial) / "00:01:0" (ctrl) /
  // "00:01:0.0" (port) / tty/ttyS0.
  const fs::path root(roots_.sysfs_root);
  const fs::path pnp = root / "devices" / "pnp0" / "00:01";
  const fs::path port = pnp / "00:01:0" / "00:01:0.0";
  const fs::path cls = port / "tty" / "ttyS0";
  fs::create_directories(cls);
  fs::create_directories(root / "bus" / "serial-base" / "drivers" / "port");
  fs::create_directories(root / "bus" / "serial-base" / "drivers" / "ctrl");
  fs::create_directories(root / "bus" / "pnp" / "drivers" / "serial");
  fs::create_symlink("../../../bus/pnp/drivers/serial", pnp / "driver");
  fs::create_symlink("../../../../bus/serial-base/drivers/ctrl", pnp / "00:01:0" / "driver");
  fs::create_symlink("../../../../../bus/serial-base/drivers/port", port / "driver");
  fs::create_symlink("../../../00:01:0.0", cls / "device");
  WriteText(cls / "type", "4\n");
  fs::create_symlink("../../devices/pnp0/00:01/00:01:0/00:01:0.0/tty/ttyS0", root / "class" / "tty" / "ttyS0");

  const std::vector<PortEntry> ports = ListSerialPorts(roots_);
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].description, "serial");
  EXPECT_EQ(ports[0].instance_id, "");
}

TEST_F(PortEnumTest, MissingOrBadIdsMakeAPortNonUsb) {
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB0", "ZEMBRA-LH-0001")));
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB1", "ZEMBRA-RH-0001")));
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB2", "ZEMBRA-RH-0002")));
  fs::remove(fs::path(tree_.UsbDeviceDir("ttyUSB0")) / "idVendor");
  WriteText(fs::path(tree_.UsbDeviceDir("ttyUSB1")) / "idProduct", "zz01\n");
  WriteText(fs::path(tree_.UsbDeviceDir("ttyUSB2")) / "idVendor", "04031\n");

  const std::vector<PortEntry> ports = ListSerialPorts(roots_);
  ASSERT_EQ(ports.size(), 3u);
  for (const PortEntry& port : ports) {
    EXPECT_EQ(port.hardware_id, "") << port.port_name;
    EXPECT_EQ(port.instance_id, "") << port.port_name << ": a tag must not be read from a device without ids";
    EXPECT_EQ(port.description, "ftdi_sio") << port.port_name;
  }
}

TEST_F(PortEnumTest, UnusableSerialNumbersFallBackToTheBusPlace) {
  const std::vector<std::string> odd{
      "ZEMBRA-LH\x01",        // control character
      "ZEMBRA,LH",            // comma
      "ZEMBRA\\LH",           // would add a level to the identifier
      "ZEMBRA-LH-\xC3\xA4",   // not ASCII
      std::string(300, 'H'),  // longer than an instance identifier may be
      "",                     // empty
  };
  for (size_t i = 0; i < odd.size(); ++i) {
    ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB" + std::to_string(i), odd[i])));
  }
  UsbSerialReceiver noSerial = Receiver("ttyUSB9", "");
  noSerial.serial.reset();
  ASSERT_TRUE(tree_.AddUsbSerial(noSerial));
  // An oversized attribute is refused rather than read without end.
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB10", "ZEMBRA-LH-0001")));
  WriteText(fs::path(tree_.UsbDeviceDir("ttyUSB10")) / "serial", "LH" + std::string(5000, 'x'));
  // A FIFO must neither block the walk nor be read.
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB11", "ZEMBRA-LH-0001")));
  const fs::path fifo = fs::path(tree_.UsbDeviceDir("ttyUSB11")) / "serial";
  fs::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

  const std::vector<PortEntry> ports = ListSerialPorts(roots_);
  ASSERT_EQ(ports.size(), odd.size() + 3);
  for (const PortEntry& port : ports) {
    const std::string name = port.port_name.substr(roots_.dev_root.size() + 1);
    const std::string busPort = fs::path(tree_.UsbDeviceDir(name)).filename().string();
    EXPECT_EQ(port.instance_id, "USB\\VID_0403&PID_6001\\" + busPort) << name;
    EXPECT_EQ(port.instance_id.find("LH"), std::string::npos) << name;
  }
  // Printable punctuation and spaces are a usable serial number.
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB20", "Zembra LH #7 (rev.B)")));
  const std::vector<PortEntry> again = ListSerialPorts(roots_);
  const PortEntry* p = Find(again, "ttyUSB20");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->instance_id, "USB\\VID_0403&PID_6001\\Zembra LH #7 (rev.B)");
}

TEST_F(PortEnumTest, ProductStringsAreMadePrintable) {
  UsbSerialReceiver r = Receiver("ttyUSB0", "ZEMBRA-LH-0001");
  r.product = std::string("Empf\xC3\xA4nger\tL\xFF") + "\xE2\x82";  // tab, stray byte, cut sequence
  ASSERT_TRUE(tree_.AddUsbSerial(r));
  UsbSerialReceiver empty = Receiver("ttyUSB1", "ZEMBRA-RH-0001");
  empty.product = "";
  ASSERT_TRUE(tree_.AddUsbSerial(empty));

  const std::vector<PortEntry> ports = ListSerialPorts(roots_);
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].description, "Empf\xC3\xA4nger?L???");
  EXPECT_EQ(ports[1].description, "ftdi_sio");
}

TEST_F(PortEnumTest, MissingTreesGiveAnEmptyList) {
  PortRoots nowhere{dir_.path() + "/absent", dir_.path() + "/dev"};
  EXPECT_TRUE(ListSerialPorts(nowhere).empty());
  // A tree whose class/tty is a file.
  fs::create_directories(dir_.path() + "/flat/class");
  WriteText(dir_.path() + "/flat/class/tty", "");
  EXPECT_TRUE(ListSerialPorts(PortRoots{dir_.path() + "/flat", "/dev"}).empty());
}

TEST_F(PortEnumTest, RootsComeFromTheEnvironment) {
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB0", "ZEMBRA-RH-0001")));

  unsetenv("ZEMBRA_SYSFS_ROOT");
  setenv("ZEMBRA_DEV_ROOT", "", 1);
  PortRoots defaults = ZEMBRA::platform::PortRootsFromEnvironment();
  EXPECT_EQ(defaults.sysfs_root, "/sys");
  EXPECT_EQ(defaults.dev_root, "/dev");

  setenv("ZEMBRA_SYSFS_ROOT", (roots_.sysfs_root + "//").c_str(), 1);
  setenv("ZEMBRA_DEV_ROOT", (roots_.dev_root + "/").c_str(), 1);
  const PortRoots set = ZEMBRA::platform::PortRootsFromEnvironment();
  EXPECT_EQ(set.sysfs_root, roots_.sysfs_root);
  EXPECT_EQ(set.dev_root, roots_.dev_root);
  const std::vector<PortEntry> ports = ListSerialPorts();
  unsetenv("ZEMBRA_SYSFS_ROOT");
  unsetenv("ZEMBRA_DEV_ROOT");
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].port_name, roots_.dev_root + "/ttyUSB0");
}

// ---- latency timer attribute ----

TEST_F(PortEnumTest, LatencyAttributeIsFoundByInstanceIdThenByPortName) {
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB0", "ZEMBRA-RH-0001")));
  ASSERT_TRUE(tree_.AddUsbSerial(Receiver("ttyUSB1", "ZEMBRA-LH-0001")));
  const std::string left = roots_.sysfs_root + "/class/tty/ttyUSB1/device/latency_timer";

  using ZEMBRA::platform::LatencyTimerPath;
  // The identifier decides even when the port name points elsewhere.
  EXPECT_EQ(LatencyTimerPath(roots_, "USB\\VID_0403&PID_6001\\ZEMBRA-LH-0001", roots_.dev_root + "/ttyUSB0"), left);
  EXPECT_EQ(LatencyTimerPath(roots_, "USB\\VID_0403&PID_6001\\UNKNOWN", roots_.dev_root + "/ttyUSB1"), left);
  EXPECT_EQ(LatencyTimerPath(roots_, "", "ttyUSB1"), left);
  EXPECT_EQ(LatencyTimerPath(roots_, "", ""), "");
  EXPECT_EQ(LatencyTimerPath(roots_, "", "/dev/.."), "");
  EXPECT_TRUE(fs::equivalent(left, tree_.LatencyTimerPath("ttyUSB1")));
}

TEST_F(PortEnumTest, LatencyValuesAreReadStrictly) {
  using ZEMBRA::platform::ReadLatencyTimer;
  const fs::path file = fs::path(dir_.path()) / "latency";
  const std::vector<std::pair<std::string, int>> good{{"16\n", 16}, {"1", 1}, {"0\n", 0}, {"255\n", 255}};
  for (const auto& [text, value] : good) {
    WriteText(file, text);
    EXPECT_EQ(ReadLatencyTimer(file.string()), std::optional<int>(value)) << text;
  }
  for (const std::string text : {"", "256\n", "-1\n", "1 6\n", "abc\n", "0x10\n", "1000\n"}) {
    WriteText(file, text);
    EXPECT_EQ(ReadLatencyTimer(file.string()), std::nullopt) << text;
  }
  EXPECT_EQ(ReadLatencyTimer((fs::path(dir_.path()) / "missing").string()), std::nullopt);
  EXPECT_EQ(ReadLatencyTimer(dir_.path()), std::nullopt) << "a directory";
  EXPECT_EQ(ReadLatencyTimer(""), std::nullopt);
  const fs::path fifo = fs::path(dir_.path()) / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadLatencyTimer(fifo.string()), std::nullopt) << "a FIFO must not block";
}

TEST_F(PortEnumTest, LatencyWritesReplaceTheValueOrReportTheError) {
  using ZEMBRA::platform::WriteLatencyTimer;
  const fs::path file = fs::path(dir_.path()) / "latency";
  WriteText(file, "16\n");
  EXPECT_EQ(WriteLatencyTimer(file.string(), 1), 0);
  EXPECT_EQ(ReadText(file), "1\n");

  EXPECT_EQ(WriteLatencyTimer((fs::path(dir_.path()) / "no" / "such").string(), 1), ENOENT);
  EXPECT_EQ(WriteLatencyTimer(dir_.path(), 1), EISDIR);

  // A sealed memory file refuses writes even to root.
  const int fd = memfd_create("latency", MFD_ALLOW_SEALING | MFD_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "16\n", 3), 3);
  ASSERT_EQ(fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL), 0);
  const std::string sealed = "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(fd);
  EXPECT_EQ(ZEMBRA::platform::ReadLatencyTimer(sealed), std::optional<int>(16));
  EXPECT_EQ(WriteLatencyTimer(sealed, 1), EPERM);
  EXPECT_EQ(ZEMBRA::platform::ReadLatencyTimer(sealed), std::optional<int>(16));
  close(fd);
}

}  // namespace
