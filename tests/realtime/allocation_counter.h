// Counts the allocations of this test program: operator new in all its
// forms is replaced by one that counts and then allocates as usual.
#ifndef QORTA_TESTS_REALTIME_ALLOCATION_COUNTER_H
#define QORTA_TESTS_REALTIME_ALLOCATION_COUNTER_H

#include <cstddef>

namespace testsupport {

// Allocations made through operator new since the program started.
std::size_t allocationCount();

}  // namespace testsupport

#endif
