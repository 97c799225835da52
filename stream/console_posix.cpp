#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include "console.h"

namespace ZEMBRA {
namespace stream {

struct Console::Saved {
  termios mode;
};

Console::Console() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signals_ = ::signalfd(-1, &set, SFD_CLOEXEC);
  if (::isatty(STDIN_FILENO)) {
    saved_ = std::make_unique<Saved>();
    if (::tcgetattr(STDIN_FILENO, &saved_->mode) == 0) {
      termios keys = saved_->mode;
      keys.c_lflag &= tcflag_t(~(ICANON | ECHO));
      keys.c_cc[VMIN] = 1;
      keys.c_cc[VTIME] = 0;
      keys_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &keys) == 0;
    }
  }
}

Console::~Console() {
  if (keys_) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_->mode);
  if (signals_ >= 0) ::close(signals_);
}

int Console::Wait(int milliseconds) {
  pollfd fds[2] = {{signals_, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
  const nfds_t count = keys_ && inputOpen_ ? 2 : 1;
  if (::poll(fds, count, milliseconds) <= 0) return kTimeout;
  if (fds[0].revents & POLLIN) return kStop;
  if (count > 1 && fds[1].revents & (POLLIN | POLLHUP)) {
    unsigned char key = 0;
    if (::read(STDIN_FILENO, &key, 1) == 1) return key;
    inputOpen_ = false;
  }
  return kTimeout;
}

}  // namespace stream
}  // namespace ZEMBRA
