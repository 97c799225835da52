// The terminal zembra-stream runs in (one file per system): single keys
// without Enter while standard input is a terminal, and the interrupt and
// termination signals as an event rather than a handler.
//
// Threads: construct it on the main thread before any other starts, so
// that every thread inherits the blocked signals.
#pragma once

#include <memory>

namespace ZEMBRA {
namespace stream {

class Console {
 public:
  Console();
  ~Console();  // the terminal as it was
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  static constexpr int kTimeout = -1;
  static constexpr int kStop = -2;  // interrupted or told to end
  // Waits at most milliseconds: a key, kTimeout or kStop.
  int Wait(int milliseconds);

 private:
  int signals_ = -1;
  bool keys_ = false;  // standard input is a terminal in single-key mode
  bool inputOpen_ = true;
  struct Saved;
  std::unique_ptr<Saved> saved_;
};

}  // namespace stream
}  // namespace ZEMBRA
