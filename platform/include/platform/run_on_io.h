// Hands a task to the thread that runs an io_context and waits for it, so
// that objects owned by that thread (a port, a timer) are only ever touched
// there. With no such thread the task runs on the caller.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <future>
#include <utility>

namespace ZEMBRA {
namespace platform {

template <typename Task>
void RunOnIoThread(boost::asio::io_context& io, bool ioThreadRunning, Task task) {
  if (!ioThreadRunning) {
    task();
    return;
  }
  std::packaged_task<void()> job(std::move(task));
  std::future<void> done = job.get_future();
  boost::asio::post(io, [&job] { job(); });
  done.get();
}

}  // namespace platform
}  // namespace ZEMBRA
