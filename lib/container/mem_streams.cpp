#include "container/mem_streams.h"

#include <algorithm>
#include <cstring>

namespace quarnel {

namespace {

// The seek shared by both streams; the 32-bit position wraps, then is clamped.
StreamStatus seekWithin(uint32_t &position, uint32_t length, int64_t offset, uint32_t origin,
                        uint64_t *newPosition)
{
    const uint32_t low = static_cast<uint32_t>(offset);
    uint32_t target = 0;
    switch (origin) {
    case seekSet:
        target = low;
        break;
    case seekCurrent:
        target = position + low;
        break;
    case seekEnd:
        target = length + low;
        break;
    default:
        return streamInvalidFunction;
    }
    position = std::min(target, length);
    if (newPosition != nullptr)
        *newPosition = position;
    return streamOk;
}

} // namespace

CInMemStream::CInMemStream(const uint8_t *bytes, uint32_t length) : data(bytes, bytes + length)
{
}

StreamStatus CInMemStream::read(void *buffer, uint32_t size, uint32_t *processed)
{
    // Summed in 64 bits so that a huge size cannot wrap past the end check.
    const uint32_t length = static_cast<uint32_t>(data.size());
    uint32_t count = size;
    if (uint64_t{position} + size >= length)
        count = length - position;
    if (count > 0)
        std::memcpy(buffer, data.data() + position, count);
    position += count;
    if (processed != nullptr)
        *processed = count;
    return streamOk;
}

StreamStatus CInMemStream::seek(int64_t offset, uint32_t origin, uint64_t *newPosition)
{
    return seekWithin(position, static_cast<uint32_t>(data.size()), offset, origin, newPosition);
}

StreamStatus CInMemStream::getSize(uint64_t *size) const
{
    *size = data.size();
    return streamOk;
}

StreamStatus COutMemStream::write(const void *bytes, uint32_t size, uint32_t *processed)
{
    // A 32-bit position cannot address data beyond 4 GiB; refuse rather than wrap.
    const uint64_t end = uint64_t{position} + size;
    if (end > UINT32_MAX) {
        if (processed != nullptr)
            *processed = 0;
        return streamMediumFull;
    }
    if (end > data.size())
        data.resize(end, 0);
    const uint8_t *from = static_cast<const uint8_t *>(bytes);
    std::copy(from, from + size, data.begin() + position);
    position = static_cast<uint32_t>(end);
    if (processed != nullptr)
        *processed = size;
    return streamOk;
}

StreamStatus COutMemStream::seek(int64_t offset, uint32_t origin, uint64_t *newPosition)
{
    return seekWithin(position, static_cast<uint32_t>(data.size()), offset, origin, newPosition);
}

StreamStatus COutMemStream::setSize(int64_t newSize)
{
    const uint32_t length = static_cast<uint32_t>(newSize);
    data.resize(length, 0);
    position = std::min(position, length);
    return streamOk;
}

void COutMemStream::copyTo(std::vector<uint8_t> &output) const
{
    output.assign(data.begin(), data.end());
}

} // namespace quarnel
