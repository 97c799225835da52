// One run of a console program as a child process: commands go to its
// standard input, its standard output comes back line by line. Every wait is
// bounded, and the child is terminated and reaped when the session closes or
// goes, whatever happened before.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ZEMBRA {
namespace tracker {

// Moves the first whole line of pending, without its line end, into line;
// false while pending holds no line end yet. Both systems' sessions split
// the console's output with it.
inline bool TakeLine(std::string& pending, std::string& line) {
  const size_t end = pending.find('\n');
  if (end == std::string::npos) return false;
  line.assign(pending, 0, end);
  pending.erase(0, end + 1);
  return true;
}

class ConsoleSession {
 public:
  using Clock = std::chrono::steady_clock;
  enum class ReadStatus {
    Line,      // a line arrived (its line feed removed, a carriage return kept)
    Ended,     // the output ended: the program closed it or exited
    TimedOut,  // nothing complete arrived before the deadline
  };

  ConsoleSession();
  ~ConsoleSession();
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;

  // Starts program, searched on the PATH unless it contains a directory, with
  // its standard error left to ours. workDir empty: our current directory.
  // On failure returns false with the reason in error.
  bool Start(const std::string& program, const std::vector<std::string>& args, const std::filesystem::path& workDir,
             std::string& error);

  ReadStatus ReadLine(std::string& line, Clock::time_point deadline);

  // Writes all of text. False with the reason in error when the program no
  // longer reads its input or the deadline passed; never raises a signal.
  bool Write(const std::string& text, Clock::time_point deadline, std::string& error);

  // Terminates the program if it still runs and reaps it. Safe to repeat.
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tracker
}  // namespace ZEMBRA
