// The device applier (FotaApplyPack, FotaApplySignedPack, FotaApplyQuery) on the NOR model, given the
// packs an attacker can store: any bytes with their header checksums made to hold, or any patch stream
// encoded again so that mutations reach past the checksums, signed with the device's key or not, on
// the old image or on a flash that only looks finished, cut at any erase or program and resumed.
//
// Input (device_apply/fuzz_input.h): ten bytes of settings (program unit, cut call and mode, signed,
// changing store, start, body kind), then a pack or a decoded patch stream for the old image of
// fuzz/data/old.lod (the code area of fuzz_pack.cpp). With a changing store the body's two halves
// are two packs, the second served from a chosen pack read on; a failing store fails from it on.
//
// Checked on every input, each breach a crash with its reason:
// - the callbacks: no erase or program outside the spare area and the units the pack's chunks name
//   (as the host's reader decodes them) and, signed, outside the trusted image area; the NOR rules;
//   no pack read past its size; bounded flash calls and pack bytes (device_apply/call_limits.cpp);
//   the progress contract within each call, and one total in every call for the pack;
// - a refusal comes before any erase or program, and a pack with no chunks or an empty record is refused;
// - a success leaves the code area as the host's in-place player leaves it, and a second call writes nothing;
// - FotaApplyQuery, given no erase or program callback, refuses as the apply call refused and agrees
//   with it on where the update stands;
// - a run cut at the chosen call and resumed with new garbage in the work memory ends as the uncut
//   run did, with the same code area on success;
// - with a changing store, the signed call returns 0 only with the code area the signed pack builds,
//   and writes nothing the signed pack does not name; the unsigned call writes only the code area,
//   the spare area and what either pack names;
// - a call whose pack reads fail from a chosen read on refuses only before writing, and a call after
//   it ends as the uncut run did.
// Set FUZZ_REPORT_DEVICE=1 to print what the calls returned and did.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "common/result_codes.h"
#include "device_apply/call_limits.h"
#include "device_apply/device_rig.h"
#include "device_apply/fuzz_input.h"
#include "device_apply/host_view.h"
#include "device_apply/start_flash.h"
#include "device_apply/update_pack.h"
#include "lod/code_image.h"
#include "support.h"

using namespace devicefuzz;
using fuzzsupport::fail;

namespace {

// The results that may follow an erase or a program: flash failures, units that do not hold their
// chunk, and a pack that failed to read or changed once the update was under way. Every other non-zero
// result is a refusal, which must come before the first erase or program.
constexpr int resultsAfterWrites[] = {FOTA_APPLY_FLASH_READ_FAILED, FOTA_APPLY_FLASH_ERASE_FAILED,
                                      FOTA_APPLY_FLASH_PROGRAM_FAILED, FOTA_APPLY_CHUNK_CRC_MISMATCH,
                                      FOTA_APPLY_TARGET_MISMATCH, FOTA_APPLY_PACK_CHANGED};

bool isRefusal(int result)
{
    for (const int code : resultsAfterWrites)
        if (result == code)
            return false;
    return result != FOTA_APPLY_OK;
}

enum class Outcome { success, refusal, failure };

Outcome outcomeOf(int result)
{
    return result == FOTA_APPLY_OK ? Outcome::success : isRefusal(result) ? Outcome::refusal : Outcome::failure;
}

#ifdef FOTA_APPLY_SIGNED_WORK_SIZE
constexpr size_t signedWorkSize = FOTA_APPLY_SIGNED_WORK_SIZE;
#else
constexpr size_t signedWorkSize = FOTA_APPLY_WORK_SIZE;
#endif

const Bytes &oldImage()
{
    static const Bytes bytes = [] {
        const CodeArea area = {0x08000000, codeBase, codeSize};
        quarnel::LodPacketPtr image;
        const std::string path = std::string(FUZZ_DATA_DIR) + "/old.lod";
        if (quarnel::loadCodeImage(path.c_str(), area, image) != FOTA_OK)
            fail("cannot load the old image");
        return quarnel::imageBytes(*image);
    }();
    return bytes;
}

// Everything the calls of one input share.
struct Update {
    Settings settings;
    Bytes pack;
    Bytes secondPack;   // a changing store's, else empty
    HostView secondView; // the second pack before it was cut or padded to the first one's size
    Bytes signature;
    HostView view;
    std::optional<Bytes> replayed; // the code area the host's player leaves, from the pristine flash
    Bytes start;
    FotaSpareArea spare{};
    std::vector<Region> writable;
    std::vector<Region> writableWhileChanging; // the second pack's units too, unless the call is signed
    std::vector<Region> mayTouch;
    CallLimits limits;
    uint64_t seed = 0;
};

uint32_t roundUp(uint64_t value, uint32_t unit)
{
    return static_cast<uint32_t>((value + unit - 1) / unit * unit);
}

// The identity (with a sector map, its fingerprint too) and two records per chunk the host sees, in whole
// sectors, within the modelled state area.
FotaSpareArea spareFor(const Settings &settings, const HostView &view)
{
    const uint32_t unit = settings.programUnit;
    const uint32_t identity = sectorMapOf(settings.sectorMap).empty() ? 40 : 44;
    const uint64_t records = roundUp(identity, unit) + 2 * uint64_t{view.contents.chunks.size()} * unit;
    const uint64_t length = roundUp(records, 4096) + (settings.spareSector ? 4096 : 0);
    return {scratchOffset, stateOffset, static_cast<uint32_t>(std::min<uint64_t>(length, stateSizeLimit)), unit, 0};
}

// A chunk's unit and, on a sector map, the rest of the sectors it touches, which its group rebuilds.
Region sectorsOf(const Settings &settings, const Region &unit)
{
    const std::vector<NorSectorRun> &sectors = sectorMapOf(settings.sectorMap);
    if (sectors.empty() || unit.end <= unit.start || unit.end > flashSize)
        return unit;
    return {quarnel::powercut::sectorOf(sectors, static_cast<uint32_t>(unit.start)).start,
            quarnel::powercut::sectorOf(sectors, static_cast<uint32_t>(unit.end - 1)).end};
}

// The input's pack, and a changing store's second pack of the same size; false when encoding fails.
bool makePacks(const FuzzInput &input, const OldImage &old, Update &update)
{
    const Settings &settings = input.settings;
    auto packOf = [&](const Bytes &body) {
        if (settings.streamBody)
            return packOfStream(body, old);
        Bytes pack = body;
        if (!settings.keepHeader)
            fixHeader(pack, old);
        return pack;
    };
    update.pack = packOf(input.body);
    if (settings.changingStore) {
        const Bytes second = packOf(input.secondBody);
        update.secondView = viewPack(second);
        update.secondPack = resized(second, update.pack.size(), settings.keepHeader, old);
    }
    if (settings.signedCall) {
        update.signature = signatureOf(update.pack);
        if (settings.badSignature)
            update.signature[update.signature.size() / 2] ^= 0x10;
    }
    return !update.pack.empty();
}

// Where the calls may write, what the callbacks serve and how much a call may do, from the pack as the host reads it.
void placeUpdate(Update &update)
{
    const Settings &settings = update.settings;
    update.spare = spareFor(settings, update.view);
    const Region state{stateOffset, uint64_t{stateOffset} + update.spare.stateLength};
    update.mayTouch = {codeArea, scratchArea, state};
    update.writable = {scratchArea, state};
    for (const Region &unit : update.view.units)
        if (!settings.signedCall || codeArea.holds(unit.start, unit.end - unit.start))
            update.writable.push_back(sectorsOf(settings, unit));
    const std::vector<NorSectorRun> &sectors = sectorMapOf(settings.sectorMap);
    update.limits = limitsFor(update.view, update.pack.size(), update.spare, sectors);
    update.writableWhileChanging = update.writable;
    if (!settings.changingStore)
        return;
    update.limits = widest(update.limits, limitsFor(update.secondView, update.pack.size(), update.spare, sectors));
    // Only the signed call promises that the bytes it writes are the signed pack's; the unsigned one
    // may follow whatever the store serves of either pack, and the host may not read the second whole.
    if (!settings.signedCall) {
        for (const Region &unit : update.secondView.units)
            update.writableWhileChanging.push_back(sectorsOf(settings, unit));
        update.writableWhileChanging.push_back(codeArea);
    }
}

std::optional<Update> makeUpdate(const FuzzInput &input)
{
    static const Bytes pristine = pristineFlash(oldImage());
    const OldImage old{pristine, codeBase, static_cast<uint32_t>(oldImage().size())};
    Update update;
    update.settings = input.settings;
    update.seed = input.seed;
    if (!makePacks(input, old, update))
        return std::nullopt;
    update.view = viewPack(update.pack);
    update.replayed = replayPack(update.view, codeAreaOf(pristine));
    update.start = startFlash(update.settings, pristine, old.size, update.replayed, update.view.units);
    placeUpdate(update);
    return update;
}

class Runner {
public:
    // The trust is the device's: the fuzz key, and the code area as the only place packs may write.
    explicit Runner(const Update &update)
        : update_(update), trust_{fuzzKey().point.data(), update.signature.data(),
                                  static_cast<uint32_t>(update.signature.size()), codeBase, codeSize}
    {
    }

    // A call of the settings' entry (or the query) on the pack, the store changing where asked.
    CallRecord call(DeviceRig &rig, Entry entry, std::optional<quarnel::powercut::Cut> cut = std::nullopt,
                    std::optional<StoreChange> change = std::nullopt)
    {
        Call call;
        call.entry = entry;
        call.store = {&update_.pack, change};
        call.trust = &trust_;
        call.spare = update_.spare;
        call.workSize = entry == Entry::applySigned ? signedWorkSize : FOTA_APPLY_WORK_SIZE;
        call.workOffset = update_.settings.workOffset;
        call.cut = cut;
        call.limits = update_.limits;
        call.garbageSeed = update_.seed * 31 + calls_++;
        const CallRecord record = rig.run(call);
        if (!record.cut && std::strcmp(FotaApplyErrorMsg(record.result), "unknown error") == 0)
            fail("a result code the applier does not define");
        // One pack, one total, whichever entry point and however far the call got.
        if (!change && record.progressReports > 0) {
            if (total_ && *total_ != record.total)
                fail("progress: the total differs between calls for one pack");
            total_ = record.total;
        }
        return record;
    }

    CallRecord apply(DeviceRig &rig, std::optional<quarnel::powercut::Cut> cut = std::nullopt,
                     std::optional<StoreChange> change = std::nullopt)
    {
        return call(rig, update_.settings.signedCall ? Entry::applySigned : Entry::apply, cut, change);
    }

    // A device holding flash; one whose store will change may write what either pack names, unsigned.
    std::unique_ptr<DeviceRig> rigFrom(const Bytes &flash, bool storeChanges = false) const
    {
        return std::make_unique<DeviceRig>(flash, storeChanges ? update_.writableWhileChanging : update_.writable,
                                           update_.mayTouch, update_.settings.programUnit, update_.seed,
                                           sectorMapOf(update_.settings.sectorMap));
    }

private:
    const Update &update_;
    const FotaTrust trust_;
    uint64_t calls_ = 0;
    std::optional<uint32_t> total_;
};

// The code area must be what the host's player makes of the pristine flash.
void expectReplayed(const Update &update, const DeviceRig &rig, const char *when)
{
    if (!update.replayed)
        fail((std::string(when) + ": success with a pack the host's player refuses").c_str());
    if (codeAreaOf(rig.flash()) != *update.replayed)
        fail((std::string(when) + ": success, but the code area is not what the pack builds from the old image")
                 .c_str());
}

// The query on the flash the apply call started from.
void compareQuery(const Update &update, const CallRecord &query, const CallRecord &applied)
{
    const int result = applied.result;
    // Only the signed call knows the key and the image area.
    if (update.settings.signedCall && (result == FOTA_APPLY_BAD_SIGNATURE || result == FOTA_APPLY_OUTSIDE_IMAGE_AREA))
        return;
    if (result == FOTA_APPLY_OLD_IMAGE_MISMATCH) {
        if (query.result != FOTA_APPLY_OK || query.status.state != FOTA_STATE_NOT_APPLICABLE)
            fail("query: the apply call found neither image, the query did not say not applicable");
        return;
    }
    if (isRefusal(result)) {
        if (query.result != result)
            fail("query: refused otherwise than the apply call, or not at all");
        return;
    }
    if (isRefusal(query.result))
        fail("query: refused a pack the apply call took");
    if (query.result != FOTA_APPLY_OK)
        return;
    if (result == FOTA_APPLY_OK && applied.writes == 0 && query.status.state != FOTA_STATE_DONE)
        fail("query: the apply call found the update finished, the query did not");
    if (applied.writes > 0 &&
        (query.status.state == FOTA_STATE_DONE || query.status.state == FOTA_STATE_NOT_APPLICABLE))
        fail("query: the apply call started the update, the query called it finished or not applicable");
}

void report(const Update &update, const CallRecord &query, const CallRecord &uncut)
{
    using ull = unsigned long long;
    std::fprintf(stderr,
                 "start %d, %s, %zu-byte pack (%s, %zu chunks): query %d state %d; apply %d after %llu writes, "
                 "%llu flash reads, %llu pack bytes in %llu reads\n",
                 static_cast<int>(update.settings.start), update.settings.signedCall ? "signed" : "unsigned",
                 update.pack.size(), update.view.readable ? "readable" : "unreadable",
                 update.view.contents.chunks.size(), query.result, query.status.state, uncut.result,
                 ull{uncut.writes}, ull{uncut.flashReads}, ull{uncut.packBytes}, ull{uncut.packReads});
}

// The second pack from the chosen one of the uncut run's pack reads on.
StoreChange swapped(const Update &update, const CallRecord &uncut)
{
    return {update.settings.swapAt % (uncut.packReads + 1), &update.secondPack};
}

// Pack reads that fail from the chosen one on, then a call with the store as it was: the first call
// must leave the flash as a refusal or a cut would, so that the second ends as the uncut run did.
void failAndResume(const Update &update, Runner &runner, const CallRecord &uncut)
{
    const auto rig = runner.rigFrom(update.start);
    const CallRecord failed = runner.apply(*rig, std::nullopt, StoreChange{update.settings.swapAt % (uncut.packReads + 1)});
    if (isRefusal(failed.result) && failed.writes > 0)
        fail("an erase or program before a refusal, with the pack's reads failing");
    if (failed.result == FOTA_APPLY_OK)
        expectReplayed(update, *rig, "a call whose pack reads failed");
    const CallRecord resumed = runner.apply(*rig);
    if (outcomeOf(resumed.result) != outcomeOf(uncut.result))
        fail("a call after failed pack reads ended otherwise than the uncut run");
    if (resumed.result == FOTA_APPLY_OK)
        expectReplayed(update, *rig, "a call after failed pack reads");
}

// The same flash cut at a call of the uncut run, then resumed, with the store changing in the resume
// when the input asks for it.
void cutAndResume(const Update &update, Runner &runner, const CallRecord &uncut)
{
    const Settings &settings = update.settings;
    const auto rig = runner.rigFrom(update.start, settings.changingStore);
    const quarnel::powercut::Cut cut{settings.cutAt % uncut.operations, settings.cutMode};
    if (!runner.apply(*rig, cut).cut)
        fail("the cut run never reached its cut: the applier acted otherwise with other garbage in its work memory");
    if (isRefusal(runner.call(*rig, Entry::query).result))
        fail("query: refused a pack after a cut that the apply call took");
    if (settings.changingStore) {
        const CallRecord resumed = runner.apply(*rig, std::nullopt, swapped(update, uncut));
        if (settings.signedCall && resumed.result == FOTA_APPLY_OK)
            expectReplayed(update, *rig, "a signed resume whose store changed");
        return;
    }
    const CallRecord resumed = runner.apply(*rig);
    if (outcomeOf(resumed.result) != outcomeOf(uncut.result))
        fail("a cut and a resume ended otherwise than the uncut run");
    if (resumed.result == FOTA_APPLY_OK)
        expectReplayed(update, *rig, "a resume");
}

void run(const Update &update)
{
    Runner runner(update);
    const auto uncutRig = runner.rigFrom(update.start);
    const CallRecord query = runner.call(*uncutRig, Entry::query);
    const CallRecord uncut = runner.apply(*uncutRig);
    if (fuzzsupport::reportWanted("FUZZ_REPORT_DEVICE"))
        report(update, query, uncut);

    if (isRefusal(uncut.result) && uncut.writes > 0)
        fail("an erase or program before a refusal");
    if (const char *why = mustRefuse(update.view); why != nullptr && !isRefusal(uncut.result))
        fail(why);
    compareQuery(update, query, uncut);
    if (uncut.result == FOTA_APPLY_OK) {
        expectReplayed(update, *uncutRig, "the uncut run");
        const CallRecord again = runner.apply(*uncutRig);
        if (again.result != FOTA_APPLY_OK || again.writes > 0)
            fail("a second call after a success did not return 0 without writing");
        const CallRecord done = runner.call(*uncutRig, Entry::query);
        if (done.result != FOTA_APPLY_OK || done.status.state != FOTA_STATE_DONE ||
            done.status.chunksDone != done.status.chunkCount ||
            done.status.chunkCount != update.view.contents.chunks.size())
            fail("query: a finished update not reported done with all its chunks");
    }
    if (update.settings.changingStore) {
        const auto rig = runner.rigFrom(update.start, true);
        const CallRecord changed = runner.apply(*rig, std::nullopt, swapped(update, uncut));
        if (update.settings.signedCall && changed.result == FOTA_APPLY_OK)
            expectReplayed(update, *rig, "a signed call whose store changed");
    }
    if (update.settings.failingStore)
        failAndResume(update, runner, uncut);
    if (uncut.operations > 0)
        cutAndResume(update, runner, uncut);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < settingsSize)
        return 0;
    const std::optional<Update> update = makeUpdate(parseInput(data, size));
    if (update)
        run(*update);
    return 0;
}
