// The console session over the platform layer's child process (Boost.Process
// does not build for Windows with MinGW).
#include "driver/tracker/console_session.h"
#include "platform/console_process.h"

namespace ZEMBRA {
namespace tracker {

namespace {
// A console line is short; a program that never ends its line must not make
// us buffer without end, so a longer run of bytes counts as a line.
constexpr size_t kMaxLineBytes = 64 * 1024;
}  // namespace

struct ConsoleSession::Impl {
  platform::ConsoleProcess process;
  std::string pending;  // bytes read beyond the last line handed out
  bool ended = false;
};

ConsoleSession::ConsoleSession() = default;

ConsoleSession::~ConsoleSession() { Close(); }

bool ConsoleSession::Start(const std::string& program, const std::vector<std::string>& args,
                           const std::filesystem::path& workDir, std::string& error) {
  Close();
  auto impl = std::make_unique<Impl>();
  if (!impl->process.Start(program, args, workDir.empty() ? std::string() : workDir.u8string(), error)) return false;
  impl_ = std::move(impl);
  return true;
}

ConsoleSession::ReadStatus ConsoleSession::ReadLine(std::string& line, Clock::time_point deadline) {
  if (!impl_) return ReadStatus::Ended;
  Impl& s = *impl_;
  while (!TakeLine(s.pending, line)) {
    if (s.ended || s.pending.size() >= kMaxLineBytes) {
      if (s.pending.empty()) return ReadStatus::Ended;
      // The last, unterminated line, or an overlong run of bytes.
      const size_t take = std::min(s.pending.size(), kMaxLineBytes);
      line.assign(s.pending, 0, take);
      s.pending.erase(0, take);
      return ReadStatus::Line;
    }
    switch (s.process.Read(s.pending, kMaxLineBytes - s.pending.size(), deadline)) {
      case platform::ConsoleProcess::ReadResult::Data:
        break;
      case platform::ConsoleProcess::ReadResult::TimedOut:
        return ReadStatus::TimedOut;
      case platform::ConsoleProcess::ReadResult::Ended:
        s.ended = true;
        break;
    }
  }
  return ReadStatus::Line;
}

bool ConsoleSession::Write(const std::string& text, Clock::time_point deadline, std::string& error) {
  if (!impl_) {
    error = "no console is running";
    return false;
  }
  return impl_->process.Write(text, deadline, error);
}

void ConsoleSession::Close() {
  if (!impl_) return;
  impl_->process.Close();
  impl_.reset();
}

}  // namespace tracker
}  // namespace ZEMBRA
