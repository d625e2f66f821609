// Test-side reading of packs: an independent LZMA decode and an in-place replay.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>


namespace testsupport {

// Decodes a 13-byte-header LZMA block with liblzma's own decoder; fails the
// assertion when the block does not decode to exactly its stated length.
::testing::AssertionResult decodeLzmaBlock(const std::vector<uint8_t> &block, std::vector<uint8_t> &out);

// Plays a patch stream the way a device does: each chunk is built in RAM from
// the flash as it stands, checked against its CRC, then written over the flash.
// flash holds the old image at offset 0 (= codeBase from flashBase); at the end
// its first newImage.size() bytes must equal newImage.
::testing::AssertionResult replayStream(const std::vector<uint8_t> &stream, std::vector<uint8_t> flash,
                                        uint32_t codeBase, const std::vector<uint8_t> &newImage);

// Reads a whole pack file and checks header, data CRC, LZMA block and replay;
// then runs packcheck's verifier on it over the smallest code area that holds
// both images, so that every pack the suite builds is verified by it too.
::testing::AssertionResult replayPackFile(const std::vector<uint8_t> &pack, const std::vector<uint8_t> &oldImage,
                                          uint32_t codeBase, const std::vector<uint8_t> &newImage);

uint32_t readLe32(const uint8_t *bytes);

// A 13-byte-header block of input as the library writes it (same header and settings, no end
// marker) but encoded with a window of window bytes, as another encoder or an older library could.
std::vector<uint8_t> encodeWithWindow(const std::vector<uint8_t> &input, uint32_t window);

} // namespace testsupport
