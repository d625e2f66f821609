#include "lodconvert/to_bin_command.h"

#include "code_area_arguments.h"
#include "common/erase_units.h"
#include "lod/code_image.h"
#include "lodconvert/boot_marker.h"
#include "lodconvert/output_file.h"

namespace lodconvert {

namespace {

// The largest flashsize packcli takes whole: 32 bits, whole sectors.
constexpr uint64_t largestFlashSize = UINT32_MAX / quarnel::sectorSize * quarnel::sectorSize;

// packcli's verdict on the file as an old image, with what lodconvert saw.
Refusal lodRefusal(const std::string &lod, int packcliCode, const std::string &detail)
{
    return {exitLodRefused, textOf("%s: packcli refuses it as an image: %s (code %d%s)", lod.c_str(),
                                   FotaErrorMsg(packcliCode), packcliCode, detail.c_str())};
}

// The code area of the image in a LOD file: from its one section's address up to the flash size.
Failure codeAreaOf(const ToBinOptions &options, CodeArea &area, std::optional<uint32_t> &tag)
{
    quarnel::LodFile file;
    if (!file.load(options.lod.c_str()))
        return Refusal{exitInputUnreadable, textOf("%s cannot be read as a LOD file", options.lod.c_str())};
    file.mergePackets();
    if (file.packets.size() != 1)
        return lodRefusal(options.lod, FOTA_OLD_NOT_CONTIGUOUS,
                          textOf("; it holds %zu sections, not one", file.packets.size()));
    const uint32_t address = file.packets.front()->address;
    if (address < deviceFlashBase || (address - deviceFlashBase) % quarnel::sectorSize != 0)
        return lodRefusal(options.lod, FOTA_OLD_ADDRESS_MISMATCH,
                          textOf("; it starts at %s, not on a sector boundary at or above the flash base %s",
                                 hexAddress(address).c_str(), hexAddress(deviceFlashBase).c_str()));
    area.flashBase = deviceFlashBase;
    area.codeBase = address - deviceFlashBase;
    const uint64_t flashSize = options.flashSize.value_or(largestFlashSize);
    if (flashSize <= area.codeBase || flashSize % quarnel::sectorSize != 0)
        return Refusal{exitUsage, textOf("--flash-size 0x%llX leaves no code area of whole sectors above the "
                                         "image's code base 0x%X",
                                         static_cast<unsigned long long>(flashSize), area.codeBase)};
    area.codeSize = static_cast<uint32_t>(flashSize - area.codeBase);
    if (file.bootSector != -1)
        tag = static_cast<uint32_t>(file.bootSector);
    return std::nullopt;
}

} // namespace

Report toBinCommand(const ToBinOptions &options)
{
    Report report;
    auto refuse = [&report](const Refusal &refusal) { return refused(std::move(report), refusal); };
    if (Failure failure = checkNotInput(options.lod, options.output))
        return refuse(*failure);

    CodeArea area{};
    std::optional<uint32_t> tag;
    if (Failure failure = codeAreaOf(options, area, tag))
        return refuse(*failure);
    // The file is read again by the library's own rule, which needs the code area its address gave.
    quarnel::LodPacketPtr image;
    if (const int code = quarnel::loadCodeImage(options.lod.c_str(), area, image))
        return refuse(lodRefusal(options.lod, code, ""));

    const std::vector<uint8_t> bytes = quarnel::imageBytes(*image);
    if (Failure failure = writeOutputFile(options.output, bytes.data(), bytes.size()))
        return refuse(*failure);
    const uint32_t address = area.flashBase + area.codeBase;
    report.lines.push_back(textOf("%s: %zu bytes, the flash from %s on as a device holds it after the update",
                                  options.output.c_str(), bytes.size(), hexAddress(address).c_str()));
    report.lines.push_back(bootMarkerNote(options.lod, bootMarkerPlace(address, bytes.size(), tag), address,
                                          options.flashSize));
    return report;
}

} // namespace lodconvert
