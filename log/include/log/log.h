// The messages of one library (the driver or the plug-in): every text goes
// through this one sink, exactly as written, line ends included. By default
// the sink is the process's standard output; tests, and later a client, can
// put another in its place. Each library that links this module has a sink
// of its own.
#pragma once

#include <cstddef>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace ZEMBRA {
namespace log {

// Receives each piece of text as it is flushed: a whole message, or a
// message's part that ends without a line end.
using Sink = void (*)(void* context, const char* text, size_t size);

// Puts sink in the place of standard output (null puts standard output
// back). Messages flushed afterwards go there; calls are serialised, so the
// sink is never called by two threads at once.
void SetSink(Sink sink, void* context);

// Hands text to the sink.
void Write(std::string_view text);

// MinGW checks "printf" formats against the Microsoft runtime's rules, which
// lack %zu; the build uses MinGW's own C99 printf instead, checked as such.
#if defined(__MINGW32__)
#define ZEMBRA_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define ZEMBRA_PRINTF_FORMAT printf
#endif

// printf-style.
void Printf(const char* format, ...) __attribute__((format(ZEMBRA_PRINTF_FORMAT, 1, 2)));

// A stream whose text reaches the sink whenever it is flushed (std::endl,
// std::flush) and when it goes. One thread at a time per object.
class LineStream : public std::ostream {
 public:
  LineStream();
  ~LineStream() override;
  LineStream(const LineStream&) = delete;
  LineStream& operator=(const LineStream&) = delete;

 private:
  class Buffer : public std::streambuf {
   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

   private:
    std::string pending_;
  };
  Buffer buffer_;
};

// The calling thread's own stream, for code that writes messages on
// whatever thread it runs.
LineStream& Stream();

}  // namespace log
}  // namespace ZEMBRA
