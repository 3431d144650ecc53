#include "airports/stand_learning.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "airports/learned_merge.h"
#include "airports/stand_file.h"
#include "core/paths.h"
#include "support/parking_fixture.h"

namespace {

using testing::HasSubstr;

class StandLearningTest : public ParkingFixture {
protected:
    void SetUp() override
    {
        ParkingFixture::SetUp();
        setStands({makeStand("A1", 52.30, 4.76), makeStand("A2", 52.31, 4.76)});
    }
    static LearnedAircraft klm(bool heavy = false, bool cargo = false)
    {
        return LearnedAircraft{StandUser{0x484001, "KLM", "B738", "PH-BXA", "KLM123"}, cargo, heavy};
    }
    static std::vector<int> slotsOf(const SlotRecord& r)
    {
        std::vector<int> v;
        for (int i = 0; i < 48; ++i)
            if (r.slots.test(static_cast<std::size_t>(i))) v.push_back(i);
        return v;
    }
    static const std::vector<SlotRecord>& options(std::uint32_t sid) { return findStandById(sid)->options; }
};

TEST_F(StandLearningTest, AStayIsExtendedWithinItsLimit)
{
    struct Step {
        std::uint32_t day;
        std::uint32_t slot;
        bool recorded;
        std::size_t options;
        std::vector<int> lastSlots;  // of the last option
    };
    struct Row {
        const char* name;
        bool heavy;
        bool cargo;
        std::vector<Step> steps;
    };
    const Row rows[] = {
        {"10:00, 12:30 (5 later), 14:30 (4 more)", false, false,
         {{1, 20, true, 1, {20}}, {1, 25, true, 1, {20, 21, 22, 23, 24, 25}},
          {1, 29, true, 1, {20, 21, 22, 23, 24, 25, 26, 27, 28, 29}}}},
        {"6 half hours later: a new option", false, false, {{1, 20, true, 1, {20}}, {1, 26, true, 2, {26}}}},
        {"a Heavy 8 later: a new option", true, false, {{1, 20, true, 1, {20}}, {1, 28, true, 2, {28}}}},
        {"a Heavy 7 later: extended", true, false, {{1, 20, true, 1, {20}}, {1, 27, true, 1, {20, 21, 22, 23, 24, 25, 26, 27}}}},
        {"cargo 11 later: extended", false, true, {{1, 10, true, 1, {10}}, {1, 21, true, 1, {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}}}},
        {"Monday 47 to Tuesday 1: a Tuesday option", false, false, {{1, 47, true, 1, {47}}, {2, 1, true, 2, {0, 1}}}},
        {"Sunday 47 to Monday 0: the week wraps", false, false, {{7, 47, true, 1, {47}}, {1, 0, true, 2, {0}}}},
        {"the half hour already held: nothing counted", false, false, {{1, 20, true, 1, {20}}, {1, 20, false, 1, {20}}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        setStands({makeStand("A1", 52.30, 4.76)});
        standUpdateCount = 0;
        std::uint32_t counted = 0;
        for (const Step& step : row.steps) {
            EXPECT_EQ(lt_addStandOption(1, klm(row.heavy, row.cargo), packWeekdayAndSlot(step.day, step.slot), true),
                      step.recorded);
            counted += step.recorded ? 1 : 0;
            ASSERT_EQ(options(1).size(), step.options);
            EXPECT_EQ(slotsOf(options(1).back()), step.lastSlots);
        }
        EXPECT_EQ(standUpdateCount, counted);
        EXPECT_EQ(options(1).front().real, 1u);
        EXPECT_EQ(options(1).front().reg, "PH-BXA");
    }
}

TEST_F(StandLearningTest, KeysVetoAndSoftOptions)
{
    // No registration: the callsign is the key; neither: nothing.
    LearnedAircraft noReg = klm();
    noReg.names.registration.clear();
    EXPECT_TRUE(lt_addStandOption(1, noReg, packWeekdayAndSlot(1, 20), false));
    EXPECT_EQ(options(1).back().reg, "KLM123");
    noReg.names.callsign.clear();
    EXPECT_FALSE(lt_addStandOption(1, noReg, packWeekdayAndSlot(1, 20), false));
    EXPECT_FALSE(lt_addStandOption(99, klm(), packWeekdayAndSlot(1, 20), false));

    // The airport's own option of this aircraft lacks the half hour: no change.
    setStands({makeStand("A1", 52.30, 4.76, {makeOption("KLM", "B738", "PH-BXA", "KLM123", 1, {30, 31}, 1, 1)}),
               makeStand("A2", 52.31, 4.76)});
    EXPECT_FALSE(lt_addStandOption(1, klm(), packWeekdayAndSlot(1, 20), false));
    EXPECT_EQ(options(1).size(), 1u);
    EXPECT_TRUE(lt_addStandOption(1, klm(), packWeekdayAndSlot(1, 30), false));  // it holds it: a learned option
    EXPECT_EQ(options(1).size(), 2u);

    // Soft observations make soft options; the extra flag keeps them from being set directly.
    EXPECT_TRUE(addStandOptionPT(2, klm(), packWeekdayAndSlot(3, 10), false, false));
    EXPECT_EQ(options(2).back().real, 0u);
    EXPECT_TRUE(addStandOptionPT(2, klm(), packWeekdayAndSlot(3, 11), false, false));
    EXPECT_EQ(slotsOf(options(2).back()), (std::vector<int>{10, 11}));
    EXPECT_EQ(findStandById(2)->seenSoft.size(), 1u);
    EXPECT_TRUE(findStandById(2)->seenReal.empty());
}

TEST_F(StandLearningTest, StandNames)
{
    EXPECT_EQ(standName(0), "sid==0?");
    EXPECT_EQ(standName(2), "A2");
    EXPECT_EQ(standName(7), "unknown");
}

class LearnedSaveTest : public StandLearningTest {
protected:
    // Stands with a learned option, the airport's own option, an invented one
    // and one taken out of play (index 0).
    void fill(bool handmade)
    {
        SlotRecord learned = makeOption("KLM", "B738", "PH-BXA", "KLM123", 1, {20, 21});
        SlotRecord own = makeOption("KLM", "B738", "PH-BXB", "KLM456", 1, {30}, 1, 1);
        SlotRecord invented = makeOption("TRA", "B738", "PH-HZA", "", 2, {10}, 0, 1);
        invented.fake = true;
        SlotRecord outOfPlay = makeOption("MPH", "B744", "PH-MPS", "MPH8", 3, {5});
        std::vector<SlotRecord> opts{learned, own, invented, outOfPlay};
        Stand a = makeStand("A1", 52.30, 4.76, opts);
        a.options[3].optionIndex = 0;
        setStands({a, makeStand("A2", 52.31, 4.76)});
        handmadeMark = handmade;
        standUpdateCount = 2;
    }
    // The options the loader merges from the saved file into fresh stands.
    std::vector<SlotRecord> reload(const std::filesystem::path& path)
    {
        std::vector<Stand> fresh{makeStand("A1", 52.30, 4.76), makeStand("A2", 52.31, 4.76)};
        AirportHeader header;
        header.publisher = loadedAirport.publisher;
        lf_readLearned(path, header, fresh);
        return fresh[0].options;
    }
};

TEST_F(LearnedSaveTest, SavedAndReadBackPerLearnedFolder)
{
    struct Row {
        const char* name;
        std::string reference;
        std::string publisher;
        bool handmade;
        std::filesystem::path path;
        std::vector<std::string> regs;  // what comes back
    };
    const Row rows[] = {
        {"stock", "archive/stock/EHAM.xml", "stock", false, learnedStockFolder / "EHAM.xml", {"PH-BXA", "PH-MPS"}},
        {"simaddon", "airports/my_ORBX/EHAM.xml", "simaddon", false, learnedSimaddonFolder / "EHAM.xml",
         {"PH-BXA", "PH-MPS"}},
        {"a third party, folder made", "airports/my_thirdparty/EHAM.xml", "Fly Tampa", false,
         learnedThirdpartyFolder / "Fly Tampa" / "EHAM.xml", {"PH-BXA", "PH-MPS"}},
        {"handmade keeps the airport's own", "archive/stock/EHAM.xml", "stock", true, learnedStockFolder / "EHAM.xml",
         {"PH-BXA", "PH-BXB", "PH-MPS"}},
        {"a publisher that names a path stays inside", "airports/my_thirdparty/EHAM.xml", "../../x", false,
         learnedThirdpartyFolder / ".._.._x" / "EHAM.xml", {"PH-BXA", "PH-MPS"}},
        {"a file outside the airports folder: the publisher's folder", "D:\\Scenery\\EHAM.xml", "Fly Tampa", false,
         learnedThirdpartyFolder / "Fly Tampa" / "EHAM.xml", {"PH-BXA", "PH-MPS"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fill(row.handmade);
        loadedAirport = {row.reference, "Schiphol", row.publisher, -11};
        AppServicesFake fake;
        ASSERT_TRUE(saveAirportFile());
        ASSERT_TRUE(exists(row.path));
        EXPECT_EQ(standUpdateCount, 0u);
        ASSERT_FALSE(fake.messages().empty());
        EXPECT_THAT(fake.messages().back().text, HasSubstr("saved with 2 updates"));
        std::vector<std::string> regs;
        for (const SlotRecord& r : reload(row.path)) regs.push_back(r.reg);
        std::sort(regs.begin(), regs.end());
        EXPECT_EQ(regs, row.regs);
        std::filesystem::remove(root() / row.path);
    }
}

// A handmade file carries its quality factors: of the records written, not of
// the invented ones the static parking made up (never written).
TEST_F(LearnedSaveTest, AHandmadeFilesQualityCountsOnlyWhatIsWritten)
{
    fill(true);
    loadedAirport = {"archive/stock/EHAM.xml", "Schiphol", "stock", -11};
    std::vector<Stand> written(stands.begin(), stands.end());
    for (Stand& s : written) std::erase_if(s.options, [](const SlotRecord& r) { return r.fake; });
    const auto expected = computeQualityFactors(written);
    ASSERT_NE(expected, computeQualityFactors(stands));  // the invented record would change them
    AppServicesFake fake;
    ASSERT_TRUE(saveAirportFile());
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((root() / learnedStockFolder / "EHAM.xml").c_str()));
    auto value = [&doc](const char* name) {
        return doc.select_node(vr::format("//parameter[@name='{}']", name).c_str()).node().attribute("value").as_int(-2);
    };
    EXPECT_EQ(value("Qf_real"), expected.first);
    EXPECT_EQ(value("Qf_soft"), expected.second);
}

TEST_F(LearnedSaveTest, AFailedSaveKeepsThePreviousFileAndTheOptions)
{
    fill(false);
    loadedAirport = {"airports/my_thirdparty/EHAM.xml", "Schiphol", "Blocked", -11};
    write(learnedThirdpartyFolder / "Blocked", "a file where the folder should be");
    AppServicesFake fake;
    EXPECT_FALSE(saveAirportFile());
    ASSERT_FALSE(fake.messages().empty());
    EXPECT_THAT(fake.messages().back().text, HasSubstr("did not succeed"));
    EXPECT_EQ(read(learnedThirdpartyFolder / "Blocked"), "a file where the folder should be");
    EXPECT_EQ(standUpdateCount, 2u);
    EXPECT_EQ(options(1).size(), 4u);

    // A folder that cannot be written: the old file stays whole, no temporary file.
    loadedAirport = {"archive/stock/EHAM.xml", "Schiphol", "stock", -11};
    write(learnedStockFolder / "EHAM.xml", "old");
    std::filesystem::permissions(root() / learnedStockFolder, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    const bool saved = saveAirportFile();
    std::filesystem::permissions(root() / learnedStockFolder, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    if (!saved) {  // (root may write anyway)
        EXPECT_EQ(read(learnedStockFolder / "EHAM.xml"), "old");
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(root() / learnedStockFolder)) ++files;
        EXPECT_EQ(files, 1u);
    }
}

}  // namespace
