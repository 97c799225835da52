#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>

#include "platform/child_process.h"

namespace ZEMBRA {
namespace platform {

void KillProcess(int processId) {
  if (processId > 0) ::kill(processId, SIGKILL);
}

namespace {

// Blocks SIGPIPE for this thread; on the way out takes back a SIGPIPE that
// arrived meanwhile (a write to a closed pipe raises it on the writing
// thread) and restores the previous mask.
class BrokenPipeHold {
 public:
  BrokenPipeHold() {
    sigemptyset(&pipeOnly_);
    sigaddset(&pipeOnly_, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    alreadyPending_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeOnly_, &previous_);
  }

  ~BrokenPipeHold() {
    if (!alreadyPending_) {
      sigset_t pending;
      sigemptyset(&pending);
      if (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
        const timespec noWait{0, 0};
        while (sigtimedwait(&pipeOnly_, nullptr, &noWait) == -1 && errno == EINTR) {
        }
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }

  BrokenPipeHold(const BrokenPipeHold&) = delete;
  BrokenPipeHold& operator=(const BrokenPipeHold&) = delete;

 private:
  sigset_t pipeOnly_;
  sigset_t previous_;
  bool alreadyPending_ = false;
};

}  // namespace

void RunWithoutBrokenPipeSignal(const std::function<void()>& body) {
  BrokenPipeHold hold;
  body();
}

}  // namespace platform
}  // namespace ZEMBRA
