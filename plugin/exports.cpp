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

extern "C" {

ZEMBRA_IMU_API SerialPort* InitDataGlove(bool advancedMode, int hardwareVersion) {
  return Guarded<SerialPort*>(nullptr, [&] { return new SerialPort(advancedMode, hardwareVersion); });
}

ZEMBRA_IMU_API void RegisterDataCallback(void* context, SerialPort* handle, ZembraImuDataCallback callback) {
  if (handle) handle->RegisterDataCallback(context, callback);
}

ZEMBRA_IMU_API void RegisterEventCallback(SerialPort* handle, ZembraImuEventCallback callback) {
  if (handle) handle->RegisterEventCallback(callback);
}

ZEMBRA_IMU_API bool OpenPort(SerialPort* handle, int receiverIndex, int hand) {
  if (!handle) return false;
  return Guarded(false, [&] {
    handle->SetHand(hand);
    const std::string tag = ZEMBRA_IMU::ReceiverTag(hand, receiverIndex);
    if (tag.empty()) return false;
    for (const ZEMBRA::platform::PortEntry& port : ZEMBRA::platform::ListSerialPorts()) {
      if (port.instance_id.find(tag) != std::string::npos) return handle->Open(port.port_name, kBaudRate);
    }
    return false;
  });
}

ZEMBRA_IMU_API void StartStreaming(SerialPort* handle) {
  if (handle) Guarded([&] { handle->StartStreaming(); });
}

ZEMBRA_IMU_API bool ClosePort(SerialPort* handle) {
  if (!handle) return false;
  const bool closed = Guarded(false, [&] { return handle->Close(); });
  Guarded([&] { delete handle; });
  return closed;
}

ZEMBRA_IMU_API void OnSaveCalibration(SerialPort* handle) {
  if (!handle) return;
  Guarded([&] {
    const uint8_t command = ZEMBRA::protocol::kCmdSaveCalibration;
    handle->WriteBytes(&command, 1);
  });
}

ZEMBRA_IMU_API void OnOkPoseAlignment(SerialPort*) {}

ZEMBRA_IMU_API void OnCloseFingerAlignment(SerialPort* handle) {
  if (handle) Guarded([&] { handle->pose().CloseFingerAlignment(); });
}

ZEMBRA_IMU_API void VibratePeriod(SerialPort* handle, int milliseconds) {
  if (handle) Guarded([&] { handle->VibratePeriod(milliseconds); });
}

ZEMBRA_IMU_API int ChannelHoppingSpecific(SerialPort* handle, int channel) {
  if (!handle) return -1;
  return Guarded(-1, [&] { return handle->SetChannel(channel); });
}

ZEMBRA_IMU_API int ChannelHopping(SerialPort* handle) { return ChannelHoppingSpecific(handle, ZEMBRA_IMU::kRandomChannel); }

ZEMBRA_IMU_API void SetAdvancedMode(SerialPort* handle, bool enabled) {
  if (handle) handle->pose().SetAdvancedMode(enabled);
}

ZEMBRA_IMU_API void SetHardwareVersion(SerialPort* handle, int version) {
  if (handle) handle->pose().SetHardwareVersion(version);
}

ZEMBRA_IMU_API void SetProximalThumbOffset(SerialPort* handle, double x, double y, double z) {
  if (handle) handle->pose().SetThumbOffset(0, x, y, z);
}

ZEMBRA_IMU_API void SetIntermediateThumbOffset(SerialPort* handle, double x, double y, double z) {
  if (handle) handle->pose().SetThumbOffset(1, x, y, z);
}

ZEMBRA_IMU_API void SetDistalThumbOffset(SerialPort* handle, double x, double y, double z) {
  if (handle) handle->pose().SetThumbOffset(2, x, y, z);
}

ZEMBRA_IMU_API void SetThumbSlerpRate(SerialPort* handle, double first, double second) {
  if (handle) handle->pose().SetThumbSlerpRate(first, second);
}

}
