#include "support/device_streams.h"

#include <gtest/gtest.h>

#include "common/crc32.h"
#include "container/lzma_adapter.h"
#include "container/pack_header.h"
#include "quarnel.h"
#include "support/pack_replay.h"

namespace testsupport {

Bytes decodedStream(const Bytes &pack)
{
    Bytes out;
    EXPECT_TRUE(decodeLzmaBlock(Bytes(pack.begin() + 28, pack.end()), out));
    return out;
}

Bytes packOfStream(const DevicePair &pair, const Bytes &stream)
{
    Bytes block;
    EXPECT_EQ(quarnel::compressPatchStream(stream.data(), static_cast<int32_t>(stream.size()), block), FOTA_OK);
    return quarnel::buildPack(pair.codeBase, static_cast<uint32_t>(pair.oldImage.size()),
                              quarnel::packCrc32(pair.oldImage.data(), static_cast<uint32_t>(pair.oldImage.size())),
                              block.data(), static_cast<uint32_t>(block.size()));
}

} // namespace testsupport
