#pragma once

// A check that stays on in optimised fuzz builds: a failed one aborts, which libFuzzer reports
// as a crash with the input that caused it.

#include <cstdio>
#include <cstdlib>

#define check(ok) qmFuzzCheckAt((ok), #ok, __LINE__)

inline void qmFuzzCheckAt(bool ok, const char* what, int line) {
    if (!ok) {
        std::fprintf(stderr, "check failed at line %d: %s\n", line, what);
        std::abort();
    }
}
