// zembra-sysfs-register: adds one simulated receiver to a device tree of our
// own (or removes it), for scripts that start simulated receivers and want
// the driver to find them by discovery.
//
//   zembra-sysfs-register [--sysfs-root DIR] [--dev-root DIR] --name ttyUSB0
//       --serial ZEMBRA-LH-0001 [--product TEXT] [--vid 0403] [--pid 6001]
//       [--latency 16|none] [--driver ftdi_sio] [--acm] [--node-target /dev/pts/N]
//   zembra-sysfs-register [--sysfs-root DIR] [--dev-root DIR] --remove ttyUSB0
//
// The roots default to ZEMBRA_SYSFS_ROOT and ZEMBRA_DEV_ROOT. There is no
// fallback to /sys and /dev: this program only ever writes a stand-in tree.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/sysfs_tree.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: zembra-sysfs-register [--sysfs-root DIR] [--dev-root DIR] --name NAME [--serial TEXT]\n"
               "           [--product TEXT] [--vid HEX] [--pid HEX] [--latency N|none] [--driver NAME]\n"
               "           [--acm] [--node-target PATH]\n"
               "       zembra-sysfs-register [--sysfs-root DIR] [--dev-root DIR] --remove NAME\n"
               "The roots default to $ZEMBRA_SYSFS_ROOT and $ZEMBRA_DEV_ROOT.\n");
}

bool ParseHex16(const char* text, uint16_t& out) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 16);
  if (!*text || *end || value > 0xFFFF) return false;
  out = uint16_t(value);
  return true;
}

bool ParseLatency(const char* text, std::optional<int>& out) {
  if (std::strcmp(text, "none") == 0) {
    out.reset();
    return true;
  }
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (!*text || *end || value < 0 || value > 255) return false;
  out = int(value);
  return true;
}

std::string FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

int main(int argc, char** argv) {
  std::string sysfsRoot = FromEnvironment("ZEMBRA_SYSFS_ROOT");
  std::string devRoot = FromEnvironment("ZEMBRA_DEV_ROOT");
  std::string removeName;
  ZEMBRA::sim::UsbSerialReceiver receiver;
  receiver.name.clear();

  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--acm") {
      receiver.acm = true;
      receiver.driver = "cdc_acm";
      continue;
    }
    if (option == "--help" || option == "-h") {
      Usage();
      return 0;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "zembra-sysfs-register: %s needs a value\n", option.c_str());
      Usage();
      return 2;
    }
    const char* value = argv[++i];
    bool ok = true;
    if (option == "--sysfs-root")
      sysfsRoot = value;
    else if (option == "--dev-root")
      devRoot = value;
    else if (option == "--name")
      receiver.name = value;
    else if (option == "--remove")
      removeName = value;
    else if (option == "--serial")
      receiver.serial = std::string(value);
    else if (option == "--product")
      receiver.product = std::string(value);
    else if (option == "--vid")
      ok = ParseHex16(value, receiver.vendor_id);
    else if (option == "--pid")
      ok = ParseHex16(value, receiver.product_id);
    else if (option == "--latency")
      ok = ParseLatency(value, receiver.latency_timer);
    else if (option == "--driver")
      receiver.driver = value;
    else if (option == "--node-target")
      receiver.node_target = value;
    else {
      std::fprintf(stderr, "zembra-sysfs-register: unknown option %s\n", option.c_str());
      Usage();
      return 2;
    }
    if (!ok) {
      std::fprintf(stderr, "zembra-sysfs-register: bad value for %s: %s\n", option.c_str(), value);
      return 2;
    }
  }

  if (sysfsRoot.empty() || devRoot.empty()) {
    std::fprintf(stderr, "zembra-sysfs-register: give --sysfs-root and --dev-root (or set the environment)\n");
    return 2;
  }
  if (removeName.empty() == receiver.name.empty()) {
    Usage();
    return 2;
  }

  ZEMBRA::sim::SysfsTree tree(sysfsRoot, devRoot);
  const bool ok = removeName.empty() ? tree.AddUsbSerial(receiver) : tree.Remove(removeName);
  if (!ok) {
    std::fprintf(stderr, "zembra-sysfs-register: %s\n", tree.error().c_str());
    return 1;
  }
  return 0;
}
