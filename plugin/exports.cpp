// The plug-in's 18 C exports: thin wrappers over SerialPort. No exception
// may cross into the engine, so each body is guarded.

#include "ZEMBRA_IMU.h"
#include "log/log.h"
#include "platform/port_enum.h"
#include "plugin/serial_port.h"
#include "protocol/commands.h"

namespace {

constexpr int kBaudRate = 1000000;

template <typename Result, typename Body>
Result Guarded(Result onFailure, Body body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    ZEMBRA::log::Stream() << "ZEMBRA_IMU: " << e.what() << std::endl;
  } catch (...) {
    ZEMBRA::log::Stream() << "ZEMBRA_IMU: unknown error" << std::endl;
  }
  return onFailure;
}

template <typename Body>
void Guarded(Body body) noexcept {
  Guarded(0, [&] {
    body();
    return 0;
  });
}

}  // namespace

using ZEMBRA_IMU::SerialPort;

namespace {
// The engine holds a SerialPort as an opaque handle.
SerialPort* Glove(ZembraImuHandle* handle) { return reinterpret_cast<SerialPort*>(handle); }
}  // namespace

extern "C" {

ZEMBRA_IMU_API ZembraImuHandle* InitDataGlove(bool advancedMode, int hardwareVersion) {
  return Guarded<ZembraImuHandle*>(
      nullptr, [&] { return reinterpret_cast<ZembraImuHandle*>(new SerialPort(advancedMode, hardwareVersion)); });
}

ZEMBRA_IMU_API void RegisterDataCallback(void* context, ZembraImuHandle* handle, ZembraImuDataCallback callback) {
  if (handle) Glove(handle)->RegisterDataCallback(context, callback);
}

ZEMBRA_IMU_API void RegisterEventCallback(ZembraImuHandle* handle, ZembraImuEventCallback callback) {
  if (handle) Glove(handle)->RegisterEventCallback(callback);
}

ZEMBRA_IMU_API bool OpenPort(ZembraImuHandle* handle, int receiverIndex, int hand) {
  if (!handle) return false;
  return Guarded(false, [&] {
    // The engine's number, kept as given: only the two codes find a receiver.
    const ZEMBRA::protocol::PluginHand code{hand};
    Glove(handle)->SetHand(code);
    const std::string tag = ZEMBRA_IMU::ReceiverTag(code, receiverIndex);
    if (tag.empty()) return false;
    for (const ZEMBRA::platform::PortEntry& port : ZEMBRA::platform::ListSerialPorts()) {
      if (port.instance_id.find(tag) != std::string::npos) return Glove(handle)->Open(port.port_name, kBaudRate);
    }
    return false;
  });
}

ZEMBRA_IMU_API void StartStreaming(ZembraImuHandle* handle) {
  if (handle) Guarded([&] { Glove(handle)->StartStreaming(); });
}

ZEMBRA_IMU_API bool ClosePort(ZembraImuHandle* handle) {
  if (!handle) return false;
  const bool closed = Guarded(false, [&] { return Glove(handle)->Close(); });
  Guarded([&] { delete Glove(handle); });
  return closed;
}

ZEMBRA_IMU_API void OnSaveCalibration(ZembraImuHandle* handle) {
  if (!handle) return;
  Guarded([&] {
    const uint8_t command = ZEMBRA::protocol::kCmdSaveCalibration;
    Glove(handle)->WriteBytes(&command, 1);
  });
}

ZEMBRA_IMU_API void OnOkPoseAlignment(ZembraImuHandle*) {}

ZEMBRA_IMU_API void OnCloseFingerAlignment(ZembraImuHandle* handle) {
  if (handle) Guarded([&] { Glove(handle)->pose().CloseFingerAlignment(); });
}

ZEMBRA_IMU_API void VibratePeriod(ZembraImuHandle* handle, int milliseconds) {
  if (handle) Guarded([&] { Glove(handle)->VibratePeriod(milliseconds); });
}

ZEMBRA_IMU_API int ChannelHoppingSpecific(ZembraImuHandle* handle, int channel) {
  if (!handle) return -1;
  return Guarded(-1, [&] { return Glove(handle)->SetChannel(channel); });
}

ZEMBRA_IMU_API int ChannelHopping(ZembraImuHandle* handle) {
  return ChannelHoppingSpecific(handle, ZEMBRA_IMU::kRandomChannel);
}

ZEMBRA_IMU_API void SetAdvancedMode(ZembraImuHandle* handle, bool enabled) {
  if (handle) Glove(handle)->pose().SetAdvancedMode(enabled);
}

ZEMBRA_IMU_API void SetHardwareVersion(ZembraImuHandle* handle, int version) {
  if (handle) Glove(handle)->pose().SetHardwareVersion(version);
}

ZEMBRA_IMU_API void SetProximalThumbOffset(ZembraImuHandle* handle, double x, double y, double z) {
  if (handle) Glove(handle)->pose().SetThumbOffset(0, x, y, z);
}

ZEMBRA_IMU_API void SetIntermediateThumbOffset(ZembraImuHandle* handle, double x, double y, double z) {
  if (handle) Glove(handle)->pose().SetThumbOffset(1, x, y, z);
}

ZEMBRA_IMU_API void SetDistalThumbOffset(ZembraImuHandle* handle, double x, double y, double z) {
  if (handle) Glove(handle)->pose().SetThumbOffset(2, x, y, z);
}

ZEMBRA_IMU_API void SetThumbSlerpRate(ZembraImuHandle* handle, double first, double second) {
  if (handle) Glove(handle)->pose().SetThumbSlerpRate(first, second);
}
}
