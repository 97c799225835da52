// The simulated receiver's serial port: a pseudo-terminal pair whose slave
// side the host opens as if it were the receiver's port. The operating
// system calls live in pseudo_terminal_posix.cpp.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ZEMBRA {
namespace sim {

// Owns one file descriptor; closes it when destroyed.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { Reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset();

 private:
  int fd_ = -1;
};

// Wakes a thread that waits in WaitForHost from any other thread.
class Waker {
 public:
  Waker();  // throws std::system_error
  void Notify();
  void Drain();
  int fd() const { return read_.get(); }

 private:
  FileDescriptor read_;
  FileDescriptor write_;
};

class PseudoTerminal {
 public:
  // Opens the pair, puts the slave side in raw mode (no echo, no line
  // editing) before anything can be written, and keeps one slave
  // descriptor open for the object's lifetime: the master then never sees
  // a hang-up while a host closes and reopens the port. Throws
  // std::system_error when the system has no pseudo-terminal to give.
  PseudoTerminal();

  const std::string& SlavePath() const { return path_; }
  bool IsOpen() const { return master_.valid(); }

  enum class WriteStatus {
    Written,  // the whole chunk
    Dropped,  // nothing: the host's input queue is full
    Partial,  // the system took only part of the chunk
    Closed,   // the pair is closed or broken
  };
  // Non-blocking. A chunk that would leave more than queueLimit bytes
  // waiting for the host is dropped whole, as a receiver's full FIFO would
  // lose it, instead of being cut in the middle.
  WriteStatus Write(const uint8_t* data, size_t size, size_t queueLimit);

  // Bytes the host wrote, without waiting; 0 when none are waiting, and 0
  // when the read found that the host changed the port's line settings
  // (TakeLineChange then says so; bytes may follow).
  size_t Read(uint8_t* buffer, size_t capacity);

  // True once after a Read found that the host changed the port's line
  // settings (it does so right after every open).
  bool TakeLineChange() {
    const bool changed = lineChanged_;
    lineChanged_ = false;
    return changed;
  }

  // Bytes written by the receiver and not yet read by the host.
  size_t QueuedForHost() const;

  // Closes both sides: the host's reads then end and the port disappears.
  void Close();

  // Waits until the host has written something, the waker fires or the
  // deadline passes. With the pair closed only the waker and the deadline
  // end the wait.
  void WaitForHost(const Waker& waker, std::chrono::steady_clock::time_point deadline) const;

 private:
  FileDescriptor master_;
  bool lineChanged_ = false;
  FileDescriptor slave_;
  std::string path_;
};

}  // namespace sim
}  // namespace ZEMBRA
