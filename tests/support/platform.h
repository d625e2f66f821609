// What the platform under test offers the tests.
#pragma once

// POSIX gives the tests fork, file modes, address-space limits, FIFOs,
// LD_PRELOAD and the build machine's own programs (nm, xz, bsdiff); a test
// that needs one of them is skipped elsewhere, saying which.
#ifdef _WIN32
#define QUARNEL_TESTS_ON_POSIX 0
#else
#define QUARNEL_TESTS_ON_POSIX 1
#endif
