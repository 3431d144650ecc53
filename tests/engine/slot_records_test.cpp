// Slot records: adding, callsigns, setting runs of half hours (also across
// midnight) and matching a slot.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/livery_services_fake.h"
#include "engine/slot_records.h"

namespace {

const StandUser klm{0x484000, "KLM", "B738", "PH-BXA", "KLM123"};

SlotRecord recordWith(std::uint32_t index, std::initializer_list<std::uint32_t> slots, std::uint32_t weekday = 3,
                      std::string reg = "PH-BXA", std::uint32_t real = 1)
{
    SlotRecord r;
    r.optionIndex = index;
    r.weekday = weekday;
    r.reg = std::move(reg);
    r.real = real;
    for (std::uint32_t s : slots) r.slots.set(s);
    return r;
}

std::vector<std::uint32_t> setSlots(const SlotRecord& r)
{
    std::vector<std::uint32_t> out;
    for (std::uint32_t i = 0; i < 48; ++i)
        if (r.slots.test(i)) out.push_back(i);
    return out;
}

}  // namespace

TEST(SlotRecords, EmplaceAddsOneRecordPerAircraftDayAndSlot)
{
    LiveryServicesFake liveries;
    std::vector<SlotRecord> records;
    EXPECT_EQ(lf_emplaceSlotRecord(records, klm, 1, 3, 20, "KLM123_", "PH-BXA"), 1u);
    EXPECT_EQ(lf_emplaceSlotRecord(records, klm, 1, 3, 20, "KLM123", "PH-BXA"), std::nullopt) << "the same record";
    EXPECT_EQ(lf_emplaceSlotRecord(records, klm, 1, 3, 21, "KLM123", "PH-BXA"), 2u) << "another slot";
    EXPECT_EQ(lf_emplaceSlotRecord(records, klm, 0, 4, 20, "KLM123", "PH-BXA"), 3u) << "another day";
    EXPECT_EQ(lf_emplaceSlotRecord(records, klm, 1, 3, 20, "KLM123", ""), std::nullopt) << "no registration";
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].cs, "KLM123") << "the ghost mark goes";
    EXPECT_TRUE(records[0].cs2.empty());
    EXPECT_EQ(records[0].airl, "KLM");
    EXPECT_EQ(records[0].source, 0u);
    EXPECT_EQ(records[2].real, 0u);
    EXPECT_THROW(lf_emplaceSlotRecord(records, klm, 1, 3, 48, "KLM123", "PH-BXA"), std::out_of_range);
    EXPECT_EQ(records.size(), 3u);
}

TEST(SlotRecords, EmplaceTakesAirlineAndTypeFromTheDatabaseOperatorFirst)
{
    LiveryServicesFake liveries;
    liveries.dbase["PH-BXA"] = DbaseRecord{"PH-BXA", "KLM", "B73H", "TRA"};
    liveries.dbase["PH-BXB"] = DbaseRecord{"PH-BXB", "KLM", "B739", ""};
    std::vector<SlotRecord> records;
    lf_emplaceSlotRecord(records, klm, 1, 3, 20, "KLM123", "PH-BXA");
    lf_emplaceSlotRecord(records, klm, 1, 3, 20, "KLM124", "PH-BXB");
    EXPECT_EQ(records[0].airl, "TRA");
    EXPECT_EQ(records[0].type, "B73H");
    EXPECT_EQ(records[1].airl, "KLM");
    EXPECT_EQ(records[1].type, "B739");
}

TEST(SlotRecords, CallsignsFillCsThenCs2)
{
    struct Row {
        const char* name;
        std::string cs, cs2, given;
        std::string wantCs, wantCs2;
    };
    const Row rows[] = {
        {"first callsign", "", "", "KLM1_", "KLM1", ""},
        {"a single underscore is empty: nothing", "", "", "_", "", ""},
        {"a second one", "KLM1", "", "KLM2", "KLM1", "KLM2"},
        {"equal to cs: nothing", "KLM1", "KLM2", "KLM1", "KLM1", "KLM2"},
        {"equal to cs2: nothing", "KLM1", "KLM2", "KLM2_", "KLM1", "KLM2"},
        {"a third replaces cs2", "KLM1", "KLM2", "KLM3", "KLM1", "KLM3"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::vector<SlotRecord> records{recordWith(0, {}), recordWith(4, {})};
        records[1].cs = r.cs;
        records[1].cs2 = r.cs2;
        lf_setSlotsForId(records, 4, r.given);
        EXPECT_EQ(records[1].cs, r.wantCs);
        EXPECT_EQ(records[1].cs2, r.wantCs2);
        lf_setSlotsForId(records, 0, "XXX9");  // index 0 is no record
        EXPECT_TRUE(records[0].cs.empty());
    }
}

TEST(SlotRecords, UpdateOptionsTakesFromTheBackAndKeepsWhatFailed)
{
    std::vector<SlotRecord> records{recordWith(1, {})};
    std::vector<std::uint32_t> slots{5, 60, 7, 6};
    EXPECT_TRUE(updateOptions(records, slots, 1));
    EXPECT_EQ(setSlots(records[0]), (std::vector<std::uint32_t>{6, 7}));
    EXPECT_EQ(slots, (std::vector<std::uint32_t>{5, 60})) << "the bad slot and those before it stay";
    std::vector<std::uint32_t> more{1};
    EXPECT_FALSE(updateOptions(records, more, 2));
    EXPECT_EQ(more.size(), 1u);
}

TEST(SlotRecords, WrappedRunsSplitAtMidnightAndKeepTheNewestSlot)
{
    struct Row {
        const char* name;
        std::vector<std::uint32_t> slots;  // newest first: the back is the oldest
        std::vector<std::uint32_t> a, b, left;
        bool result;
        std::uint32_t indexB = 2;
    };
    const Row rows[] = {
        {"45..2 across midnight", {2, 1, 0, 47, 46, 45}, {45, 46, 47}, {0, 1}, {2}, true},
        {"10..13 on one day", {13, 12, 11, 10}, {10, 11, 12, 13}, {}, {}, true},
        {"starting at midnight: all but the newest in B", {2, 1, 0}, {}, {0, 1}, {2}, true},
        {"no record B", {2, 1, 0, 47}, {47}, {}, {2, 1, 0}, false, 9},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::vector<SlotRecord> records{recordWith(1, {}), recordWith(2, {})};
        std::vector<std::uint32_t> slots = r.slots;
        EXPECT_EQ(updateOptionsWrapped(records, slots, 1, r.indexB), r.result);
        EXPECT_EQ(setSlots(records[0]), r.a);
        EXPECT_EQ(setSlots(records[1]), r.b);
        EXPECT_EQ(slots, r.left);
    }
    std::vector<SlotRecord> records{recordWith(2, {})};
    std::vector<std::uint32_t> slots{3};
    EXPECT_FALSE(updateOptionsWrapped(records, slots, 1, 2)) << "no record A";
}

TEST(SlotRecords, BuildMarksTheHalfHoursEndingAtTheStartInBothRecords)
{
    std::vector<SlotRecord> records{recordWith(1, {}), recordWith(2, {})};
    lf_buildSlotRecords(records, packWeekdayAndSlot(4, 1), "KLM9_", 4, 1, 2);
    EXPECT_EQ(setSlots(records[0]), (std::vector<std::uint32_t>{46, 47}));
    EXPECT_EQ(setSlots(records[1]), (std::vector<std::uint32_t>{0})) << "slot 1, the newest, stays out";
    EXPECT_EQ(records[0].cs, "KLM9");
    EXPECT_EQ(records[1].cs, "KLM9");
    EXPECT_EQ(previousHalfHour(packWeekdayAndSlot(1, 0)), packWeekdayAndSlot(7, 47));
    EXPECT_EQ(nextHalfHour(packWeekdayAndSlot(7, 47)), packWeekdayAndSlot(1, 0));
}

TEST(SlotRecords, SlotMatchesTheSlotOrANeighbourAcrossMidnight)
{
    struct Row {
        const char* name;
        SlotRecord record;
        std::uint32_t slot;
        bool match;
    };
    const Row rows[] = {
        {"slot 0 takes 47", recordWith(1, {47}), 0, true},
        {"slot 0 takes 1", recordWith(1, {1}), 0, true},
        {"slot 0 not 2", recordWith(1, {2}), 0, false},
        {"slot 47 takes 0", recordWith(1, {0}), 47, true},
        {"slot 47 takes 46", recordWith(1, {46}), 47, true},
        {"slot 47 not 45", recordWith(1, {45}), 47, false},
        {"another weekday", recordWith(1, {20}, 4), 20, false},
        {"another registration", recordWith(1, {20}, 3, "PH-BXB"), 20, false},
        {"a soft record", recordWith(1, {20}, 3, "PH-BXA", 0), 20, false},
        {"no record (index 0)", recordWith(0, {20}), 20, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(slotMatches(3, r.slot, "PH-BXA", r.record), r.match);
    }
    EXPECT_THROW(slotMatches(3, 48, "PH-BXA", recordWith(1, {})), std::out_of_range);
}
