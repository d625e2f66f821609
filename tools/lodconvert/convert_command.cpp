#include "lodconvert/convert_command.h"

#include "code_area_arguments.h"
#include "lodconvert/boot_marker.h"
#include "lodconvert/flash_layout.h"
#include "lodconvert/input_file.h"
#include "lodconvert/input_format.h"
#include "lodconvert/lod_text.h"
#include "lodconvert/output_file.h"

namespace lodconvert {

namespace {

std::string summaryOf(const ConvertOptions &options, InputFormat format, size_t segmentCount,
                      const FlashImage &image)
{
    std::string moved;
    if (*options.flashBase != deviceFlashBase)
        moved = textOf(", moved from the flash base %s to %s", hexAddress(*options.flashBase).c_str(),
                       hexAddress(deviceFlashBase).c_str());
    return textOf("%s: %zu bytes at %s (packcli codebase 0x%X) from %zu %s segment%s, %llu bytes of 0xFF "
                  "filled in%s",
                  options.output.c_str(), image.bytes.size(), hexAddress(image.address).c_str(),
                  image.address - deviceFlashBase, segmentCount, formatName(format), segmentCount == 1 ? "" : "s",
                  static_cast<unsigned long long>(image.filled), moved.c_str());
}

} // namespace

Report convertCommand(ConvertOptions options)
{
    Report report;
    auto refuse = [&report](const Refusal &refusal) { return refused(std::move(report), refusal); };
    if (!options.flashBase)
        options.flashBase = deviceFlashBase;
    if (Failure failure = checkNotInput(options.input, options.output))
        return refuse(*failure);

    std::vector<uint8_t> content;
    if (Failure failure = readInputFile(options.input, content))
        return refuse(*failure);
    InputFormat format = InputFormat::fromContent;
    Segments segments;
    if (Failure failure = readSegments(content, options, format, segments, report.lines))
        return refuse(*failure);
    const size_t segmentCount = segments.size();
    FlashImage image;
    if (Failure failure = layOutImage(std::move(segments), *options.flashBase, options.input, image))
        return refuse(*failure);

    const BootMarkerPlace place = bootMarkerPlace(image.address, image.bytes.size(), options.bootSector);
    if (place.kind == BootMarkerPlace::outside)
        return refuse({exitBootSectorOutside,
                       textOf("--boot-sector 0x%X names no word of the image, which covers offsets 0x%X to 0x%llX "
                              "from the flash base (the boot sector is an offset from the flash base, not an "
                              "address)",
                              place.tag, image.address - deviceFlashBase,
                              static_cast<unsigned long long>(image.address - deviceFlashBase + image.bytes.size()))});

    const std::string text =
        lodTextOf(image, textOf("%s image from lodconvert", formatName(format)), options.bootSector);
    if (Failure failure =
            writeOutputFile(options.output, reinterpret_cast<const uint8_t *>(text.data()), text.size()))
        return refuse(*failure);
    report.lines.push_back(summaryOf(options, format, segmentCount, image));
    report.lines.push_back(bootMarkerNote(options.output, place, image.address, std::nullopt));
    return report;
}

} // namespace lodconvert
