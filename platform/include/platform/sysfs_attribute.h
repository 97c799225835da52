// Bounded reads and writes of small attribute files of the device tree.
// Internal to the platform layer.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace ZEMBRA {
namespace platform {

// Kernel attributes never exceed a page.
constexpr size_t kMaxAttributeBytes = 4096;

// The content of a regular file of at most kMaxAttributeBytes, with trailing
// line ends removed. Nothing for a missing, unreadable, oversized or
// non-regular file (a FIFO or a device would block or never end).
std::optional<std::string> ReadAttribute(const std::string& path);

// Replaces the content of an attribute with text. Returns 0 or the errno of
// the failed step.
int WriteAttribute(const std::string& path, const std::string& text);

}  // namespace platform
}  // namespace ZEMBRA
