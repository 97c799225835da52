#include "driver/tracker/console_session.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/process/args.hpp>
#include <boost/process/async_pipe.hpp>
#include <boost/process/child.hpp>
#include <boost/process/extend.hpp>
#include <boost/process/io.hpp>
#include <boost/process/pipe.hpp>
#include <boost/process/search_path.hpp>
#include <boost/process/start_dir.hpp>
#include <cstring>
#include <exception>

#include "platform/child_process.h"

namespace ZEMBRA {
namespace tracker {

namespace bp = boost::process;

namespace {

// Runs in the forked child after its pipes are in place: the console gets
// its standard streams and nothing else of this process. (Boost's own
// limit_handles closes the standard streams it has just set up.)
struct OnlyStandardStreams : bp::extend::handler {
  template <typename Executor>
  void on_exec_setup(Executor&) const {
    platform::CloseInheritedDescriptorsAtExec();
  }
};

// A console line is short; a program that never ends its line must not make
// us buffer without end, so a longer run of bytes counts as a line.
constexpr size_t kMaxLineBytes = 64 * 1024;
}  // namespace

struct ConsoleSession::Impl {
  boost::asio::io_context io;
  bp::async_pipe toChild{io};
  bp::async_pipe fromChild{io};
  bp::child child;
  std::string pending;  // bytes read beyond the last line handed out
  bool ended = false;

  // Runs the I/O context until the started operation has completed or the
  // deadline passed; in the latter case cancels it and waits for its
  // handler, which then sees operation_aborted.
  template <typename Stream>
  void RunUntil(bool& done, Stream& stream, Clock::time_point deadline) {
    io.restart();
    io.run_until(deadline);
    if (!done) {
      stream.cancel();
      io.restart();
      io.run();
    }
  }

  // Puts close-on-exec pipes behind both streams in place of the ones the
  // constructor made, which any child started elsewhere would inherit.
  bool UseCloseOnExecPipes(std::string& error) {
    for (bp::async_pipe* pipe : {&toChild, &fromChild}) {
      int readEnd = -1, writeEnd = -1;
      if (const int why = platform::MakeCloseOnExecPipe(readEnd, writeEnd)) {
        error = std::string("cannot make a pipe: ") + std::strerror(why);
        return false;
      }
      bp::pipe ends(readEnd, writeEnd);
      bp::async_pipe made(io, ends);
      // The async pipe owns the descriptors now, not the plain one.
      ends.assign_source(-1);
      ends.assign_sink(-1);
      *pipe = std::move(made);  // the constructor's pipe goes with made
    }
    return true;
  }
};

ConsoleSession::ConsoleSession() = default;

ConsoleSession::~ConsoleSession() { Close(); }

bool ConsoleSession::Start(const std::string& program, const std::vector<std::string>& args,
                           const std::filesystem::path& workDir, std::string& error) {
  Close();
  try {
    boost::filesystem::path exe =
        program.find('/') == std::string::npos ? bp::search_path(program) : boost::filesystem::path(program);
    if (exe.empty()) {
      error = program + " was not found on the PATH";
      return false;
    }
    // The child changes directory before it runs the program.
    exe = boost::filesystem::absolute(exe);
    auto impl = std::make_unique<Impl>();
    if (!impl->UseCloseOnExecPipes(error)) return false;
    std::error_code launchError;
    if (workDir.empty()) {
      impl->child = bp::child(exe, bp::args(args), bp::std_in<impl->toChild, bp::std_out> impl->fromChild,
                              OnlyStandardStreams(), launchError);
    } else {
      impl->child = bp::child(exe, bp::args(args), bp::std_in<impl->toChild, bp::std_out> impl->fromChild,
                              bp::start_dir(workDir.string()), OnlyStandardStreams(), launchError);
    }
    if (launchError) {
      error = "cannot start " + exe.string() + ": " + launchError.message();
      return false;
    }
    impl_ = std::move(impl);
    return true;
  } catch (const std::exception& e) {
    error = std::string("cannot start ") + program + ": " + e.what();
    return false;
  }
}

ConsoleSession::ReadStatus ConsoleSession::ReadLine(std::string& line, Clock::time_point deadline) {
  if (!impl_) return ReadStatus::Ended;
  Impl& s = *impl_;
  if (TakeLine(s.pending, line)) return ReadStatus::Line;
  if (!s.ended) {
    bool done = false;
    boost::system::error_code result;
    boost::asio::async_read_until(s.fromChild, boost::asio::dynamic_buffer(s.pending, kMaxLineBytes), '\n',
                                  [&](const boost::system::error_code& ec, size_t) {
                                    done = true;
                                    result = ec;
                                  });
    s.RunUntil(done, s.fromChild, deadline);
    if (result == boost::asio::error::operation_aborted) return ReadStatus::TimedOut;
    if (!result && TakeLine(s.pending, line)) return ReadStatus::Line;
    // Anything but a full buffer means the output is gone for good.
    if (result != boost::asio::error::not_found) s.ended = true;
  }
  if (s.pending.empty()) return ReadStatus::Ended;
  // The last, unterminated line, or an overlong run of bytes.
  line.swap(s.pending);
  s.pending.clear();
  return ReadStatus::Line;
}

bool ConsoleSession::Write(const std::string& text, Clock::time_point deadline, std::string& error) {
  if (!impl_) {
    error = "no console is running";
    return false;
  }
  Impl& s = *impl_;
  bool done = false;
  boost::system::error_code result;
  platform::RunWithoutBrokenPipeSignal([&] {
    boost::asio::async_write(s.toChild, boost::asio::buffer(text), [&](const boost::system::error_code& ec, size_t) {
      done = true;
      result = ec;
    });
    s.RunUntil(done, s.toChild, deadline);
  });
  if (result == boost::asio::error::operation_aborted) {
    error = "the console did not take its input in time";
    return false;
  }
  if (result) {
    error = result.message();
    return false;
  }
  return true;
}

void ConsoleSession::Close() {
  if (!impl_) return;
  Impl& s = *impl_;
  boost::system::error_code ignored;
  s.toChild.close(ignored);
  s.fromChild.close(ignored);
  std::error_code ec;
  if (s.child.valid()) {
    // running() reaps a child that has already exited; one still running is
    // killed and then waited for, so no zombie is left behind.
    if (s.child.running(ec)) platform::KillProcess(int(s.child.id()));
    s.child.wait(ec);
  }
  impl_.reset();
}

}  // namespace tracker
}  // namespace ZEMBRA
