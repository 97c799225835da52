// A stand-in for the OpenVR runtime library with the same C exports and the
// same "FnTable:IVRSystem_019" function table, so that the driver's run-time
// binding is exercised for real: loading, initialisation, table calls and
// the event record size. Tests load this library themselves as well and
// drive it through the StandinVR_* exports.
//
// Scenario text, one instruction per line:
//   init_errors <e1> <e2> ...   errors of the first initialisations, then success
//   interface_valid 0|1         answer of VR_IsInterfaceVersionValid
//   table_missing 1             VR_GetGenericInterface returns null, error 0
//   device <index> <class> <connected> <wireless> <dongle> <serial>   ("-" is empty)
//   fault <index> size|second|noterm   string property faults of a device
//   event <type> <index>        a pending event
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t kSlots = 64;
constexpr int32_t kErrorNotInitialised = 109;
constexpr int32_t kErrorInterfaceNotFound = 105;
// Property errors: any non-zero value is a failure to the driver.
constexpr int32_t kPropBufferTooSmall = 3;
constexpr int32_t kPropUnknown = 4;
constexpr int32_t kPropInvalidDevice = 5;
constexpr int32_t kPropNotProvided = 7;

struct Device {
  int32_t deviceClass = 0;
  bool connected = false;
  bool wireless = false;
  std::string dongle;
  std::string serial;
  std::string fault;
};

struct State {
  std::mutex mutex;
  std::deque<int32_t> initErrors;
  bool interfaceValid = true;
  bool tableMissing = false;
  bool initialised = false;
  uint32_t token = 0;
  Device devices[kSlots];
  std::deque<std::pair<uint32_t, uint32_t>> events;
  std::map<std::string, int> counters;
};

// A process that loads the library without driving it (the configuration
// tool run against stand-in trackers) takes its scenario from the file named
// by ZEMBRA_STANDIN_OPENVR_SCENARIO.
void LoadScenarioFromEnvironment(State& s);
int ApplyLines(State& s, const char* scenario);

State& state() {
  static State s;
  static const bool loaded = (LoadScenarioFromEnvironment(s), true);
  (void)loaded;
  return s;
}

std::string Field(const std::string& text) { return text == "-" ? std::string() : text; }

int32_t GetTrackedDeviceClass(uint32_t index) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  ++s.counters["call20"];
  if (!s.initialised) ++s.counters["calls_uninitialised"];
  return index < kSlots ? s.devices[index].deviceClass : 0;
}

bool IsTrackedDeviceConnected(uint32_t index) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  ++s.counters["call21"];
  if (!s.initialised) ++s.counters["calls_uninitialised"];
  return index < kSlots && s.devices[index].connected;
}

bool GetBoolTrackedDeviceProperty(uint32_t index, int32_t property, int32_t* error) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  ++s.counters["call22"];
  if (!s.initialised) ++s.counters["calls_uninitialised"];
  if (index >= kSlots || s.devices[index].deviceClass == 0) {
    if (error) *error = kPropInvalidDevice;
    return false;
  }
  if (property != 1010) {
    if (error) *error = kPropUnknown;
    return false;
  }
  if (error) *error = 0;
  return s.devices[index].wireless;
}

uint32_t GetStringTrackedDeviceProperty(uint32_t index, int32_t property, char* buffer, uint32_t size, int32_t* error) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  ++s.counters["call28"];
  ++s.counters[std::string("property") + std::to_string(property)];
  if (!s.initialised) ++s.counters["calls_uninitialised"];
  int32_t ignored = 0;
  int32_t& err = error ? *error : ignored;
  if (index >= kSlots || s.devices[index].deviceClass == 0) {
    err = kPropInvalidDevice;
    return 0;
  }
  const Device& device = s.devices[index];
  std::string value;
  if (property == 1002)
    value = device.serial;
  else if (property == 1009)
    value = device.dongle;
  else {
    err = kPropUnknown;
    return 0;
  }
  if (value.empty() || device.fault == "size") {
    err = kPropNotProvided;
    return 0;
  }
  const uint32_t needed = uint32_t(value.size() + 1);
  if (!buffer || size < needed) {
    err = kPropBufferTooSmall;
    return needed;
  }
  if (device.fault == "second") {
    err = kPropNotProvided;
    return 0;
  }
  std::memcpy(buffer, value.data(), value.size());
  // A faulty runtime that fills the whole buffer without ending the text.
  buffer[value.size()] = device.fault == "noterm" ? 'X' : '\0';
  err = 0;
  return needed;
}

bool PollNextEvent(void* event, uint32_t eventSize) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  ++s.counters["call30"];
  if (!s.initialised) ++s.counters["calls_uninitialised"];
  s.counters["event_size"] = int(eventSize);
  if (s.events.empty() || eventSize < 12) return false;
  const auto next = s.events.front();
  s.events.pop_front();
  // The runtime owns the whole record it was told about.
  std::memset(event, 0x5A, eventSize);
  auto* bytes = static_cast<unsigned char*>(event);
  const float age = 0.25f;
  std::memcpy(bytes + 0, &next.first, 4);
  std::memcpy(bytes + 4, &next.second, 4);
  std::memcpy(bytes + 8, &age, 4);
  return true;
}

void* FunctionTable() {
  static void* table[47] = {};
  table[20] = reinterpret_cast<void*>(&GetTrackedDeviceClass);
  table[21] = reinterpret_cast<void*>(&IsTrackedDeviceConnected);
  table[22] = reinterpret_cast<void*>(&GetBoolTrackedDeviceProperty);
  table[28] = reinterpret_cast<void*>(&GetStringTrackedDeviceProperty);
  table[30] = reinterpret_cast<void*>(&PollNextEvent);
  return table;
}

}  // namespace

STANDIN_EXPORT uint32_t VR_InitInternal2(int32_t* error, int32_t applicationType, const char* startupInfo) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  ++s.counters["init"];
  s.counters["app_type"] = applicationType;
  s.counters["startup_info"] = startupInfo ? 1 : 0;
  if (!s.initErrors.empty()) {
    const int32_t e = s.initErrors.front();
    s.initErrors.pop_front();
    if (e != 0) {
      *error = e;
      return 0;
    }
  }
  s.initialised = true;
  *error = 0;
  return ++s.token;
}

STANDIN_EXPORT bool VR_IsInterfaceVersionValid(const char* version) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.initialised && s.interfaceValid && std::strcmp(version, "IVRSystem_019") == 0;
}

STANDIN_EXPORT uint32_t VR_GetInitToken() {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.token;
}

STANDIN_EXPORT void* VR_GetGenericInterface(const char* version, int32_t* error) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  ++s.counters[std::string("interface:") + version];
  if (!s.initialised) {
    *error = kErrorNotInitialised;
    return nullptr;
  }
  if (s.tableMissing) {
    *error = 0;
    return nullptr;
  }
  if (std::strcmp(version, "FnTable:IVRSystem_019") != 0) {
    *error = kErrorInterfaceNotFound;
    return nullptr;
  }
  *error = 0;
  return FunctionTable();
}

STANDIN_EXPORT void VR_ShutdownInternal() {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  ++s.counters["shutdown"];
  s.initialised = false;
}

STANDIN_EXPORT const char* VR_GetVRInitErrorAsEnglishDescription(int32_t error) {
  switch (error) {
    case 0:
      return "No Error (0)";
    case 108:
      return "Hmd Not Found (108)";
    case 109:
      return "Not Initialized (109)";
    case 110:
      return "Installation path could not be located (110)";
    default:
      return "Unknown error (stand-in)";
  }
}

namespace {

// Applies scenario lines to the state, which the caller has locked. Returns
// 0, or the number of the first line it could not read.
int ApplyLines(State& s, const char* scenario) {
  std::istringstream lines(scenario ? scenario : "");
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    std::istringstream in(line);
    std::string word;
    if (!(in >> word)) continue;
    if (word == "init_errors") {
      int32_t e;
      while (in >> e) s.initErrors.push_back(e);
    } else if (word == "interface_valid") {
      int v = 1;
      if (!(in >> v)) return number;
      s.interfaceValid = v != 0;
    } else if (word == "table_missing") {
      int v = 1;
      in >> v;
      s.tableMissing = v != 0;
    } else if (word == "device") {
      uint32_t index;
      int cls, connected, wireless;
      std::string dongle, serial;
      if (!(in >> index >> cls >> connected >> wireless >> dongle >> serial) || index >= kSlots) return number;
      Device& d = s.devices[index];
      d.deviceClass = cls;
      d.connected = connected != 0;
      d.wireless = wireless != 0;
      d.dongle = Field(dongle);
      d.serial = Field(serial);
    } else if (word == "fault") {
      uint32_t index;
      std::string what;
      if (!(in >> index >> what) || index >= kSlots) return number;
      s.devices[index].fault = what;
    } else if (word == "event") {
      uint32_t type, index;
      if (!(in >> type >> index)) return number;
      s.events.emplace_back(type, index);
    } else {
      return number;
    }
  }
  return 0;
}

void LoadScenarioFromEnvironment(State& s) {
  const char* path = std::getenv("ZEMBRA_STANDIN_OPENVR_SCENARIO");
  if (!path || !*path) return;
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  const std::string scenario = text.str();
  ApplyLines(s, scenario.c_str());
}

}  // namespace

// Replaces the whole state by the scenario; returns 0, or the number of the
// first line it could not read.
STANDIN_EXPORT int StandinVR_Load(const char* scenario) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.initErrors.clear();
  s.interfaceValid = true;
  s.tableMissing = false;
  s.initialised = false;
  for (Device& d : s.devices) d = Device();
  s.events.clear();
  s.counters.clear();
  return ApplyLines(s, scenario);
}

// Adds to the state as it is, initialised or not: a device plugged in later
// and its activation, for example.
STANDIN_EXPORT int StandinVR_Apply(const char* lines) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return ApplyLines(s, lines);
}

// A counter or recorded value by name (0 when never set): "init", "shutdown",
// "app_type", "startup_info", "event_size", "call20" ... "call30",
// "property1002", "interface:<version>", "calls_uninitialised", "pending".
STANDIN_EXPORT int StandinVR_Count(const char* name) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  const std::string key = name;
  if (key == "pending") return int(s.events.size());
  if (key == "initialised") return s.initialised ? 1 : 0;
  const auto it = s.counters.find(key);
  return it == s.counters.end() ? 0 : it->second;
}
