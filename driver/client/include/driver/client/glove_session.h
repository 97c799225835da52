// One driver object on one receiver, held like any other resource: the
// constructor makes the driver (InitDataGlove) and registers the one event
// handler, which forwards poses and events to the owner's SessionListener;
// the destructor closes the port if the session opened one and releases
// the driver (UnInit). The usual life: Detect, then Open (or StartPairing),
// the commands, Close. As with the driver, a session that has tried to open
// a port is not opened again: make a new one.
//
// Threads: the owner calls the session from one thread at a time. The
// listener is called on the driver's threads (see SessionListener) and must
// outlive the session.
#pragma once

#include "zembra/ZEMBRAIMU.h"

namespace ZEMBRA {
namespace client {

// InitDataGlove's modes.
constexpr int kGloveMode = 1;
constexpr int kAdvancedGloveMode = 2;  // glove link with measured finger spreads
constexpr int kTrackerMode = 4;        // the wrist trackers through OpenVR

class SessionListener {
 public:
  virtual ~SessionListener() = default;
  // One pose, on the driver's reader thread; the next packet waits for it.
  virtual void OnPose(const Pose& pose) = 0;
  // One event: IMUEvent_Paired on the pairing thread; in tracker mode the
  // tracker events on the thread that constructs the session (trackers
  // already connected) or calls CheckTrackerStatus.
  virtual void OnEvent(const IMUEvent& event) { (void)event; }
};

class GloveSession {
 public:
  explicit GloveSession(SessionListener& listener, int mode = kGloveMode);
  ~GloveSession();
  GloveSession(const GloveSession&) = delete;
  GloveSession& operator=(const GloveSession&) = delete;

  // InitDataGlove's result: 0, or 6 in tracker mode without OpenVR (the
  // session then has no tracker functions).
  EIMUError initError() const { return initError_; }

  // Finds the hand's receiver as the driver does (the first in port order)
  // and fills info: its four strings, baud_rate kBaudRate and the hand.
  // Returns 0, or 7 when no receiver serves the hand (info then holds only
  // the hand and the baud rate).
  EIMUError Detect(HandType hand, PortInfo& info);
  // Opens info's receiver for info.hand and starts streaming: poses reach
  // the listener from now on. Blocks for the channel set-up, at most the
  // driver's wait for the receiver's channel report (10 s). Returns 0; 4
  // when the port is refused (missing, held, not permitted) or this session
  // already tried one; 6 when a line setting failed or no report came.
  EIMUError Open(const PortInfo& info);
  // Opens info's receiver and asks it to pair a glove on channel; the
  // listener gets IMUEvent_Paired once the receiver confirms. Returns as
  // the driver's StartPairing: 0, 4 or 6.
  EIMUError StartPairing(int channel, const PortInfo& info);
  // Returns the receiver to its channel scan: 0, 5 without an open port, 6.
  EIMUError SwitchToRSSIScan();
  // Sets the receiver's USB latency timer to 1 ms: 0, or 8 when refused.
  EIMUError SetLatencyTimer(const PortInfo& info);
  // Stops streaming or pairing, closes the port and joins the driver's
  // threads; never from a listener call. Returns 0; 4 when no port was
  // opened; 5 when it is closed already; 6 when closing failed.
  EIMUError Close();

  // The driver, for the other commands (Vibrate, VibratePeriod,
  // OnSaveCalibration, OnOkPoseAlignment, GetFingerValue, SetAdvancedMode
  // and the tracker operations). Open, close, register and release only
  // through the session.
  IZEMBRAIMU& driver() { return *driver_; }

 private:
  class Handler;

  // The driver learns the hand only from its discovery.
  void UseHand(HandType hand);

  IZEMBRAIMU* driver_ = nullptr;
  EIMUError initError_ = IMUError_None;
  HandType hand_ = HandType(0);  // the hand the driver was told
  bool portUsed_ = false;        // Open or StartPairing ran since the last Close
};

}  // namespace client
}  // namespace ZEMBRA
