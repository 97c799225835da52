// Builds a device tree of the same shape as Linux sysfs under a folder of
// our own, so that tests and the receiver simulator can present serial
// ports to the port enumerator (ZEMBRA_SYSFS_ROOT / ZEMBRA_DEV_ROOT point at
// the two roots). Links are relative, as in sysfs, so a tree can be moved.
//
// Layout of a usb-serial receiver "ttyUSB0" on bus port 1-1:
//   devices/pci0000:00/0000:00:14.0/usb1/1-1/          idVendor idProduct serial product
//   .../1-1/1-1:1.0/                                    driver -> bus/usb/drivers/<driver>
//   .../1-1/1-1:1.0/ttyUSB0/                            latency_timer, driver -> bus/usb-serial/drivers/<driver>
//   .../1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0/                device -> ../../../ttyUSB0
//   class/tty/ttyUSB0 -> ../../devices/.../ttyUSB0/tty/ttyUSB0
//   <dev root>/ttyUSB0                                  link to a pseudo-terminal, or a plain file
// A cdc_acm receiver has no port directory: its tty hangs off the interface.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ZEMBRA {
namespace sim {

struct UsbSerialReceiver {
  std::string name = "ttyUSB0";  // tty name and device node name
  uint16_t vendor_id = 0x0403;
  uint16_t product_id = 0x6001;
  std::optional<std::string> serial;      // e.g. "ZEMBRA-LH-0001"; none: no attribute
  std::optional<std::string> product;     // none: no attribute
  std::optional<int> latency_timer = 16;  // none: the driver offers no such attribute
  std::string driver = "ftdi_sio";
  bool acm = false;         // cdc_acm layout
  std::string node_target;  // device node links here; empty: plain file
};

class SysfsTree {
 public:
  // Both roots are created when missing.
  SysfsTree(std::string sysfsRoot, std::string devRoot);

  // Each returns false and leaves a reason in error() on failure. Adding a
  // name that is already present replaces it. Several processes may add
  // receivers of different names to one tree at the same time: each gets a
  // USB port folder of its own.
  bool AddUsbSerial(const UsbSerialReceiver& receiver);
  // A built-in UART such as ttyS0 on a platform device. type 0 is what the
  // kernel shows for a port without hardware behind it.
  bool AddPlatformSerial(const std::string& name, int type = 4, const std::string& driver = "serial8250");
  // A tty without a device link (virtual console, pseudo-terminal).
  bool AddVirtualTty(const std::string& name);
  // A class entry whose link leads nowhere.
  bool AddDanglingEntry(const std::string& name);
  // Removes the class entry, the device node and the device behind it.
  bool Remove(const std::string& name);

  // The latency_timer attribute of a usb-serial receiver (in its port
  // directory), whether or not it exists.
  std::string LatencyTimerPath(const std::string& name) const;
  // The USB device directory of a receiver, or empty.
  std::string UsbDeviceDir(const std::string& name) const;
  std::string DeviceNode(const std::string& name) const;

  const std::string& sysfsRoot() const { return sysfsRoot_; }
  const std::string& devRoot() const { return devRoot_; }
  const std::string& error() const { return error_; }

 private:
  bool Fail(const std::string& what);
  bool MakeNode(const std::string& name, const std::string& target);

  std::string sysfsRoot_;
  std::string devRoot_;
  std::string error_;
};

}  // namespace sim
}  // namespace ZEMBRA
