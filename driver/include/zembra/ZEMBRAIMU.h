/// @file
/// Public interface of the glove driver library ZEMBRAIMU.
///
/// The library exports two C functions, InitDataGlove and UnInit; every other
/// operation is a virtual call on the IZEMBRAIMU object InitDataGlove returns.
/// One driver object serves one glove (one hand, one receiver), or in mode 4
/// the two wrist trackers.
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

/// Result of an operation, written through an EIMUError& out-parameter.
/// Each operation says which values it writes.
enum EIMUError : int32_t {
  IMUError_None = 0,                 ///< success
  IMUError_InvalidHand = 1,          ///< the hand is neither Hand_Left nor Hand_Right
  IMUError_ProcessFailed = 2,        ///< lighthouse_console could not be started
  IMUError_FileOpenFailed = 3,       ///< the tracker configuration could not be read or edited
  IMUError_PortAccessDenied = 4,     ///< the port is held, missing or not permitted, or already used by this object
  IMUError_PortNotOpen = 5,          ///< the port is closed (for ConfigTracker: the file was not deleted)
  IMUError_OperationFailed = 6,      ///< a command, a line setting, the channel report or a tracker operation failed
  IMUError_PortNotFound = 7,         ///< no receiver serves the hand
  IMUError_RegistryWriteFailed = 8,  ///< the latency timer could not be written
  IMUError_IndexOutOfRange = 9,      ///< a finger index outside 0 to 4
};

/// The events a driver raises through IZEMBRAIMUEventHandler::OnReceivedIMUEvent.
enum IMUEventType : int32_t {
  IMUEvent_LowBattery = 3,           ///< the glove's battery is low (not raised by this driver)
  IMUEvent_BatteryFull = 4,          ///< the glove's battery is full (not raised by this driver)
  IMUEvent_Paired = 5,               ///< the receiver confirmed a pairing (pairing thread)
  IMUEvent_MagneticAbnormal = 6,     ///< magnetic disturbance (not raised by this driver)
  IMUEvent_TrackerConnected = 7,     ///< a wrist tracker came (mode 4)
  IMUEvent_TrackerDisconnected = 8,  ///< a wrist tracker went (mode 4)
};

/// One event: what happened, to which hand.
struct IMUEvent {
  int32_t type;   ///< an IMUEventType code
  HandType hand;  ///< the hand it concerns
};
static_assert(sizeof(IMUEvent) == 8, "IMUEvent is two 32-bit fields");

/// One serial port. DetectGlovePort fills the four strings; the client fills
/// baud_rate and hand.
struct PortInfo {
  std::string port_name;        ///< the device to open (on Linux a /dev path)
  std::string description;      ///< the receiver's name
  std::string hardware_id;      ///< the USB hardware identifier
  std::string instance_id;      ///< the device instance identifier; carries "LH" or "RH"
  int32_t baud_rate = 0;        ///< line speed for OpenPort and StartPairing (1000000)
  HandType hand = HandType(0);  ///< the glove this port is for
};

/// Implemented by the client. Once registered the driver owns the object and
/// destroys it in UnregisterIMUDataCallback. Callbacks run on driver threads
/// (the reader thread for poses, the pairing thread for IMUEvent_Paired, the
/// calling thread for tracker events), one at a time, and must not call
/// ClosePort or UnInit of the same driver.
class IZEMBRAIMUEventHandler {
 public:
  virtual ~IZEMBRAIMUEventHandler() = default;
  /// One pose, on the reader thread; context as given at registration.
  virtual void OnReceivedIMUData(Pose pose, void* context) = 0;
  /// One event; context as given at registration.
  virtual void OnReceivedIMUEvent(IMUEvent event, void* context) = 0;
};

/// The driver. Operations run on the caller's thread; the slot order is part
/// of the binary interface and must not change. err is written as each
/// operation says; 0 is success.
///
/// Order of calls: InitDataGlove, RegisterIMUDataCallback, DetectGlovePort,
/// OpenPort (or StartPairing), the commands, ClosePort, UnInit. A closed
/// object is not opened again: make a new one.
class IZEMBRAIMU {
 public:
  virtual ~IZEMBRAIMU() = default;  ///< through UnInit
  /// Finds the receiver of info.hand (Hand_Left or Hand_Right) and fills the
  /// four strings of info. err: 0, or 7 when no receiver serves the hand.
  virtual void DetectGlovePort(EIMUError& err, PortInfo& info) = 0;
  /// Opens info.port_name, waits for the receiver's channel report (at most
  /// 10 s), puts the link on the quietest channel for the hand and starts the
  /// reader thread, on which poses arrive. err: left as given on success; 4
  /// when the port is refused (held elsewhere, missing, no permission) or this
  /// object already had one; 6 when a line setting was refused or no report
  /// came in time or it did not parse.
  virtual void OpenPort(EIMUError& err, PortInfo info) = 0;
  /// Asks the glove to store its calibration. err: 0, or 6 when the command
  /// was not written.
  virtual void OnSaveCalibration(EIMUError& err) = 0;
  /// Opens the port and asks the receiver to pair a glove on channel; the
  /// confirmation arrives later as the event IMUEvent_Paired on the pairing
  /// thread. err: 0 when the request went out; 4 when the port is open on
  /// this object or cannot be opened; 6 when a line setting or a command byte
  /// was refused. May follow a ClosePort on the same object.
  virtual void StartPairing(int channel, PortInfo info, EIMUError& err) = 0;
  /// Returns the receiver to its channel scan. err: 0, 5 without an open
  /// port, 6 when the command was not written.
  virtual void SwitchToRSSIScan(EIMUError& err) = 0;
  /// Sets the receiver's USB latency timer to 1 ms. err: 0 (also when the
  /// receiver has no such setting), or 8 when writing it failed.
  virtual void SetLatencyTimer(PortInfo info, EIMUError& err) = 0;
  /// The bend of finger index (0 pinky ... 4 thumb) in degrees. err: 0, or 9
  /// for another index (the result is then 0).
  virtual double GetFingerValue(int index, EIMUError& err) = 0;
  /// One vibration command. err: 0, or 6 when it was not written.
  virtual void Vibrate(EIMUError& err) = 0;
  /// A vibration command every 10 ms for the period; blocks the caller for
  /// the whole period. err: 0, or 6 once a command was not written.
  virtual void VibratePeriod(EIMUError& err, int milliseconds) = 0;
  /// Aligns each long finger's sideways angle in the last pose to straight.
  virtual void OnOkPoseAlignment() = 0;
  /// Switches advanced mode (measured finger spreads). err: 0.
  virtual void SetAdvancedMode(EIMUError& err, bool enabled) = 0;
  /// Takes ownership of *handler and keeps context for the callbacks. An
  /// earlier handler is replaced, not destroyed. Register before OpenPort or
  /// StartPairing: the driver's threads read the handler without a lock. In
  /// mode 4 this also reports the trackers already connected, on this thread.
  virtual void RegisterIMUDataCallback(IZEMBRAIMUEventHandler*& handler, void* context) = 0;
  /// Stops streaming or pairing, closes the port and joins the driver's
  /// threads; never call it from a callback. err: 0; 4 when no port was ever
  /// opened; 5 when it is closed already; 6 when closing failed.
  virtual void ClosePort(EIMUError& err) = 0;
  /// Mode 4: sets the hand's tracker model through lighthouse_console. err:
  /// 0; 1 bad hand; 2 the console could not be started; 3 the configuration
  /// could not be read or edited; 4 it could not be written; 5 it was not
  /// deleted; 6 no tracker runtime or serial, or the console failed.
  virtual void ConfigTracker(EIMUError& err, HandType hand) = 0;
  /// Mode 4: handles pending tracker events (events 7 and 8 on this thread);
  /// waits a few milliseconds when there were none. err is not written.
  virtual void CheckTrackerStatus(EIMUError& err) = 0;
  /// Mode 4: makes the hand's tracker identify itself. err as ConfigTracker's
  /// (0, 1, 2 or 6).
  virtual void IdentifyTracker(EIMUError& err, HandType hand) = 0;
  /// Destroys the registered handler; UnInit calls it.
  virtual void UnregisterIMUDataCallback() = 0;
};

}  // namespace ZEMBRA

extern "C" {
/// Makes a driver object; never returns null. mode: 1 glove link, 2 glove
/// link in advanced mode, 4 tracker monitoring. err: 0, or 6 when mode 4
/// cannot start OpenVR (the object then has no tracker functions).
ZEMBRAIMU_API ZEMBRA::IZEMBRAIMU* InitDataGlove(ZEMBRA::EIMUError& err, int mode);
/// Stops the driver's threads, destroys the registered handler and the
/// driver, and nulls the pointer. A null pointer is left alone.
ZEMBRAIMU_API void UnInit(ZEMBRA::IZEMBRAIMU*& driver);
}
