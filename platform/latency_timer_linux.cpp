#include <string>

#include "platform/latency_timer.h"
#include "platform/sysfs_attribute.h"

namespace ZEMBRA {
namespace platform {

namespace {

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool UsableTtyName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

std::string LatencyTimerPath(const PortRoots& roots, const std::string& instanceId, const std::string& portName) {
  std::string name;
  if (!instanceId.empty()) {
    for (const PortEntry& port : ListSerialPorts(roots)) {
      if (port.instance_id == instanceId) {
        name = BaseName(port.port_name);
        break;
      }
    }
  }
  if (name.empty()) name = BaseName(portName);
  if (!UsableTtyName(name)) return std::string();
  std::string root = roots.sysfs_root;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (root == "/") root.clear();
  return root + "/class/tty/" + name + "/device/latency_timer";
}

std::optional<int> ReadLatencyTimer(const std::string& attributePath) {
  if (attributePath.empty()) return std::nullopt;
  const auto text = ReadAttribute(attributePath);
  if (!text || text->empty() || text->size() > 3) return std::nullopt;
  int value = 0;
  for (char c : *text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > 255) return std::nullopt;
  return value;
}

int WriteLatencyTimer(const std::string& attributePath, int milliseconds) {
  return WriteAttribute(attributePath, std::to_string(milliseconds) + "\n");
}

}  // namespace platform
}  // namespace ZEMBRA
