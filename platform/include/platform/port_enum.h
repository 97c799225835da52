// The serial ports present on the machine, as the driver and the tools see
// them: one entry per port with the four strings a PortInfo carries.
//
// The strings keep the Windows shapes so that a receiver is recognised the
// same way everywhere: hardware_id is "USB\VID_xxxx&PID_xxxx" and
// instance_id is that followed by "\" and the USB serial number, which is
// where a receiver carries its "LH" or "RH" tag.
#pragma once

#include <string>
#include <vector>

namespace ZEMBRA {
namespace platform {

struct PortEntry {
  std::string port_name;    // the device node, e.g. "/dev/ttyUSB0"
  std::string description;  // USB product string, else the driver's name
  std::string hardware_id;  // "USB\VID_xxxx&PID_xxxx"; empty for non-USB ports
  std::string instance_id;  // hardware_id + "\" + serial number; empty for non-USB ports
};

// Where the device tree and the device nodes live. A test or the simulator
// points both at a tree of its own; nothing else differs from a real
// receiver.
struct PortRoots {
  std::string sysfs_root = "/sys";
  std::string dev_root = "/dev";
};

// ZEMBRA_SYSFS_ROOT and ZEMBRA_DEV_ROOT, each falling back to its default
// when unset or empty.
PortRoots PortRootsFromEnvironment();

// Every present serial port, sorted by node name with numbers compared by
// value (ttyUSB2 before ttyUSB10), so the order is the same on every call.
// Ports without a device and names containing "LPT" are left out. Odd or
// unreadable entries are dropped or leave a string empty; never throws.
std::vector<PortEntry> ListSerialPorts(const PortRoots& roots);

// The port list under the roots named by the environment.
std::vector<PortEntry> ListSerialPorts();

}  // namespace platform
}  // namespace ZEMBRA
