#include "sim/sysfs_tree.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace ZEMBRA {
namespace sim {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsbHostPath = "devices/pci0000:00/0000:00:14.0/usb1";

std::string Hex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", unsigned(value));
  return text;
}

bool WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return !out.fail();
}

// A relative link, as sysfs makes them; replaces whatever was there.
bool Link(const fs::path& target, const fs::path& link, std::error_code& ec) {
  fs::remove(link, ec);
  ec.clear();
  fs::create_symlink(target.lexically_relative(link.parent_path()), link, ec);
  return !ec;
}

fs::path Absolute(const std::string& root) {
  std::error_code ec;
  fs::create_directories(root, ec);
  fs::path path = fs::weakly_canonical(fs::absolute(root, ec), ec);
  return ec ? fs::path(root) : path;
}

bool Inside(const fs::path& path, const fs::path& root) {
  const fs::path rel = path.lexically_relative(root);
  return !rel.empty() && *rel.begin() != ".." && rel != ".";
}

bool UsableName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

SysfsTree::SysfsTree(std::string sysfsRoot, std::string devRoot)
    : sysfsRoot_(Absolute(sysfsRoot).string()), devRoot_(Absolute(devRoot).string()) {
  std::error_code ec;
  fs::create_directories(fs::path(sysfsRoot_) / "class" / "tty", ec);
}

bool SysfsTree::Fail(const std::string& what) {
  error_ = what;
  return false;
}

bool SysfsTree::MakeNode(const std::string& name, const std::string& target) {
  const fs::path node = fs::path(devRoot_) / name;
  std::error_code ec;
  fs::remove(node, ec);
  ec.clear();
  if (target.empty()) {
    if (!WriteFile(node, "")) return Fail("cannot create " + node.string());
    return true;
  }
  fs::create_symlink(target, node, ec);
  if (ec) return Fail("cannot link " + node.string() + ": " + ec.message());
  return true;
}

bool SysfsTree::AddUsbSerial(const UsbSerialReceiver& receiver) {
  if (!UsableName(receiver.name)) return Fail("unusable tty name \"" + receiver.name + "\"");
  Remove(receiver.name);
  error_.clear();

  const fs::path root(sysfsRoot_);
  const fs::path host = root / kUsbHostPath;
  std::error_code ec;
  fs::create_directories(host, ec);
  if (ec) return Fail("cannot create " + host.string() + ": " + ec.message());
  // The bus port is claimed by creating its folder: mkdir succeeds for one
  // caller only, so simulators that register at the same moment each get a
  // port of their own instead of writing into one another's.
  fs::path device;
  std::string busPort;
  for (int n = 1;; ++n) {
    busPort = "1-" + std::to_string(n);
    device = host / busPort;
    if (fs::create_directory(device, ec)) break;
    if (ec) return Fail("cannot create " + device.string() + ": " + ec.message());
  }
  const fs::path interface = device / (busPort + ":1.0");
  const fs::path portDir = receiver.acm ? interface : interface / receiver.name;
  const fs::path classDir = portDir / "tty" / receiver.name;
  const fs::path usbDrivers = root / "bus" / "usb" / "drivers" / receiver.driver;
  const fs::path serialDrivers = root / "bus" / "usb-serial" / "drivers" / receiver.driver;

  fs::create_directories(classDir, ec);
  if (!ec) fs::create_directories(usbDrivers, ec);
  if (!ec && !receiver.acm) fs::create_directories(serialDrivers, ec);
  if (ec) return Fail("cannot create " + classDir.string() + ": " + ec.message());

  bool ok = WriteFile(device / "idVendor", Hex4(receiver.vendor_id) + "\n") &&
            WriteFile(device / "idProduct", Hex4(receiver.product_id) + "\n") &&
            WriteFile(classDir / "dev", receiver.acm ? "166:0\n" : "188:0\n");
  if (ok && receiver.serial) ok = WriteFile(device / "serial", *receiver.serial + "\n");
  if (ok && receiver.product) ok = WriteFile(device / "product", *receiver.product + "\n");
  if (ok && receiver.latency_timer) {
    ok = WriteFile(portDir / "latency_timer", std::to_string(*receiver.latency_timer) + "\n");
  }
  if (!ok) return Fail("cannot write the attributes of " + receiver.name);

  if (!Link(usbDrivers, interface / "driver", ec) || (!receiver.acm && !Link(serialDrivers, portDir / "driver", ec)) ||
      !Link(portDir, classDir / "device", ec) || !Link(classDir, root / "class" / "tty" / receiver.name, ec)) {
    return Fail("cannot link " + receiver.name + ": " + ec.message());
  }
  return MakeNode(receiver.name, receiver.node_target);
}

bool SysfsTree::AddPlatformSerial(const std::string& name, int type, const std::string& driver) {
  if (!UsableName(name)) return Fail("unusable tty name \"" + name + "\"");
  Remove(name);
  error_.clear();
  const fs::path root(sysfsRoot_);
  const fs::path device = root / "devices" / "platform" / driver;
  const fs::path classDir = device / "tty" / name;
  const fs::path drivers = root / "bus" / "platform" / "drivers" / driver;
  std::error_code ec;
  fs::create_directories(classDir, ec);
  if (!ec) fs::create_directories(drivers, ec);
  if (ec) return Fail("cannot create " + classDir.string() + ": " + ec.message());
  if (!WriteFile(classDir / "type", std::to_string(type) + "\n") || !WriteFile(classDir / "dev", "4:64\n")) {
    return Fail("cannot write the attributes of " + name);
  }
  if (!Link(drivers, device / "driver", ec) || !Link(device, classDir / "device", ec) ||
      !Link(classDir, root / "class" / "tty" / name, ec)) {
    return Fail("cannot link " + name + ": " + ec.message());
  }
  return MakeNode(name, "");
}

bool SysfsTree::AddVirtualTty(const std::string& name) {
  if (!UsableName(name)) return Fail("unusable tty name \"" + name + "\"");
  Remove(name);
  error_.clear();
  const fs::path root(sysfsRoot_);
  const fs::path classDir = root / "devices" / "virtual" / "tty" / name;
  std::error_code ec;
  fs::create_directories(classDir, ec);
  if (ec || !WriteFile(classDir / "dev", "4:0\n")) return Fail("cannot create " + classDir.string());
  if (!Link(classDir, root / "class" / "tty" / name, ec)) return Fail("cannot link " + name + ": " + ec.message());
  return true;
}

bool SysfsTree::AddDanglingEntry(const std::string& name) {
  if (!UsableName(name)) return Fail("unusable tty name \"" + name + "\"");
  Remove(name);
  error_.clear();
  const fs::path root(sysfsRoot_);
  std::error_code ec;
  if (!Link(root / "devices" / "gone" / name, root / "class" / "tty" / name, ec)) {
    return Fail("cannot link " + name + ": " + ec.message());
  }
  return true;
}

bool SysfsTree::Remove(const std::string& name) {
  if (!UsableName(name)) return Fail("unusable tty name \"" + name + "\"");
  const fs::path root(sysfsRoot_);
  const fs::path entry = root / "class" / "tty" / name;
  std::error_code ec;
  const bool present = fs::exists(fs::symlink_status(entry, ec));
  if (!present) return Fail("no tty \"" + name + "\"");

  // Only ever delete inside our own devices folder.
  const fs::path devices = fs::weakly_canonical(root / "devices", ec);
  fs::path owned = UsbDeviceDir(name);
  if (owned.empty()) owned = fs::canonical(entry, ec);
  if (!ec && !owned.empty() && Inside(owned, devices)) fs::remove_all(owned, ec);

  ec.clear();
  if (fs::is_symlink(fs::symlink_status(entry, ec)))
    fs::remove(entry, ec);
  else
    fs::remove_all(entry, ec);
  const fs::path node = fs::path(devRoot_) / name;
  std::error_code nodeEc;
  fs::remove(node, nodeEc);
  if (ec) return Fail("cannot remove " + entry.string() + ": " + ec.message());
  return true;
}

std::string SysfsTree::LatencyTimerPath(const std::string& name) const {
  return (fs::path(sysfsRoot_) / "class" / "tty" / name / "device" / "latency_timer").string();
}

std::string SysfsTree::UsbDeviceDir(const std::string& name) const {
  std::error_code ec;
  fs::path dir = fs::canonical(fs::path(sysfsRoot_) / "class" / "tty" / name / "device", ec);
  if (ec) return std::string();
  const fs::path root(sysfsRoot_);
  while (Inside(dir, root)) {
    if (fs::exists(dir / "idVendor", ec) && fs::exists(dir / "idProduct", ec)) return dir.string();
    dir = dir.parent_path();
  }
  return std::string();
}

std::string SysfsTree::DeviceNode(const std::string& name) const { return (fs::path(devRoot_) / name).string(); }

}  // namespace sim
}  // namespace ZEMBRA
