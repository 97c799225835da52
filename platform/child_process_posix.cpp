#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include "platform/child_process.h"

namespace ZEMBRA {
namespace platform {

void KillProcess(int processId) {
  if (processId > 0) ::kill(processId, SIGKILL);
}

void CloseInheritedDescriptorsAtExec() {
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
  // Kernels before 5.11: one descriptor at a time, up to a sane bound.
  long limit = ::sysconf(_SC_OPEN_MAX);
  if (limit < 0 || limit > 65536) limit = 65536;
  for (int fd = 3; fd < limit; ++fd) {
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
  }
}

int MakeCloseOnExecPipe(int& readEnd, int& writeEnd) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
  readEnd = fds[0];
  writeEnd = fds[1];
  return 0;
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
