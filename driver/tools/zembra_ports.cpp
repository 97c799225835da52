// zembra-ports: lists the serial ports the driver sees, with the four
// strings it matches on and the hand each would serve. The first thing to
// run when a glove is not found.
//
// Honours ZEMBRA_SYSFS_ROOT and ZEMBRA_DEV_ROOT like the driver. Exit status
// 0 when at least one glove receiver was found, 1 otherwise.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "driver/discovery/hand_port.h"
#include "platform/port_enum.h"

namespace {

using ZEMBRA::HandType;
using ZEMBRA::platform::PortEntry;

const char* OrNone(const std::string& text) { return text.empty() ? "(none)" : text.c_str(); }

std::string Serves(const std::vector<PortEntry>& ports, size_t index) {
  std::string text;
  for (HandType hand : {ZEMBRA::Hand_Left, ZEMBRA::Hand_Right}) {
    if (!ZEMBRA::discovery::ServesHand(ports[index], hand)) continue;
    if (!text.empty()) text += "; ";
    text += hand == ZEMBRA::Hand_Left ? "left hand" : "right hand";
    const size_t first = *ZEMBRA::discovery::FindHandPort(ports, hand);
    if (first != index) text += " (ignored: " + ports[first].port_name + " comes first)";
  }
  return text.empty() ? "no hand (no \"LH\" or \"RH\" in the instance id)" : text;
}

void PrintHand(const std::vector<PortEntry>& ports, HandType hand, const char* label) {
  const auto found = ZEMBRA::discovery::FindHandPort(ports, hand);
  if (found) {
    std::printf("%-11s %s\n", label, ports[*found].port_name.c_str());
  } else {
    std::printf("%-11s not found (no instance id contains \"%s\")\n", label, ZEMBRA::discovery::HandTag(hand));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    std::fprintf(stderr,
                 "usage: %s\nLists serial ports and the glove hand each serves.\n"
                 "ZEMBRA_SYSFS_ROOT and ZEMBRA_DEV_ROOT select another device tree.\n",
                 argv[0]);
    return 2;
  }
  const ZEMBRA::platform::PortRoots roots = ZEMBRA::platform::PortRootsFromEnvironment();
  const std::vector<PortEntry> ports = ZEMBRA::platform::ListSerialPorts(roots);

  if (ports.empty()) {
    std::printf("No serial ports found under %s/class/tty.\n", roots.sysfs_root.c_str());
    std::printf("Is the receiver plugged in? Does \"dmesg\" show a ttyUSB or ttyACM device?\n");
    if (roots.sysfs_root != "/sys") std::printf("Note: ZEMBRA_SYSFS_ROOT is set to %s.\n", roots.sysfs_root.c_str());
    return 1;
  }

  std::printf("Serial ports (device tree %s, device nodes %s):\n", roots.sysfs_root.c_str(), roots.dev_root.c_str());
  for (size_t i = 0; i < ports.size(); ++i) {
    const PortEntry& port = ports[i];
    std::printf("\n%s\n", port.port_name.c_str());
    std::printf("  description: %s\n", OrNone(port.description));
    std::printf("  hardware id: %s\n", OrNone(port.hardware_id));
    std::printf("  instance id: %s\n", OrNone(port.instance_id));
    std::printf("  serves:      %s\n", Serves(ports, i).c_str());
  }
  std::printf("\n");
  PrintHand(ports, ZEMBRA::Hand_Left, "Left hand:");
  PrintHand(ports, ZEMBRA::Hand_Right, "Right hand:");

  const bool any = ZEMBRA::discovery::FindHandPort(ports, ZEMBRA::Hand_Left) ||
                   ZEMBRA::discovery::FindHandPort(ports, ZEMBRA::Hand_Right);
  return any ? 0 : 1;
}
