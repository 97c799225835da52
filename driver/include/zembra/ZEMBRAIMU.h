// Public interface of the glove driver library ZEMBRAIMU.
//
// The library exports two C functions, InitDataGlove and UnInit; every other
// operation is a virtual call on the IZEMBRAIMU object InitDataGlove returns.
// One driver object serves one glove (one hand, one receiver), or in mode 4
// the two wrist trackers.
#pragma once

#include <cstdint>
#include <string>

#include "zembra/Pose.h"

#if defined(_WIN32)
#if defined(ZEMBRAIMU_EXPORTS)
#define ZEMBRAIMU_API __declspec(dllexport)
#else
#define ZEMBRAIMU_API __declspec(dllimport)
#endif
#else
#define ZEMBRAIMU_API __attribute__((visibility("default")))
#endif

namespace ZEMBRA {

// Result of an operation, written through an EIMUError& out-parameter.
enum EIMUError : int32_t {
  IMUError_None = 0,
  IMUError_InvalidHand = 1,
  IMUError_ProcessFailed = 2,
  IMUError_FileOpenFailed = 3,
  IMUError_PortAccessDenied = 4,
  IMUError_PortNotOpen = 5,
  IMUError_OperationFailed = 6,
  IMUError_PortNotFound = 7,
  IMUError_RegistryWriteFailed = 8,
  IMUError_IndexOutOfRange = 9,
};

enum IMUEventType : int32_t {
  IMUEvent_LowBattery = 3,
  IMUEvent_BatteryFull = 4,
  IMUEvent_Paired = 5,
  IMUEvent_MagneticAbnormal = 6,
  IMUEvent_TrackerConnected = 7,
  IMUEvent_TrackerDisconnected = 8,
};

struct IMUEvent {
  int32_t type;  // an IMUEventType code
  HandType hand;
};
static_assert(sizeof(IMUEvent) == 8, "IMUEvent is two 32-bit fields");

// One serial port. DetectGlovePort fills the four strings; the client fills
// baud_rate and hand.
struct PortInfo {
  std::string port_name;
  std::string description;
  std::string hardware_id;
  std::string instance_id;
  int32_t baud_rate = 0;
  HandType hand = HandType(0);
};

// Implemented by the client. Once registered the driver owns the object and
// destroys it in UnregisterIMUDataCallback. Callbacks run on driver threads
// and must not call ClosePort or UnInit of the same driver.
class IZEMBRAIMUEventHandler {
 public:
  virtual ~IZEMBRAIMUEventHandler() = default;
  virtual void OnReceivedIMUData(Pose pose, void* context) = 0;
  virtual void OnReceivedIMUEvent(IMUEvent event, void* context) = 0;
};

// The driver. Operations run on the caller's thread; the slot order is part
// of the binary interface and must not change.
class IZEMBRAIMU {
 public:
  virtual ~IZEMBRAIMU() = default;
  virtual void DetectGlovePort(EIMUError& err, PortInfo& info) = 0;
  // Blocks until the receiver's channel report has arrived (bounded wait).
  virtual void OpenPort(EIMUError& err, PortInfo info) = 0;
  virtual void OnSaveCalibration(EIMUError& err) = 0;
  virtual void StartPairing(int channel, PortInfo info, EIMUError& err) = 0;
  virtual void SwitchToRSSIScan(EIMUError& err) = 0;
  virtual void SetLatencyTimer(PortInfo info, EIMUError& err) = 0;
  virtual double GetFingerValue(int index, EIMUError& err) = 0;
  virtual void Vibrate(EIMUError& err) = 0;
  // Blocks the caller for the whole period.
  virtual void VibratePeriod(EIMUError& err, int milliseconds) = 0;
  virtual void OnOkPoseAlignment() = 0;
  virtual void SetAdvancedMode(EIMUError& err, bool enabled) = 0;
  // Takes ownership of *handler. An earlier handler is replaced, not destroyed.
  virtual void RegisterIMUDataCallback(IZEMBRAIMUEventHandler*& handler, void* context) = 0;
  // Joins the reader thread; never call it from a callback.
  virtual void ClosePort(EIMUError& err) = 0;
  virtual void ConfigTracker(EIMUError& err, HandType hand) = 0;
  virtual void CheckTrackerStatus(EIMUError& err) = 0;
  virtual void IdentifyTracker(EIMUError& err, HandType hand) = 0;
  virtual void UnregisterIMUDataCallback() = 0;
};

}  // namespace ZEMBRA

extern "C" {
// Never returns null. mode: 1 glove link, 2 glove link in advanced mode,
// 4 tracker monitoring. err is 0, or 6 when mode 4 cannot start OpenVR.
ZEMBRAIMU_API ZEMBRA::IZEMBRAIMU* InitDataGlove(ZEMBRA::EIMUError& err, int mode);
// Unregisters (destroys) the handler, destroys the driver and nulls the
// pointer. A null pointer is left alone.
ZEMBRAIMU_API void UnInit(ZEMBRA::IZEMBRAIMU*& driver);
}
