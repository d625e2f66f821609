// The device around the applier: the NOR model behind callbacks that count every call, stop a breach
// where it happens and refuse what an integrator's callbacks refuse, a pack store that may change,
// and the progress contract checked report by report.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "device_apply/layout.h"
#include "packcheck/nor_flash_sim.h"
#include "packcheck/power_cuts.h"
#include "quarnel_apply.h"

namespace devicefuzz {

using Bytes = std::vector<uint8_t>;

enum class Entry { apply, applySigned, query };

// What the store does from one pack read on, counted from 0 within the call.
struct StoreChange {
    uint64_t fromRead = 0;
    const Bytes *second = nullptr; // served from then on; nullptr: every read fails from then on
};

struct PackStore {
    const Bytes *first = nullptr;
    std::optional<StoreChange> change;
};

// What one call may do before it counts as a loop.
struct CallLimits {
    uint64_t writes = 0; // erase and program calls
    uint64_t flashReads = 0;
    uint64_t packBytes = 0;
    uint64_t packReads = 0;
};

struct Call {
    Entry entry = Entry::apply;
    PackStore store;
    const FotaTrust *trust = nullptr; // for applySigned
    FotaSpareArea spare{};
    size_t workSize = 0;
    uint32_t workOffset = 0;
    std::optional<quarnel::powercut::Cut> cut;
    CallLimits limits;
    uint64_t garbageSeed = 0;
};

// What a call did, as its callbacks saw it.
struct CallRecord {
    int result = -1;
    bool cut = false; // the power failed inside the call, which so never returned
    FotaApplyStatus status{};
    uint64_t writes = 0;     // erase and program calls, those the callbacks refused included
    uint64_t operations = 0; // erase and program calls that reached the NOR model, as cuts count them
    uint64_t flashReads = 0;
    uint64_t packReads = 0;
    uint64_t packBytes = 0;
    uint64_t progressReports = 0;
    uint32_t lastDone = 0;
    uint32_t total = 0;
};

class DeviceRig {
public:
    // writable: where the applier may erase and program at all, any other write is a breach;
    // mayTouch: what the callbacks serve, as an integrator's refuse the rest.
    DeviceRig(Bytes flash, std::vector<Region> writable, std::vector<Region> mayTouch, uint32_t programUnit,
              uint64_t seed, const std::vector<NorSectorRun> &sectors);
    DeviceRig(const DeviceRig &) = delete;
    DeviceRig &operator=(const DeviceRig &) = delete;

    CallRecord run(const Call &call);
    const Bytes &flash() const { return sim_.bytes(); }

private:
    static int readFlash(void *context, uint32_t offset, void *out, uint32_t length);
    static int eraseFlash(void *context, uint32_t offset, uint32_t length);
    static int programFlash(void *context, uint32_t offset, const void *data, uint32_t length);
    static void reportProgress(void *context, uint32_t done, uint32_t total);
    static int sectorAt(void *context, uint32_t offset, uint32_t *start, uint32_t *length);
    static int readPack(void *context, uint32_t offset, void *out, uint32_t length);

    // Counts a write and says whether the callbacks carry it out; stops the run on a breach.
    bool admitWrite(const char *what, uint32_t offset, uint32_t length);
    int invoke(const Call &call, uint8_t *work);

    quarnel::powercut::NorFlashSim sim_;
    FotaFlash model_;
    std::vector<Region> writable_;
    std::vector<Region> mayTouch_;
    const Call *call_ = nullptr;
    CallRecord record_;
};

} // namespace devicefuzz
