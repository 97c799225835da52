#include <unistd.h>

#include "sim/inherited_descriptors.h"

namespace ZEMBRA {
namespace sim {

void CloseInheritedDescriptors() {
  if (::close_range(3, ~0u, 0) == 0) return;
  // A kernel without close_range: every descriptor the process may have.
  const long limit = ::sysconf(_SC_OPEN_MAX);
  for (long fd = 3; fd < (limit > 0 ? limit : 1024); ++fd) ::close(int(fd));
}

}  // namespace sim
}  // namespace ZEMBRA
