#include "size_text.h"

#include <QString>

#include <cstdint>

namespace {

// Base 0: a 0x prefix is hexadecimal, a leading 0 octal, anything else decimal.
int32_t toNumber(const QString &text)
{
    return text.toInt(nullptr, 0);
}

// Shifted as an unsigned 32-bit value, so an oversized result wraps instead of overflowing.
int32_t shifted(int32_t value, int bits)
{
    return static_cast<int32_t>(static_cast<uint32_t>(value) << bits);
}

} // namespace

int parseSizeText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.endsWith(QLatin1Char('K'), Qt::CaseInsensitive))
        return shifted(toNumber(trimmed.chopped(1)), 10);
    if (trimmed.endsWith(QLatin1Char('M'), Qt::CaseInsensitive))
        return shifted(toNumber(trimmed.chopped(1)), 20);
    return toNumber(trimmed);
}
