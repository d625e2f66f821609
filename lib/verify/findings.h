// What the checks report: a result code and one line per problem found.
#pragma once

#include <string>
#include <vector>

// mingw's GCC reads "printf" as the Microsoft runtime's dialect, which lacks %zu and %llu;
// the library's C++ code prints through mingw's own C99 printf.
#ifdef __MINGW32__
#define QUARNEL_PRINTF_FORMAT(formatAt, argumentsAt) __attribute__((format(gnu_printf, formatAt, argumentsAt)))
#else
#define QUARNEL_PRINTF_FORMAT(formatAt, argumentsAt) __attribute__((format(printf, formatAt, argumentsAt)))
#endif

namespace quarnel::verify {

// One problem; its text starts with the header byte, stream byte, chunk or
// flash offset it concerns.
struct Finding {
    int code;
    std::string text;
};

using Findings = std::vector<Finding>;

// printf-style text.
std::string textOf(const char *format, ...) QUARNEL_PRINTF_FORMAT(1, 2);

// Appends a finding with printf-style text.
void addFinding(Findings &findings, int code, const char *format, ...) QUARNEL_PRINTF_FORMAT(3, 4);

} // namespace quarnel::verify
