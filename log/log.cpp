#include "log/log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace ZEMBRA {
namespace log {

namespace {

// The library's sink: one per library by nature, as standard output is one
// per process.
struct SinkState {
  std::mutex mutex;
  Sink sink = nullptr;
  void* context = nullptr;
};

SinkState& State() {
  static SinkState state;
  return state;
}

}  // namespace

void SetSink(Sink sink, void* context) {
  SinkState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.sink = sink;
  state.context = context;
}

void Write(std::string_view text) {
  if (text.empty()) return;
  SinkState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.sink) {
    state.sink(state.context, text.data(), text.size());
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void Printf(const char* format, ...) {
  char small[512];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (needed < 0) {
    va_end(again);
    return;
  }
  if (size_t(needed) < sizeof small) {
    Write(std::string_view(small, size_t(needed)));
  } else {
    std::vector<char> large(size_t(needed) + 1);
    std::vsnprintf(large.data(), large.size(), format, again);
    Write(std::string_view(large.data(), size_t(needed)));
  }
  va_end(again);
}

LineStream::LineStream() : std::ostream(&buffer_) {}

LineStream::~LineStream() { buffer_.pubsync(); }

LineStream::Buffer::int_type LineStream::Buffer::overflow(int_type c) {
  if (!traits_type::eq_int_type(c, traits_type::eof())) pending_.push_back(traits_type::to_char_type(c));
  return traits_type::not_eof(c);
}

std::streamsize LineStream::Buffer::xsputn(const char* text, std::streamsize count) {
  pending_.append(text, size_t(count));
  return count;
}

int LineStream::Buffer::sync() {
  Write(pending_);
  pending_.clear();
  return 0;
}

LineStream& Stream() {
  thread_local LineStream stream;
  return stream;
}

}  // namespace log
}  // namespace ZEMBRA
