// Serial ports from the device setup interface: the present members of the
// Ports class, each with the "PortName" of its hardware key.

// The headers below need windows.h first.
#include "text_win.h"
// clang-format off
#include <setupapi.h>
#include <devguid.h>
// clang-format on

#include <memory>

#include "platform/port_enum.h"

namespace ZEMBRA {
namespace platform {

namespace {

// The property reads are bounded to this many bytes.
constexpr DWORD kMaxPropertyBytes = 256;
constexpr DWORD kMaxInstanceIdChars = 256;

struct DeviceSetDeleter {
  void operator()(void* set) const { ::SetupDiDestroyDeviceInfoList(static_cast<HDEVINFO>(set)); }
};
using DeviceSet = std::unique_ptr<void, DeviceSetDeleter>;

// A string value of the device's hardware key ("Device Parameters").
std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
  UniqueKey key;
  *key.out() = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key.get() == INVALID_HANDLE_VALUE) {
    *key.out() = nullptr;
    return std::string();
  }
  wchar_t name[kMaxPropertyBytes / sizeof(wchar_t)];
  DWORD size = sizeof name;
  DWORD type = 0;
  if (::RegQueryValueExW(key.get(), L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::string();
  }
  // The stored string need not be null-terminated: bound it by its size.
  return NarrowBounded(name, size / sizeof(wchar_t));
}

// The first string of a text property; empty when absent.
std::string PropertyOf(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t text[kMaxPropertyBytes / sizeof(wchar_t)];
  DWORD type = 0;
  DWORD size = 0;
  if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(text), sizeof text,
                                           &size)) {
    return std::string();
  }
  if (type != REG_SZ && type != REG_MULTI_SZ) return std::string();
  return NarrowBounded(text, std::min<DWORD>(size, sizeof text) / sizeof(wchar_t));
}

std::string InstanceIdOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
  wchar_t id[kMaxInstanceIdChars];
  if (!::SetupDiGetDeviceInstanceIdW(set, &device, id, kMaxInstanceIdChars, nullptr)) return std::string();
  return NarrowBounded(id, kMaxInstanceIdChars);
}

}  // namespace

PortRoots PortRootsFromEnvironment() { return PortRoots{}; }

// The roots name a device tree, which Windows does not have.
std::vector<PortEntry> ListSerialPorts(const PortRoots&) {
  std::vector<PortEntry> ports;
  HDEVINFO raw = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (raw == INVALID_HANDLE_VALUE) return ports;
  const DeviceSet set(raw);
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!::SetupDiEnumDeviceInfo(raw, index, &device)) break;
    PortEntry entry;
    entry.port_name = PortNameOf(raw, device);
    if (entry.port_name.empty() || entry.port_name.find("LPT") != std::string::npos) continue;
    entry.description = PropertyOf(raw, device, SPDRP_FRIENDLYNAME);
    entry.hardware_id = PropertyOf(raw, device, SPDRP_HARDWAREID);
    entry.instance_id = InstanceIdOf(raw, device);
    ports.push_back(std::move(entry));
  }
  return ports;
}

std::vector<PortEntry> ListSerialPorts() { return ListSerialPorts(PortRootsFromEnvironment()); }

}  // namespace platform
}  // namespace ZEMBRA
