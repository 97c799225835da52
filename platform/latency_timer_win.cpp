// The "LatencyTimer" device parameter of a USB serial receiver in the
// registry. The "path" the interface passes around is the key below
// HKEY_LOCAL_MACHINE.

#include "platform/latency_timer.h"
#include "text_win.h"

namespace ZEMBRA {
namespace platform {

namespace {

constexpr wchar_t kValueName[] = L"LatencyTimer";

// A control character cannot be part of a device instance identifier, and
// an identifier that starts or ends with a backslash would name another key.
bool UsableInstanceId(const std::string& id) {
  if (id.empty() || id.front() == '\\' || id.back() == '\\') return false;
  for (unsigned char c : id) {
    if (c < 0x20) return false;
  }
  return id.find("\\\\") == std::string::npos;
}

}  // namespace

// The roots name a device tree, which Windows does not have; a port named
// without its instance identifier is looked up in the port list.
std::string LatencyTimerPath(const PortRoots& roots, const std::string& instanceId, const std::string& portName) {
  std::string id = instanceId;
  if (id.empty() && !portName.empty()) {
    for (const PortEntry& port : ListSerialPorts(roots)) {
      if (port.port_name == portName) {
        id = port.instance_id;
        break;
      }
    }
  }
  if (!UsableInstanceId(id)) return std::string();
  return "SYSTEM\\CurrentControlSet\\Enum\\" + id + "\\Device Parameters";
}

// Read with query rights only, so that a user without administrative rights
// still learns the value, and the write that follows is what reports the
// missing rights.
std::optional<int> ReadLatencyTimer(const std::string& keyPath) {
  if (keyPath.empty()) return std::nullopt;
  UniqueKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Widen(keyPath).c_str(), 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD value = 0;
  DWORD size = sizeof value;
  DWORD type = 0;
  if (::RegQueryValueExW(key.get(), kValueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value || value > 255) {
    return std::nullopt;
  }
  return int(value);
}

// Returns 0 or the system's status code of the refused open or write.
int WriteLatencyTimer(const std::string& keyPath, int milliseconds) {
  if (keyPath.empty() || milliseconds < 0) return ERROR_INVALID_PARAMETER;
  UniqueKey key;
  LSTATUS status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Widen(keyPath).c_str(), 0, KEY_SET_VALUE, key.out());
  if (status != ERROR_SUCCESS) return int(status);
  const DWORD value = DWORD(milliseconds);
  status = ::RegSetValueExW(key.get(), kValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  return int(status);
}

}  // namespace platform
}  // namespace ZEMBRA
