#include "verify/flash_model.h"

#include <algorithm>
#include <optional>

#include "common/result_codes.h"

namespace quarnel::verify {

namespace {

// Neighbouring sectors that are wrong in the same way, reported as one finding.
struct BadRun {
    size_t start;
    size_t end;
    int64_t writer;
    bool unknown;
    size_t differing;
    size_t first;
};

void reportRun(const BadRun &run, uint32_t codeBase, Findings &findings)
{
    const uint32_t from = static_cast<uint32_t>(codeBase + run.start);
    const uint32_t to = static_cast<uint32_t>(codeBase + run.end);
    if (run.unknown) {
        addFinding(findings, FOTA_NEW_MISMATCH,
                   "flash [0x%08X, 0x%08X): beyond the old image and written by no chunk, its content is unknown", from,
                   to);
        return;
    }
    const std::string by = run.writer < 0 ? std::string("written by no chunk")
                                          : textOf("last written by chunk %lld", static_cast<long long>(run.writer));
    addFinding(findings, FOTA_NEW_MISMATCH,
               "flash [0x%08X, 0x%08X): %zu of %zu bytes differ from the new image, first at 0x%08X, %s", from, to,
               run.differing, run.end - run.start, static_cast<uint32_t>(codeBase + run.first), by.c_str());
}

} // namespace

FlashModel::FlashModel(uint32_t codeBase, std::vector<uint8_t> oldImage, uint32_t newSize)
    : codeBase(codeBase), oldSize(static_cast<uint32_t>(oldImage.size())), bytes(std::move(oldImage))
{
    // Erased NOR reads 0xFF; nothing may depend on it, as compareWith reports unwritten bytes past the old image.
    bytes.resize(std::max<size_t>(oldSize, newSize), 0xFF);
    lastWriter.assign((bytes.size() + sectorSize - 1) / sectorSize, -1);
}

void FlashModel::write(uint32_t target, const std::vector<uint8_t> &unit, size_t chunkIndex)
{
    const size_t to = target - codeBase;
    if (to >= bytes.size())
        return;
    const size_t count = std::min(unit.size(), bytes.size() - to);
    std::copy(unit.begin(), unit.begin() + static_cast<std::ptrdiff_t>(count),
              bytes.begin() + static_cast<std::ptrdiff_t>(to));
    for (size_t sector = to / sectorSize; sector * sectorSize < to + count; ++sector)
        lastWriter[sector] = static_cast<int64_t>(chunkIndex);
}

int FlashModel::compareWith(const std::vector<uint8_t> &newImage, Findings &findings) const
{
    const size_t before = findings.size();
    std::optional<BadRun> run;
    for (size_t start = 0; start < newImage.size(); start += sectorSize) {
        const size_t end = std::min<size_t>(start + sectorSize, newImage.size());
        const int64_t writer = lastWriter[start / sectorSize];
        const bool unknown = writer < 0 && end > oldSize;
        size_t differing = 0;
        size_t first = 0;
        for (size_t i = end; !unknown && i-- > start;) {
            if (bytes[i] != newImage[i]) {
                ++differing;
                first = i;
            }
        }
        const bool bad = unknown || differing > 0;
        if (run && (!bad || run->writer != writer || run->unknown != unknown)) {
            reportRun(*run, codeBase, findings);
            run.reset();
        }
        if (!bad)
            continue;
        if (!run)
            run = BadRun{start, end, writer, unknown, 0, first};
        run->end = end;
        run->differing += differing;
    }
    if (run)
        reportRun(*run, codeBase, findings);
    return findings.size() == before ? FOTA_OK : FOTA_NEW_MISMATCH;
}

} // namespace quarnel::verify
