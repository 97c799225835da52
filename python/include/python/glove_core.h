// One glove as the Python module holds it: a GloveSession on one receiver
// whose poses and events go into bounded queues for the Python threads to
// take. On the driver's threads nothing but a copy into a queue happens:
// no Python object is touched and the interpreter's lock is never taken.
//
// Threads: the owner calls Open once, then any thread may call the
// commands, Close and the queues at any time (the commands and Close are
// serialised). Poses arrive on the driver's reader thread, events on its
// pairing thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>

#include "driver/client/glove_session.h"
#include "python/delivery_queue.h"
#include "zembra/ZEMBRAIMU.h"

namespace ZEMBRA {
namespace python {

constexpr int kFingerCount = 5;

struct DeliveredPose {
  Pose pose{};
  // The driver's finger values of this pose, in its order: 0 pinky, 1 ring,
  // 2 middle, 3 index, 4 thumb; degrees.
  std::array<double, kFingerCount> fingers{};
  // When the driver delivered it: seconds of the monotonic clock
  // (CLOCK_MONOTONIC, the clock of Python's time.monotonic()).
  double time = 0;
};

struct DeliveredEvent {
  IMUEvent event{};
  double time = 0;  // as DeliveredPose::time
};

struct GloveOptions {
  size_t queueSize = 1000;  // poses kept for the reader; at least 1
  size_t eventQueueSize = 100;
  bool advanced = false;  // the driver's advanced mode (measured finger spreads)
};

// Seconds of the monotonic clock now.
double MonotonicSeconds();

class GloveCore final : private client::SessionListener {
 public:
  explicit GloveCore(const GloveOptions& options);
  // Closes.
  ~GloveCore() override;
  GloveCore(const GloveCore&) = delete;
  GloveCore& operator=(const GloveCore&) = delete;

  // Opens port.port_name for port.hand, or, when the name is empty, the
  // first receiver of port.hand that discovery finds. Blocks for the
  // channel set-up (the driver waits up to 10 s for the receiver's channel
  // report). Returns 0, or the driver's error: 7 no receiver serves the
  // hand; 4 the port was refused (missing, held, not permitted); 6 no
  // channel report came. Called once.
  EIMUError Open(const PortInfo& port);
  // Stops streaming or pairing, closes the port, releases the driver and
  // closes both queues, which ends every waiting Take. Waits for a command
  // running on another thread; then returns at once when called again.
  void Close();
  bool closed() const { return closed_.load(); }

  // The port as opened: its four strings, the baud rate and the hand.
  const PortInfo& port() const { return port_; }
  DeliveryQueue<DeliveredPose>& poses() { return poses_; }
  DeliveryQueue<DeliveredEvent>& events() { return events_; }

  // The driver's commands, on the calling thread. Each returns 5
  // (IMUError_PortNotOpen) once the glove is closed.
  // One vibration command when period is 0; else one every 10 ms for the
  // period, blocking the caller for it. 0, or 6 when a command was not
  // written.
  EIMUError Vibrate(std::chrono::milliseconds period);
  // 0, or 6 when the command was not written.
  EIMUError SaveCalibration();
  // Straightens the long fingers' sideways angles in the last pose.
  EIMUError AlignFingers();
  // The bend of finger index (0 pinky ... 4 thumb) now: 0, or 9 for another
  // index.
  EIMUError FingerValue(int index, double& degrees);
  // Stops streaming and asks the receiver to pair a glove on channel;
  // IMUEvent_Paired arrives in events() once the receiver confirms. 0, 4
  // when the port is refused, 6 when a command was not written.
  EIMUError Pair(int channel);

 private:
  void OnPose(const Pose& pose) override;
  void OnEvent(const IMUEvent& event) override;

  PortInfo port_;
  DeliveryQueue<DeliveredPose> poses_;
  DeliveryQueue<DeliveredEvent> events_;
  std::mutex commandMutex_;  // held by Open, Close and every command
  // Made before the driver can call back, released only after its threads
  // have ended; null once closed.
  std::unique_ptr<client::GloveSession> session_;
  std::atomic<bool> closed_{false};
};

}  // namespace python
}  // namespace ZEMBRA
