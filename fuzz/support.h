// Shared pieces of the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "support/split_mix.h"

namespace fuzzsupport {

// A file of this process that each input overwrites (the LOD reader reads paths).
std::string scratchPath(const char *name);
void writeScratch(const std::string &path, const uint8_t *data, size_t size);

// Stops the run with a message: libFuzzer records the input as a crash.
[[noreturn]] void fail(const char *what);

// Reads an input front to back; past its end every read gives 0.
class InputReader {
public:
    InputReader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t u16() { return uint16_t(byte() << 8 | byte()); }
    uint32_t u32() { return uint32_t(u16()) << 16 | u16(); }
    bool empty() const { return pos_ >= size_; }
    size_t left() const { return size_ - pos_; }
    // The unread rest of the input, without consuming it.
    const uint8_t *rest() const { return data_ + pos_; }

private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

// The tests' deterministic generator, for bytes an input asks for but does not spell out.
using SplitMix = testsupport::SplitMix;

// An environment variable set to a non-empty value: for reports beside the fuzzing.
bool reportWanted(const char *variable);

} // namespace fuzzsupport
