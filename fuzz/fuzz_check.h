// What the fuzz targets use to state what must hold: a failed check prints what
// was wrong and aborts, which libFuzzer reports as a crash with the input saved.
#ifndef TOBRISK_FUZZ_CHECK_H
#define TOBRISK_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, ...)                                                   \
    do {                                                                             \
        if (!(condition)) {                                                          \
            std::fprintf(stderr, "%s:%d: check failed: %s: ", __FILE__, __LINE__,  \
                         #condition);                                                \
            std::fprintf(stderr, __VA_ARGS__);                                       \
            std::fputc('\n', stderr);                                                \
            std::abort();                                                            \
        }                                                                            \
    } while (0)

#endif
