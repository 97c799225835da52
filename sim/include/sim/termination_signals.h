// SIGINT and SIGTERM as something the simulator program can wait for,
// without a signal handler or global flag.
#pragma once

#include <signal.h>

#include <chrono>

namespace ZEMBRA {
namespace sim {

class TerminationSignals {
 public:
  // Blocks both signals in the calling thread; threads started afterwards
  // inherit the mask, so the signals stay pending until Wait takes them.
  TerminationSignals();
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // True when a termination signal arrived within the timeout.
  bool Wait(std::chrono::milliseconds timeout);

 private:
  sigset_t signals_;
  sigset_t previous_;
};

}  // namespace sim
}  // namespace ZEMBRA
