// What a simulator process inherits from whoever started it, beyond its
// standard streams, is not its own to keep open.
#pragma once

namespace ZEMBRA {
namespace sim {

// Closes every descriptor above standard error. A simulator started under
// a lock (such as `flock <file> <script>`), or by a process that holds a
// port open, would otherwise hold that lock or port for as long as it runs,
// also after its parent has gone.
void CloseInheritedDescriptors();

}  // namespace sim
}  // namespace ZEMBRA
