// Byte buffers seen as the compression adapter's input and output streams.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace quarnel {

// 32-bit stream statuses; 0 is success, failures have the top bit set.
using StreamStatus = int32_t;
constexpr StreamStatus streamOk = 0;
constexpr StreamStatus streamInvalidFunction = static_cast<StreamStatus>(0x80030001u);
constexpr StreamStatus streamMediumFull = static_cast<StreamStatus>(0x80030070u);

enum SeekOrigin : uint32_t {
    seekSet = 0,
    seekCurrent = 1,
    seekEnd = 2,
};

// Reads from a private copy of the bytes to compress.
class CInMemStream {
public:
    CInMemStream(const uint8_t *bytes, uint32_t length);

    // Copies up to size bytes; at the end it succeeds with a count of 0.
    StreamStatus read(void *buffer, uint32_t size, uint32_t *processed);
    // Only the low 32 bits of offset count; the position never passes the end.
    StreamStatus seek(int64_t offset, uint32_t origin, uint64_t *newPosition);
    StreamStatus getSize(uint64_t *size) const;

private:
    std::vector<uint8_t> data;
    uint32_t position = 0;
};

// Gathers what is written; a deque grows in blocks without moving its bytes.
class COutMemStream {
public:
    // Overwrites at the position, growing with zeros to its end when needed.
    StreamStatus write(const void *bytes, uint32_t size, uint32_t *processed);
    // Only the low 32 bits of offset count; the position never passes the end.
    StreamStatus seek(int64_t offset, uint32_t origin, uint64_t *newPosition);
    // Only the low 32 bits of newSize count; grows with zeros or cuts.
    StreamStatus setSize(int64_t newSize);

    // Replaces output with everything gathered, in order.
    void copyTo(std::vector<uint8_t> &output) const;

private:
    std::deque<uint8_t> data;
    uint32_t position = 0;
};

} // namespace quarnel
