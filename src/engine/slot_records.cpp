#include "engine/slot_records.h"

#include <stdexcept>

#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "engine/ac_records.h"

std::int32_t weekHalfHours(std::uint32_t day1, std::uint32_t slot1, std::uint32_t day2, std::uint32_t slot2)
{
    std::int32_t d = (static_cast<std::int32_t>(day2) - static_cast<std::int32_t>(day1)) * 48 +
                     static_cast<std::int32_t>(slot2) - static_cast<std::int32_t>(slot1);
    if (d < 0) d += 336;
    return d;
}

std::uint64_t nextHalfHour(std::uint64_t weekdayAndSlot)
{
    const std::uint32_t slot = slotOfPacked(weekdayAndSlot);
    const std::uint32_t weekday = weekdayOfPacked(weekdayAndSlot);
    if (slot < 47) return packWeekdayAndSlot(weekday, slot + 1);
    return packWeekdayAndSlot(weekday >= 7 ? 1 : weekday + 1, 0);
}

std::uint64_t previousHalfHour(std::uint64_t weekdayAndSlot)
{
    const std::uint32_t slot = slotOfPacked(weekdayAndSlot);
    const std::uint32_t weekday = weekdayOfPacked(weekdayAndSlot);
    if (slot > 0) return packWeekdayAndSlot(weekday, slot - 1);
    return packWeekdayAndSlot(weekday <= 1 ? 7 : weekday - 1, 47);
}

StandUser standUserOf(const AcIdentity& ac)
{
    return StandUser{ac.aircraftId, ac.airline, ac.type, ac.registration, ac.callsign};
}

std::string withoutGhostMark(const std::string& callsign)
{
    if (!callsign.empty() && callsign.back() == '_') return callsign.substr(0, callsign.size() - 1);
    return callsign;
}

namespace {

SlotRecord* lf_recordWithIndex(std::vector<SlotRecord>& records, std::uint32_t optionIndex)
{
    if (optionIndex == 0) return nullptr;
    for (SlotRecord& r : records) {
        if (r.optionIndex == optionIndex) return &r;
    }
    return nullptr;
}

}  // namespace

std::optional<std::uint32_t> lf_emplaceSlotRecord(std::vector<SlotRecord>& records, const StandUser& identity,
                                                  std::uint32_t real, std::uint32_t weekday, std::uint32_t slot,
                                                  const std::string& callsign, const std::string& registration)
{
    if (registration.empty()) return std::nullopt;
    const std::string cs = withoutGhostMark(callsign);
    std::bitset<48> single;
    single.set(slot);  // throws for a slot above 47
    std::string airl = identity.airline;
    std::string type = identity.type;
    if (const auto db = gf_findDbaseRecord(registration)) {
        airl = db->op.empty() ? db->airline : db->op;
        type = db->type;
    }
    for (const SlotRecord& r : records) {
        if (r.reg == registration && r.weekday == weekday && r.slots == single && r.cs == cs) return std::nullopt;
    }
    SlotRecord r;
    r.airl = std::move(airl);
    r.type = std::move(type);
    r.reg = registration;
    r.cs = cs;
    r.slots = single;
    r.optionIndex = records.empty() ? 1 : records.back().optionIndex + 1;
    r.weekday = weekday;
    r.source = 0;
    r.real = real;
    records.push_back(std::move(r));
    return records.back().optionIndex;
}

void lf_setSlotsForId(std::vector<SlotRecord>& records, std::uint32_t optionIndex, const std::string& callsign)
{
    const std::string cs = withoutGhostMark(callsign);
    if (cs.empty()) return;
    SlotRecord* r = lf_recordWithIndex(records, optionIndex);
    if (r == nullptr) return;
    if (r->cs.empty()) {
        r->cs = cs;
        return;
    }
    if (cs == r->cs || cs == r->cs2) return;
    r->cs2 = cs;
}

bool updateOptions(std::vector<SlotRecord>& records, std::vector<std::uint32_t>& slotNumbers,
                   std::uint32_t optionIndex)
{
    SlotRecord* r = lf_recordWithIndex(records, optionIndex);
    if (r == nullptr) return false;
    try {
        while (!slotNumbers.empty()) {
            r->slots.set(slotNumbers.back());
            slotNumbers.pop_back();
        }
    } catch (const std::out_of_range& e) {
        logLine(vr::format("{} exception:{}", "updateOptions", e.what()));
    }
    return true;
}

bool updateOptionsWrapped(std::vector<SlotRecord>& records, std::vector<std::uint32_t>& slotNumbers,
                          std::uint32_t indexA, std::uint32_t indexB)
{
    try {
        SlotRecord* a = lf_recordWithIndex(records, indexA);
        if (a == nullptr) return false;
        if (!slotNumbers.empty() && slotNumbers.back() != 0) {
            while (!slotNumbers.empty()) {
                const std::uint32_t slot = slotNumbers.back();
                a->slots.set(slot);
                slotNumbers.pop_back();
                if (slot == 47) break;  // a run across midnight goes on in B
            }
        }
        SlotRecord* b = lf_recordWithIndex(records, indexB);
        if (b == nullptr) return false;
        // The newest slot of the run (the vector's last) stays.
        while (slotNumbers.size() >= 2) {
            b->slots.set(slotNumbers.back());
            slotNumbers.pop_back();
        }
    } catch (const std::out_of_range& e) {
        logLine(vr::format("{} exception:{}", "updateOptionsWrapped", e.what()));
    }
    return true;
}

void lf_buildSlotRecords(std::vector<SlotRecord>& records, std::uint64_t startWeekdayAndSlot,
                         const std::string& callsign, std::uint32_t count, std::uint32_t indexA,
                         std::uint32_t indexB)
{
    std::vector<std::uint32_t> slotNumbers;
    slotNumbers.reserve(count);
    std::uint64_t at = startWeekdayAndSlot;
    for (std::uint32_t i = 0; i < count; ++i) {
        slotNumbers.push_back(slotOfPacked(at));
        at = previousHalfHour(at);
    }
    updateOptionsWrapped(records, slotNumbers, indexA, indexB);
    lf_setSlotsForId(records, indexA, callsign);
    lf_setSlotsForId(records, indexB, callsign);
}

bool slotMatches(std::uint32_t weekday, std::uint32_t slot, const std::string& registration,
                 const SlotRecord& record)
{
    if (record.optionIndex == 0 || record.weekday != weekday || record.real != 1) return false;
    if (record.reg != registration) return false;
    return record.slots.test(slot) || record.slots.test((slot + 47) % 48) || record.slots.test((slot + 1) % 48);
}
