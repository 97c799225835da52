// The little the console dialogue needs from the operating system beyond
// what Boost.Process offers.
#pragma once

#include <functional>

namespace ZEMBRA {
namespace platform {

// Ends a child process at once. Its owner still reaps it.
void KillProcess(int processId);

// A pipe whose two ends are close-on-exec from the start, so that no child
// process started meanwhile by another thread inherits them. A child that
// should have an end gets it as a standard stream, which the launch sets up.
// Returns 0, or the system's error number.
int MakeCloseOnExecPipe(int& readEnd, int& writeEnd);

// For a freshly forked child, before it runs its program: every descriptor
// above standard error becomes close-on-exec, so the program gets only its
// three standard streams, whatever the parent (or a library in it) left
// inheritable. Async-signal-safe.
void CloseInheritedDescriptorsAtExec();

// Runs body with the broken-pipe signal held off the calling thread, so that
// writing to a pipe whose reader has gone fails with an error instead of
// ending the process. A signal raised meanwhile is discarded; the thread's
// signal mask is restored afterwards. No process-wide handler is installed.
void RunWithoutBrokenPipeSignal(const std::function<void()>& body);

}  // namespace platform
}  // namespace ZEMBRA
