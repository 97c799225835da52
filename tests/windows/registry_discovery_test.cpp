// Discovery and the latency timer against serial devices this test puts in
// the machine's device registry and takes out again: the Ports class as
// SetupAPI lists it, and the "LatencyTimer" device parameter.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "driver/ZEMBRAIMUImpl.h"
#include "log/log.h"
#include "platform/latency_timer.h"
#include "platform/port_enum.h"

namespace ZEMBRA {
namespace {

constexpr wchar_t kEnum[] = L"SYSTEM\\CurrentControlSet\\Enum\\";
constexpr wchar_t kPortsClass[] = L"{4d36e978-e325-11ce-bfc1-08002be10318}";
// pid.codes' test identifiers: no real device carries them.
constexpr char kHardwareId[] = "USB\\VID_1209&PID_5A01";

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

void SetString(HKEY key, const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ) {
  std::wstring stored = value;
  stored.push_back(L'\0');
  if (type == REG_MULTI_SZ) stored.push_back(L'\0');
  ::RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(stored.data()),
                   DWORD(stored.size() * sizeof(wchar_t)));
}

// A serial device in the registry while the object lives.
class RegisteredPort {
 public:
  RegisteredPort(const std::string& serial, const std::string& portName, std::optional<DWORD> latency = 16)
      : instanceId_(std::string(kHardwareId) + "\\" + serial) {
    HKEY device = nullptr;
    ok_ = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kEnum + Wide(instanceId_)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &device, nullptr) == ERROR_SUCCESS;
    if (!ok_) return;
    SetString(device, L"ClassGUID", kPortsClass);
    SetString(device, L"FriendlyName", L"Test Serial Port (" + Wide(portName) + L")");
    SetString(device, L"HardwareID", Wide(kHardwareId), REG_MULTI_SZ);
    HKEY parameters = nullptr;
    ok_ = ::RegCreateKeyExW(device, L"Device Parameters", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &parameters,
                            nullptr) == ERROR_SUCCESS;
    ::RegCloseKey(device);
    if (!ok_) return;
    SetString(parameters, L"PortName", Wide(portName));
    if (latency)
      ::RegSetValueExW(parameters, L"LatencyTimer", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*latency), 4);
    ::RegCloseKey(parameters);
  }
  ~RegisteredPort() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kEnum + Wide(instanceId_)).c_str()); }
  RegisteredPort(const RegisteredPort&) = delete;
  RegisteredPort& operator=(const RegisteredPort&) = delete;

  bool ok() const { return ok_; }
  const std::string& instanceId() const { return instanceId_; }
  std::optional<DWORD> Latency() const {
    DWORD value = 0, size = sizeof value;
    const std::wstring key = kEnum + Wide(instanceId_) + L"\\Device Parameters";
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"LatencyTimer", RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
      return std::nullopt;
    return value;
  }

 private:
  std::string instanceId_;
  bool ok_ = false;
};

// The driver's messages, through its log sink.
class Messages {
 public:
  Messages() {
    log::SetSink([](void* to, const char* data, size_t size) { static_cast<std::string*>(to)->append(data, size); },
                 &text_);
  }
  ~Messages() { log::SetSink(nullptr, nullptr); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

const platform::PortEntry* Find(const std::vector<platform::PortEntry>& ports, const std::string& name) {
  for (const auto& port : ports)
    if (port.port_name == name) return &port;
  return nullptr;
}

TEST(RegistryDiscovery, ListsPortsWithTheirFourStringsAndLeavesPrinterPortsOut) {
  RegisteredPort plain("ZEMBRA-TEST-PLAIN", "COM3"), left("ZEMBRA-LH7-TEST", "COM7"),
      printer("ZEMBRA-LH-PRINTER", "LPT1");
  ASSERT_TRUE(plain.ok() && left.ok() && printer.ok());
  const auto ports = platform::ListSerialPorts();
  const platform::PortEntry* com7 = Find(ports, "COM7");
  ASSERT_NE(com7, nullptr);
  EXPECT_EQ(com7->description, "Test Serial Port (COM7)");
  EXPECT_EQ(com7->hardware_id, kHardwareId);
  EXPECT_EQ(com7->instance_id, left.instanceId());
  EXPECT_NE(Find(ports, "COM3"), nullptr);
  EXPECT_EQ(Find(ports, "LPT1"), nullptr);
}

TEST(RegistryDiscovery, DetectGlovePortPicksTheTaggedReceiverOfTheHand) {
  RegisteredPort plain("ZEMBRA-TEST-PLAIN", "COM3"), left("ZEMBRA-LH7-TEST", "COM7");
  ASSERT_TRUE(plain.ok() && left.ok());
  EIMUError err = IMUError_OperationFailed;
  ZEMBRAIMUImpl driver(err, 1, nullptr);
  Messages messages;

  PortInfo info;
  info.hand = Hand_Left;
  info.baud_rate = 1000000;
  driver.DetectGlovePort(err, info);
  EXPECT_EQ(err, IMUError_None);
  EXPECT_EQ(info.port_name, "COM7");
  EXPECT_EQ(info.instance_id, left.instanceId());
  EXPECT_EQ(info.hardware_id, kHardwareId);
  EXPECT_EQ(info.baud_rate, 1000000);
  EXPECT_NE(messages.text().find("Found Left Hand Port: COM7\n"), std::string::npos) << messages.text();

  // No right-hand receiver (the system keeps instance identifiers in upper
  // case, so the tag's case is tested on the port list alone, elsewhere):
  // info stays as it was.
  PortInfo right;
  right.hand = Hand_Right;
  right.port_name = "unchanged";
  driver.DetectGlovePort(err, right);
  EXPECT_EQ(err, IMUError_PortNotFound);
  EXPECT_EQ(right.port_name, "unchanged");

  PortInfo none;
  driver.DetectGlovePort(err, none);
  EXPECT_EQ(err, IMUError_PortNotFound);
}

TEST(RegistryLatencyTimer, SetsTheValueToOneAndReportsWhatItRead) {
  RegisteredPort slow("ZEMBRA-LH3-SLOW", "COM4", 16);
  ASSERT_TRUE(slow.ok());
  EIMUError err = IMUError_OperationFailed;
  ZEMBRAIMUImpl driver(err, 1, nullptr);
  PortInfo info;
  info.instance_id = slow.instanceId();
  info.port_name = "COM4";
  {
    Messages messages;
    driver.SetLatencyTimer(info, err);
    EXPECT_EQ(err, IMUError_None);
    EXPECT_EQ(slow.Latency(), 1u);
    const std::string key = "SYSTEM\\CurrentControlSet\\Enum\\" + slow.instanceId() + "\\Device Parameters";
    EXPECT_EQ(messages.text(), slow.instanceId() + "\n" + key + "\nthe value read from the registry is: 16\n");
  }
  {
    // Already 1: read and reported, nothing written.
    Messages messages;
    driver.SetLatencyTimer(info, err);
    EXPECT_EQ(err, IMUError_None);
    EXPECT_NE(messages.text().find("the value read from the registry is: 1\n"), std::string::npos);
    EXPECT_EQ(messages.text().find("Unable"), std::string::npos);
  }
}

TEST(RegistryLatencyTimer, LeavesADeviceWithoutTheValueAlone) {
  RegisteredPort bare("ZEMBRA-RH3-BARE", "COM8", std::nullopt);
  ASSERT_TRUE(bare.ok());
  EIMUError err = IMUError_OperationFailed;
  ZEMBRAIMUImpl driver(err, 1, nullptr);
  PortInfo info;
  info.instance_id = bare.instanceId();
  Messages messages;
  driver.SetLatencyTimer(info, err);
  EXPECT_EQ(err, IMUError_None);
  EXPECT_EQ(bare.Latency(), std::nullopt);
  EXPECT_EQ(messages.text().find("the value read"), std::string::npos);
}

TEST(RegistryLatencyTimer, KeyPathsComeOnlyFromUsableIdentifiers) {
  RegisteredPort port("ZEMBRA-LH5-PATH", "COM12");
  ASSERT_TRUE(port.ok());
  const platform::PortRoots roots;
  const std::string expected = "SYSTEM\\CurrentControlSet\\Enum\\" + port.instanceId() + "\\Device Parameters";
  EXPECT_EQ(platform::LatencyTimerPath(roots, port.instanceId(), ""), expected);
  // A port known only by name is found through the port list.
  EXPECT_EQ(platform::LatencyTimerPath(roots, "", "COM12"), expected);
  EXPECT_EQ(platform::LatencyTimerPath(roots, "", "COM99"), "");
  // Identifiers that would name some other key.
  EXPECT_EQ(platform::LatencyTimerPath(roots, "\\SOFTWARE", ""), "");
  EXPECT_EQ(platform::LatencyTimerPath(roots, "USB\\\\x", ""), "");
  EXPECT_EQ(platform::LatencyTimerPath(roots, std::string("USB\\a\nb"), ""), "");
  EXPECT_EQ(platform::ReadLatencyTimer(""), std::nullopt);
  EXPECT_NE(platform::WriteLatencyTimer("", 1), 0);
}

}  // namespace
}  // namespace ZEMBRA
