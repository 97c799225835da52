#include <pthread.h>
#include <signal.h>

#include "sim/termination_signals.h"

namespace ZEMBRA {
namespace sim {

TerminationSignals::TerminationSignals() {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
}

TerminationSignals::~TerminationSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

bool TerminationSignals::Wait(std::chrono::milliseconds timeout) {
  const long ms = long(timeout.count() > 0 ? timeout.count() : 0);
  const timespec wait = {time_t(ms / 1000), (ms % 1000) * 1000000L};
  return sigtimedwait(&signals_, nullptr, &wait) > 0;
}

}  // namespace sim
}  // namespace ZEMBRA
