#pragma once
// Half-hour slot records: which aircraft stood at a stand on one weekday and in
// which half hours of it. Adding a record, setting slots (also across
// midnight), recording callsigns and matching a slot. Worker thread.
//
// Slots are 0..47 (half hours of the UTC day), weekdays 1 (Monday) .. 7. A slot
// outside 0..47 raises std::out_of_range from the bitset; the functions that
// are documented to catch it log it instead.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/airport_services.h"
#include "engine/stand.h"

struct AcIdentity;

// The slot and weekday of a packed value (core/time.h packSlotAndWeekday).
inline std::uint32_t slotOfPacked(std::uint64_t weekdayAndSlot)
{
    return static_cast<std::uint32_t>(weekdayAndSlot >> 32);
}
inline std::uint32_t weekdayOfPacked(std::uint64_t weekdayAndSlot)
{
    return static_cast<std::uint32_t>(weekdayAndSlot & 0xffffffffu);
}
inline std::uint64_t packWeekdayAndSlot(std::uint32_t weekday, std::uint32_t slot)
{
    return (static_cast<std::uint64_t>(slot) << 32) | weekday;
}
// Half hours on the week of 336 from (day1, slot1) to (day2, slot2), wrapping:
// the age of something born at (day1, slot1) when it is (day2, slot2) now.
// Ages are compared this way, never as weekday x 48 + slot, which jumps back
// at Monday 00:00.
std::int32_t weekHalfHours(std::uint32_t day1, std::uint32_t slot1, std::uint32_t day2, std::uint32_t slot2);
// The age of a birth (weekday, slot) at the packed now.
inline std::int32_t weekAge(std::uint32_t birthDay, std::uint32_t birthSlot, std::uint64_t now)
{
    return weekHalfHours(birthDay, birthSlot, weekdayOfPacked(now), slotOfPacked(now));
}
// The half hour after / before, with the weekday stepping 7 -> 1 / 1 -> 7.
std::uint64_t nextHalfHour(std::uint64_t weekdayAndSlot);
std::uint64_t previousHalfHour(std::uint64_t weekdayAndSlot);

// The names of an aircraft as the stand-use records compare them.
StandUser standUserOf(const AcIdentity& ac);

// The callsign without one trailing "_".
std::string withoutGhostMark(const std::string& callsign);

// Appends a single-slot record for the aircraft and returns its option index;
// nothing for an empty registration or when the same single-slot record (reg,
// weekday, slot, callsign) exists. Airline and type come from the aircraft
// database when it knows the registration (its operator first).
std::optional<std::uint32_t> lf_emplaceSlotRecord(std::vector<SlotRecord>& records, const StandUser& identity,
                                                  std::uint32_t real, std::uint32_t weekday, std::uint32_t slot,
                                                  const std::string& callsign, const std::string& registration);
// Records a callsign in the record with that index: first cs, then cs2 (a third replaces cs2).
void lf_setSlotsForId(std::vector<SlotRecord>& records, std::uint32_t optionIndex, const std::string& callsign);
// Sets the slots taken from the back of slotNumbers in the record; false when
// no record has the index. A bad slot is logged and stays with the rest.
bool updateOptions(std::vector<SlotRecord>& records, std::vector<std::uint32_t>& slotNumbers,
                   std::uint32_t optionIndex);
// The same for a run that may pass midnight (back = oldest): record A takes the
// slots up to 47, record B the rest except the newest, which stays in the vector.
bool updateOptionsWrapped(std::vector<SlotRecord>& records, std::vector<std::uint32_t>& slotNumbers,
                          std::uint32_t indexA, std::uint32_t indexB);
// Marks the `count` half hours ending at the start slot in records A and B and
// records the callsign in both.
void lf_buildSlotRecords(std::vector<SlotRecord>& records, std::uint64_t startWeekdayAndSlot,
                         const std::string& callsign, std::uint32_t count, std::uint32_t indexA,
                         std::uint32_t indexB);
// A real record of that weekday and registration holding the slot or a neighbour (wrapping).
bool slotMatches(std::uint32_t weekday, std::uint32_t slot, const std::string& registration,
                 const SlotRecord& record);
