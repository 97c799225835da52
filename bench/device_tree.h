// A device tree of a benchmark's own, under the system's temporary folder:
// the driver's discovery reads it through the environment
// (ZEMBRA_SYSFS_ROOT, ZEMBRA_DEV_ROOT), and it is removed with the object,
// whichever way the benchmark ends.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "sim/sysfs_tree.h"

namespace ZEMBRA {
namespace bench {

class DeviceTree {
 public:
  DeviceTree() {
    std::string folder = (std::filesystem::temp_directory_path() / "zembra-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data())) return;
    dir_ = folder;
    tree_ = std::make_unique<sim::SysfsTree>(dir_ + "/sys", dir_ + "/dev");
    ::setenv("ZEMBRA_SYSFS_ROOT", tree_->sysfsRoot().c_str(), 1);
    ::setenv("ZEMBRA_DEV_ROOT", tree_->devRoot().c_str(), 1);
  }
  ~DeviceTree() {
    tree_.reset();
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }
  DeviceTree(const DeviceTree&) = delete;
  DeviceTree& operator=(const DeviceTree&) = delete;

  bool ok() const { return tree_ != nullptr; }
  // A usb-serial receiver `name` (ttyUSB0, ...) whose device node leads to
  // port; false when it cannot be made.
  bool Plug(const std::string& name, const std::string& serial, const std::string& port) {
    sim::UsbSerialReceiver usb;
    usb.name = name;
    usb.serial = serial;
    usb.node_target = port;
    return ok() && tree_->AddUsbSerial(usb);
  }
  bool Unplug(const std::string& name) { return ok() && tree_->Remove(name); }
  std::string DeviceNode(const std::string& name) const { return ok() ? tree_->DeviceNode(name) : std::string(); }

 private:
  std::string dir_;
  std::unique_ptr<sim::SysfsTree> tree_;
};

}  // namespace bench
}  // namespace ZEMBRA
