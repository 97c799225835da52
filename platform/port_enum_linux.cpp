// Serial ports from the device tree (sysfs).
//
// <sysfs>/class/tty/<name> is one entry per tty. Only entries with a
// "device" link are ports of some hardware; that link leads to the port's
// device directory (for usb-serial drivers the "ttyUSBn" port, for cdc_acm
// the USB interface). The USB device with idVendor, idProduct, serial and
// product is the first ancestor that carries the two ids.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>
#include <tuple>

#include "platform/port_enum.h"
#include "platform/sysfs_attribute.h"

namespace ZEMBRA {
namespace platform {

namespace fs = std::filesystem;

namespace {

// Windows refuses longer device instance identifiers.
constexpr size_t kMaxInstanceIdLength = 199;
// A USB device sits a few levels above its tty; this bounds the walk in a
// malformed tree.
constexpr int kMaxAncestorSteps = 16;

std::string RootFrom(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  std::string root = (value && *value) ? value : fallback;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

std::optional<unsigned> ParseUsbId(const std::string& text) {
  if (text.size() != 4) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9')
      digit = unsigned(c - '0');
    else if (c >= 'a' && c <= 'f')
      digit = unsigned(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      digit = unsigned(c - 'A' + 10);
    else
      return std::nullopt;
    value = value * 16 + digit;
  }
  return value;
}

// Windows ignores a serial number with control or non-ASCII characters or a
// comma; a backslash would add a level to the identifier.
bool UsableSerial(const std::string& serial) {
  if (serial.empty()) return false;
  for (unsigned char c : serial) {
    if (c < 0x20 || c >= 0x7F || c == ',' || c == '\\') return false;
  }
  return true;
}

// Product strings are for people: keep valid UTF-8, replace control
// characters and broken sequences with '?'.
std::string PrintableText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    if (lead < 0x80)
      length = 1;
    else if ((lead & 0xE0) == 0xC0 && lead >= 0xC2)
      length = 2;
    else if ((lead & 0xF0) == 0xE0)
      length = 3;
    else if ((lead & 0xF8) == 0xF0 && lead <= 0xF4)
      length = 4;
    bool valid = length > 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    }
    if (!valid) {
      out.push_back('?');
      ++i;
    } else if (length == 1) {
      out.push_back((lead < 0x20 || lead == 0x7F) ? '?' : char(lead));
      ++i;
    } else {
      out.append(text, i, length);
      i += length;
    }
  }
  return out;
}

// Since Linux 6.5 a built-in UART's tty hangs off generic "port" and "ctrl"
// devices of the serial-base bus; the name worth showing is that of the
// driver of the hardware above them.
std::string DriverName(const fs::path& deviceDir) {
  fs::path dir = deviceDir;
  for (int step = 0; step < 3; ++step) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(dir / "driver", ec);
    if (ec) return std::string();
    if (target.parent_path().parent_path().filename() != "serial-base" || !dir.has_relative_path()) {
      return target.filename().string();
    }
    dir = dir.parent_path();
  }
  return std::string();
}

struct UsbDevice {
  fs::path dir;
  unsigned vendor = 0;
  unsigned product = 0;
};

std::optional<UsbDevice> FindUsbDevice(const fs::path& deviceDir, const fs::path& sysfsRoot) {
  fs::path dir = deviceDir;
  for (int step = 0; step < kMaxAncestorSteps; ++step) {
    const auto vendorText = ReadAttribute((dir / "idVendor").string());
    const auto productText = ReadAttribute((dir / "idProduct").string());
    if (vendorText && productText) {
      const auto vendor = ParseUsbId(*vendorText);
      const auto product = ParseUsbId(*productText);
      if (vendor && product) return UsbDevice{dir, *vendor, *product};
    }
    if (dir == sysfsRoot || !dir.has_relative_path()) break;
    dir = dir.parent_path();
  }
  return std::nullopt;
}

std::string HardwareId(const UsbDevice& usb) {
  char text[32];
  std::snprintf(text, sizeof text, "USB\\VID_%04X&PID_%04X", usb.vendor, usb.product);
  return text;
}

// Without a usable serial number Windows names the device by its place on
// the bus; the device directory's name plays that part here.
std::string InstanceId(const std::string& hardwareId, const UsbDevice& usb) {
  const auto usable = [&hardwareId](const std::string& tail) {
    return UsableSerial(tail) && hardwareId.size() + 1 + tail.size() <= kMaxInstanceIdLength;
  };
  const auto serial = ReadAttribute((usb.dir / "serial").string());
  const std::string tail = serial && usable(*serial) ? *serial : usb.dir.filename().string();
  return usable(tail) ? hardwareId + "\\" + tail : std::string();
}

// The 8250 driver registers a fixed number of ports whether or not a UART
// answers; it marks the empty ones with type 0.
bool AbsentUart(const fs::path& classDir) {
  const auto type = ReadAttribute((classDir / "type").string());
  return type && *type == "0";
}

std::optional<PortEntry> ReadPort(const fs::path& sysfsRoot, const std::string& devRoot, const std::string& name) {
  if (name.find("LPT") != std::string::npos) return std::nullopt;

  const fs::path classDir = sysfsRoot / "class" / "tty" / name;
  std::error_code ec;
  const fs::path deviceDir = fs::canonical(classDir / "device", ec);
  if (ec || !fs::is_directory(deviceDir, ec) || ec) return std::nullopt;

  PortEntry entry;
  entry.port_name = devRoot == "/" ? "/" + name : devRoot + "/" + name;
  const std::string driver = DriverName(deviceDir);

  if (const auto usb = FindUsbDevice(deviceDir, sysfsRoot)) {
    entry.hardware_id = HardwareId(*usb);
    entry.instance_id = InstanceId(entry.hardware_id, *usb);
    const auto product = ReadAttribute((usb->dir / "product").string());
    entry.description = product && !product->empty() ? PrintableText(*product) : PrintableText(driver);
    return entry;
  }
  if (AbsentUart(classDir)) return std::nullopt;
  entry.description = PrintableText(driver);
  return entry;
}

// "ttyUSB10" -> ("ttyUSB", 10): the order people expect from port numbers.
std::tuple<std::string, unsigned long long, std::string> SortKey(const std::string& name) {
  size_t split = name.size();
  while (split > 0 && name[split - 1] >= '0' && name[split - 1] <= '9') --split;
  unsigned long long number = 0;
  const std::string digits = name.substr(split);
  if (!digits.empty() && digits.size() < 19) number = std::strtoull(digits.c_str(), nullptr, 10);
  return {name.substr(0, split), number, name};
}

}  // namespace

PortRoots PortRootsFromEnvironment() {
  PortRoots roots;
  roots.sysfs_root = RootFrom("ZEMBRA_SYSFS_ROOT", "/sys");
  roots.dev_root = RootFrom("ZEMBRA_DEV_ROOT", "/dev");
  return roots;
}

std::vector<PortEntry> ListSerialPorts(const PortRoots& roots) {
  try {
    std::error_code ec;
    // The walk towards the USB device compares against the resolved root.
    fs::path sysfsRoot = fs::canonical(roots.sysfs_root.empty() ? "/" : roots.sysfs_root, ec);
    if (ec) return {};
    std::string devRoot = roots.dev_root;
    while (devRoot.size() > 1 && devRoot.back() == '/') devRoot.pop_back();

    std::vector<std::string> names;
    fs::directory_iterator it(sysfsRoot / "class" / "tty", fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
      names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return SortKey(a) < SortKey(b); });

    std::vector<PortEntry> ports;
    for (const std::string& name : names) {
      if (auto entry = ReadPort(sysfsRoot, devRoot, name)) ports.push_back(std::move(*entry));
    }
    return ports;
  } catch (...) {
    // Only allocation can fail here; an empty list reads as "no receiver".
    return {};
  }
}

std::vector<PortEntry> ListSerialPorts() { return ListSerialPorts(PortRootsFromEnvironment()); }

}  // namespace platform
}  // namespace ZEMBRA
