// A console program run as a child process with pipes to its standard input
// and from its standard output; its standard error is ours. Where
// Boost.Process builds (POSIX), the tracker uses that instead.
//
// The child gets its two pipe ends and our standard error and no other
// handle of this process. Every wait is bounded by the caller's deadline.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace ZEMBRA {
namespace platform {

class ConsoleProcess {
 public:
  using Clock = std::chrono::steady_clock;
  enum class ReadResult { Data, TimedOut, Ended };

  ConsoleProcess();
  // Terminates the program if it still runs and waits for it.
  ~ConsoleProcess();
  ConsoleProcess(const ConsoleProcess&) = delete;
  ConsoleProcess& operator=(const ConsoleProcess&) = delete;

  // Starts program (searched on the PATH unless it names a directory, ".exe"
  // added when it has no extension) with args, in workDir unless that is
  // empty. False with the reason in error.
  bool Start(const std::string& program, const std::vector<std::string>& args, const std::string& workDir,
             std::string& error);

  // Appends what the program has written, at most maxBytes, waiting until
  // something arrives, the output ends or the deadline passes.
  ReadResult Read(std::string& out, size_t maxBytes, Clock::time_point deadline);

  // Writes all of text. False with the reason in error when the program no
  // longer reads its input or the deadline passed.
  bool Write(const std::string& text, Clock::time_point deadline, std::string& error);

  // Closes the pipes, terminates the program if it still runs and waits for
  // it to go. Safe to repeat.
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The command line that hands args to a program unchanged through the C
// runtime's argument parsing: quotes where needed, backslashes doubled only
// before a quote.
std::string QuoteCommandLineArgument(const std::string& argument);

}  // namespace platform
}  // namespace ZEMBRA
