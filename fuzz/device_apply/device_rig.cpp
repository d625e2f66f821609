#include "device_apply/device_rig.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include "support.h"

namespace devicefuzz {

namespace {

bool inside(const std::vector<Region> &regions, uint64_t offset, uint64_t length)
{
    for (const Region &region : regions)
        if (region.holds(offset, length))
            return true;
    return false;
}

[[noreturn]] void breach(const char *what, uint32_t offset, uint32_t length)
{
    char text[200];
    std::snprintf(text, sizeof text, "%s (0x%08X, %u bytes)", what, offset, length);
    fuzzsupport::fail(text);
}

void fillWithGarbage(uint8_t *bytes, size_t size, uint64_t seed)
{
    fuzzsupport::SplitMix random(seed);
    for (size_t at = 0; at < size; at += 8) {
        const uint64_t word = random.next();
        std::memcpy(bytes + at, &word, std::min<size_t>(8, size - at));
    }
}

} // namespace

DeviceRig::DeviceRig(Bytes flash, std::vector<Region> writable, std::vector<Region> mayTouch, uint32_t programUnit,
                     uint64_t seed, const std::vector<NorSectorRun> &sectors)
    // The rig decides where writes may go; the model enforces the flash's own rules everywhere.
    : sim_(std::move(flash), {{0, flashSize}}, programUnit, seed, norPastUnknown, sectors), model_(sim_.callbacks()),
      writable_(std::move(writable)), mayTouch_(std::move(mayTouch))
{
}

int DeviceRig::readFlash(void *context, uint32_t offset, void *out, uint32_t length)
{
    DeviceRig &rig = *static_cast<DeviceRig *>(context);
    if (++rig.record_.flashReads > rig.call_->limits.flashReads)
        breach("more flash reads than the pack can need: a loop", offset, length);
    if (!inside(rig.mayTouch_, offset, length))
        return -1;
    return rig.model_.read(rig.model_.context, offset, out, length);
}

bool DeviceRig::admitWrite(const char *what, uint32_t offset, uint32_t length)
{
    if (++record_.writes > call_->limits.writes)
        breach("more erase and program calls than the pack can need: a loop", offset, length);
    if (!inside(writable_, offset, length))
        breach(what, offset, length);
    return inside(mayTouch_, offset, length);
}

int DeviceRig::eraseFlash(void *context, uint32_t offset, uint32_t length)
{
    DeviceRig &rig = *static_cast<DeviceRig *>(context);
    if (!rig.admitWrite("an erase outside the spare area and the units the pack names", offset, length))
        return -1;
    return rig.model_.erase(rig.model_.context, offset, length);
}

int DeviceRig::programFlash(void *context, uint32_t offset, const void *data, uint32_t length)
{
    DeviceRig &rig = *static_cast<DeviceRig *>(context);
    if (!rig.admitWrite("a program outside the spare area and the units the pack names", offset, length))
        return -1;
    return rig.model_.program(rig.model_.context, offset, data, length);
}

void DeviceRig::reportProgress(void *context, uint32_t done, uint32_t total)
{
    CallRecord &record = static_cast<DeviceRig *>(context)->record_;
    if (done > total)
        fuzzsupport::fail("progress: done exceeds total");
    if (record.progressReports > 0 && total != record.total)
        fuzzsupport::fail("progress: total changed within a call");
    if (record.progressReports > 0 && done < record.lastDone)
        fuzzsupport::fail("progress: done went back within a call");
    ++record.progressReports;
    record.lastDone = done;
    record.total = total;
}

int DeviceRig::sectorAt(void *context, uint32_t offset, uint32_t *start, uint32_t *length)
{
    DeviceRig &rig = *static_cast<DeviceRig *>(context);
    return rig.model_.sectorAt(rig.model_.context, offset, start, length);
}

int DeviceRig::readPack(void *context, uint32_t offset, void *out, uint32_t length)
{
    DeviceRig &rig = *static_cast<DeviceRig *>(context);
    const PackStore &store = rig.call_->store;
    const bool changed = store.change && rig.record_.packReads >= store.change->fromRead;
    ++rig.record_.packReads;
    if (changed && store.change->second == nullptr)
        return -1;
    const Bytes &pack = changed ? *store.change->second : *store.first;
    rig.record_.packBytes += length;
    if (rig.record_.packReads > rig.call_->limits.packReads || rig.record_.packBytes > rig.call_->limits.packBytes)
        breach("more pack reads than the pack's size can need: a loop", offset, length);
    if (uint64_t{offset} + length > pack.size())
        breach("a pack read past the pack's size", offset, length);
    std::memcpy(out, pack.data() + offset, length);
    return 0;
}

int DeviceRig::invoke(const Call &call, uint8_t *work)
{
    FotaFlash flash{this, readFlash, eraseFlash, programFlash, reportProgress,
                    model_.sectorAt != nullptr ? sectorAt : nullptr};
    const FotaPackSource pack{this, static_cast<uint32_t>(call.store.first->size()), readPack};
    switch (call.entry) {
    case Entry::apply:
        return FotaApplyPack(&flash, &pack, &call.spare, work, call.workSize);
    case Entry::applySigned:
        return FotaApplySignedPack(&flash, &pack, call.trust, &call.spare, work, call.workSize);
    case Entry::query:
        // The query is promised never to erase or program: with no callbacks to do it, it cannot.
        flash.erase = nullptr;
        flash.program = nullptr;
        return FotaApplyQuery(&flash, &pack, &call.spare, work, call.workSize, &record_.status);
    }
    return -1;
}

CallRecord DeviceRig::run(const Call &call)
{
    call_ = &call;
    record_ = CallRecord{};
    // Exactly the size asked for, so that the sanitizer sees any access past its end.
    Bytes work(call.workSize + call.workOffset);
    fillWithGarbage(work.data(), work.size(), call.garbageSeed);
    std::jmp_buf cutTarget;
    if (call.cut)
        sim_.armCut(&cutTarget, call.cut->operation, call.cut->mode);
    else
        sim_.disarm();
    // Only plain values change across the jump; the applier's frames and the callbacks hold no C++ objects.
    if (setjmp(cutTarget) != 0)
        record_.cut = true;
    else
        record_.result = invoke(call, work.data() + call.workOffset);
    record_.operations = sim_.operations();
    sim_.disarm();
    const std::vector<std::string> violations = sim_.violations();
    if (!violations.empty())
        fuzzsupport::fail(("a flash rule broken: " + violations.front()).c_str());
    if (record_.result == FOTA_APPLY_OK && call.entry != Entry::query &&
        (record_.progressReports == 0 || record_.lastDone != record_.total))
        fuzzsupport::fail("progress: a call that returned 0 did not report done == total last");
    call_ = nullptr;
    return record_;
}

} // namespace devicefuzz
