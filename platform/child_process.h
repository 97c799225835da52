// The little the console dialogue needs from the operating system beyond
// what Boost.Process offers.
#pragma once

#include <functional>

namespace ZEMBRA {
namespace platform {

// Ends a child process at once. Its owner still reaps it.
void KillProcess(int processId);

// Runs body with the broken-pipe signal held off the calling thread, so that
// writing to a pipe whose reader has gone fails with an error instead of
// ending the process. A signal raised meanwhile is discarded; the thread's
// signal mask is restored afterwards. No process-wide handler is installed.
void RunWithoutBrokenPipeSignal(const std::function<void()>& body);

}  // namespace platform
}  // namespace ZEMBRA
