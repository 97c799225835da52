// Counts heap allocations in a window, for tests that prove a path never
// allocates. Link allocation_counter.cpp into the test executable: it
// replaces the global allocation functions of that executable.
#pragma once

namespace ZEMBRA {
namespace testsupport {

// Counts the allocations made between construction and Stop().
class AllocationWindow {
 public:
  AllocationWindow();
  ~AllocationWindow();
  AllocationWindow(const AllocationWindow&) = delete;
  AllocationWindow& operator=(const AllocationWindow&) = delete;
  long Stop();
};

}  // namespace testsupport
}  // namespace ZEMBRA
