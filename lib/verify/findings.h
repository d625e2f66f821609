// What the checks report: a result code and one line per problem found.
#pragma once

#include <string>
#include <vector>

namespace quarnel::verify {

// One problem; its text starts with the header byte, stream byte, chunk or
// flash offset it concerns.
struct Finding {
    int code;
    std::string text;
};

using Findings = std::vector<Finding>;

// printf-style text.
std::string textOf(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Appends a finding with printf-style text.
void addFinding(Findings &findings, int code, const char *format, ...) __attribute__((format(printf, 3, 4)));

} // namespace quarnel::verify
