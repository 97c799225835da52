#include "host.h"

#include <cstdarg>
#include <cstdio>

namespace ZEMBRA {
namespace steamvr_driver {

void Log(const Host& host, const char* format, ...) {
  if (!host.log) return;
  char text[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  host.log->Log(text);
}

}  // namespace steamvr_driver
}  // namespace ZEMBRA
