// The fuzz targets' own assertions: a broken promise of the code under test
// stops the run with a message, which the fuzzer records as a finding and
// the replay tests as a failure.
#ifndef QORTA_FUZZ_CHECK_H
#define QORTA_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

namespace fuzz {

inline void check(bool condition, const char* promise) {
    if (condition) return;
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::fflush(stderr);
    std::abort();
}

}  // namespace fuzz

#endif
