#include "verify/findings.h"

#include <cstdarg>
#include <cstdio>

namespace quarnel::verify {

namespace {

std::string formatted(const char *format, va_list args)
{
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

} // namespace

std::string textOf(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = formatted(format, args);
    va_end(args);
    return text;
}

void addFinding(Findings &findings, int code, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    findings.push_back({code, formatted(format, args)});
    va_end(args);
}

} // namespace quarnel::verify
