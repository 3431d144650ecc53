#include "liveries/livery_index.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/fmt.h"
#include "support/livery_world.h"

namespace {

using testing::ElementsAre;
using testing::IsEmpty;

class LiveryIndexes : public testing::Test {
protected:
    void SetUp() override
    {
        readWorldDbase();
        setParametersFile(dir / "parameters.xml");
    }
    void TearDown() override { resetLiveryWorld(); }

    // The log lines of the category summaries (the options' own lines left out).
    std::vector<std::string> summaryLines() const
    {
        std::vector<std::string> lines;
        for (const std::string& l : dir.logLines())
            if (l.rfind("Category", 0) == 0 || l.rfind("  ", 0) == 0 || l.find("temporarily") != std::string::npos)
                lines.push_back(l);
        return lines;
    }

    WorkingFolder dir;
};

TitleViews titlesOf(const TextMap<TextMap<TitleViews>>& index, const std::string& airline, const std::string& model)
{
    const auto a = index.find(airline);
    if (a == index.end()) return {};
    const auto m = a->second.find(model);
    return m == a->second.end() ? TitleViews{} : m->second;
}

TitleViews titlesOf(const TextMap<TitleViews>& index, const std::string& model)
{
    const auto m = index.find(model);
    return m == index.end() ? TitleViews{} : m->second;
}

TEST_F(LiveryIndexes, BuildsTheKindMapsFromOneOwnerOfTheTitles)
{
    struct Row {
        const char* name;
        std::list<Livery> liveries;
        std::function<void()> check;
    };
    const Row rows[] = {
        {"pax and cargo of one key: one entry vector, two kind maps",
         {livery("AAA", "B738", "Cargo", true), livery("AAA", "B738", "Pax")},
         [] {
             ASSERT_EQ(LiveryIndex.at("AAA").at("B738").size(), 2u);
             EXPECT_THAT(titlesOf(AirlineModelIndex[paxKind], "AAA", "B738"), ElementsAre("Pax"));
             EXPECT_THAT(titlesOf(AirlineModelIndex[cargoKind], "AAA", "B738"), ElementsAre("Cargo"));
             EXPECT_THAT(titlesOf(ModelIndex[paxKind], "B738"), ElementsAre("Pax"));
             EXPECT_THAT(titlesOf(ModelIndex[cargoKind], "B738"), ElementsAre("Cargo"));
             // Every view points into the index's own strings.
             EXPECT_EQ(titlesOf(ModelIndex[paxKind], "B738")[0].data(),
                       LiveryIndex.at("AAA").at("B738")[1].title.data());
         }},
        {"an all-cargo airline is absent from the pax map",
         {livery("CGX", "B744", "Freighter", true)},
         [] {
             EXPECT_EQ(AirlineModelIndex[paxKind].count("CGX"), 0u);
             EXPECT_EQ(AirlineModelIndex[cargoKind].count("CGX"), 1u);
             EXPECT_EQ(ModelIndex[paxKind].count("B744"), 0u);
         }},
        {"two airlines with the same model in sequence",
         {livery("A", "B738", "A one"), livery("B", "B738", "B one"), livery("B", "B738", "B two")},
         [] {
             EXPECT_EQ(LiveryIndex.at("A").at("B738").size(), 1u);
             EXPECT_EQ(LiveryIndex.at("B").at("B738").size(), 2u);
             EXPECT_TRUE(lf_hasAirlineModel("A", "B738"));
             EXPECT_FALSE(lf_hasAirlineModel("A", "A320"));
             EXPECT_FALSE(lf_hasAirlineModel("C", "B738"));
         }},
        {"one model over airlines: ordered by airline, then title",
         {livery("A", "B738", "Zulu"), livery("B", "B738", "Alpha"), livery("A", "B738", "Mike"),
          livery("B", "A320", "Other")},
         [] { EXPECT_THAT(titlesOf(ModelIndex[paxKind], "B738"), ElementsAre("Mike", "Zulu", "Alpha")); }},
        {"airline codes are cut to three characters",
         {livery("AB", "B738", "x"), livery("ABCD", "B738", "y")},
         [] { EXPECT_THAT(lf_airlineCodes(), ElementsAre("AB", "ABC")); }},
        {"titles are found by content",
         {livery("A", "B738", "Short"), livery("B", "B738", "A title longer than a short string")},
         [] {
             const std::string wanted = "A title longer than a short string";
             EXPECT_EQ(lf_findScannedTitle(wanted).data(), LiveryIndex.at("B").at("B738")[0].title.data());
             EXPECT_EQ(lf_indexedTitle(wanted).data(), lf_findScannedTitle(wanted).data());
             EXPECT_TRUE(lf_findScannedTitle("Missing").empty());
             EXPECT_TRUE(lf_indexedTitle("Missing").empty());
         }},
        {"an empty list gives empty indexes",
         {},
         [] {
             EXPECT_TRUE(LiveryIndex.empty());
             EXPECT_TRUE(ModelIndex[paxKind].empty());
             EXPECT_THAT(lf_airlineCodes(), IsEmpty());
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::list<Livery> liveries = row.liveries;
        lf_sortLiveries(liveries);
        lf_indexLiveries(liveries);
        lf_buildAirlineModelIndexes();
        lf_buildModelIndexes();
        row.check();
        gf_clearLiveryIndexes();
    }
}

TEST_F(LiveryIndexes, CategorySummaries)
{
    std::list<Livery> manyLight;
    for (int i = 0; i < 45; ++i) manyLight.push_back(livery("AAA", vr::format("L{:02}", i), vr::format("L{:02}", i)));
    struct Row {
        const char* name;
        std::list<Livery> liveries;
        bool lightOn;
        AcCategory category;
        std::vector<std::string> lines;
        std::vector<std::string> viewCalls;
        bool lightAfter;
    };
    const Row rows[] = {
        {"cargo only: a pax count of 0 with its s",
         {livery("CGX", "B744", "F1", true), livery("CGX", "B744", "F2", true)},
         true,
         AcCategory::Heavy,
         {"Category Heavy: 0 pax liveries and 2 cargo liveries", "  B744"},
         {},
         true},
        {"one pax livery, no cargo part",
         {livery("AAA", "B738", "P1")},
         true,
         AcCategory::Large,
         {"Category Large: 1 pax liverie", "  B738"},
         {},
         true},
        {"45 light models in rows of 20, 20 and 5",
         manyLight,
         true,
         AcCategory::Light,
         {},
         {"enable LIGHT_AIRCRAFT on"},
         true},
        {"no light livery switches the option off, saves it and disables the box",
         {livery("AAA", "B738", "P1")},
         true,
         AcCategory::Light,
         {"Category Light: No livery found",
          "LIGHT_AIRCRAFT temporarily switched off because you do not have light aircraft installed"},
         {"enable LIGHT_AIRCRAFT off"},
         false},
        {"no light livery with the option already off: only the first line",
         {livery("AAA", "B738", "P1")},
         false,
         AcCategory::Light,
         {"Category Light: No livery found"},
         {"enable LIGHT_AIRCRAFT off"},
         false},
        {"no livery of a category without an option",
         {livery("AAA", "B738", "P1")},
         true,
         AcCategory::Buzjets,
         {"Category Buzjets: No livery found"},
         {},
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingOptionView view;
        view.attach({&LIGHT_AIRCRAFT});
        LIGHT_AIRCRAFT.set(row.lightOn);
        const std::size_t before = summaryLines().size();
        lf_indexLiveries(row.liveries);
        lf_buildModelIndexes();
        lf_summarizeCategory(row.category);
        std::vector<std::string> lines = summaryLines();
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(before));
        if (row.liveries.size() == 45) {
            ASSERT_EQ(lines.size(), 4u);
            EXPECT_EQ(lines[0], "Category Light: 45 pax liveries");
            EXPECT_EQ(lines[1].rfind("  L00,L01,", 0), 0u);
            EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), ','), 19);
            EXPECT_EQ(std::count(lines[2].begin(), lines[2].end(), ','), 19);
            EXPECT_EQ(lines[3], "  L40,L41,L42,L43,L44");
            EXPECT_EQ(CategoryModels.light.size(), 45u);
        } else {
            EXPECT_EQ(lines, row.lines);
        }
        EXPECT_EQ(view.calls, row.viewCalls);
        EXPECT_EQ(LIGHT_AIRCRAFT.get(), row.lightAfter);
        if (row.lightOn && !row.lightAfter) {
            EXPECT_NE(readWholeFile(dir / "parameters.xml").find(R"(name="LIGHT_AIRCRAFT" value="false")"),
                      std::string::npos);
        }
        gf_clearLiveryIndexes();
        LIGHT_AIRCRAFT.setWindow(nullptr);
    }
}

TEST_F(LiveryIndexes, RandomCategoryModelDrawsModuloTheCount)
{
    EXPECT_EQ(lf_randomCategoryModel({}), "");
    seedRandomEngine(7);
    const std::uint32_t first = std::mt19937(tlRandomEngine())();
    EXPECT_EQ(lf_randomCategoryModel({"ONLY"}), "ONLY");  // no draw for one model
    EXPECT_EQ(tlRandomEngine()(), first);
    seedRandomEngine(7);
    const std::vector<std::string> three{"A", "B", "C"};
    const std::string expected = three[std::mt19937(tlRandomEngine())() % 3];
    EXPECT_EQ(lf_randomCategoryModel(three), expected);
}

TEST_F(LiveryIndexes, ClearingEmptiesEveryIndexAndReserveActsOnce)
{
    gf_reserveLiveryVectors();
    EXPECT_GE(SpecialTitles.capacity(), 4096u);
    buildLiveryWorld();
    EXPECT_FALSE(RegcodeTable.empty());
    EXPECT_FALSE(SpecialTitles.empty());
    EXPECT_FALSE(CategoryModels.light.empty());
    gf_clearLiveryIndexes();
    EXPECT_TRUE(LiveryIndex.empty());
    EXPECT_TRUE(AirlineModelIndex[paxKind].empty() && AirlineModelIndex[cargoKind].empty());
    EXPECT_TRUE(ModelIndex[paxKind].empty() && ModelIndex[cargoKind].empty());
    EXPECT_TRUE(RegcodeTable.empty());
    EXPECT_TRUE(SpecialTitles.empty() && SpecialTitleSet.empty());
    EXPECT_TRUE(CategoryModels.light.empty() && CategoryModels.buzjets.empty() && CategoryModels.rotorcraft.empty());
    EXPECT_TRUE(lf_indexedTitle("AAA B738 Pax").empty());
}

TEST_F(LiveryIndexes, SimilarModelsOfTheInstalledLiveries)
{
    buildLiveryWorld();
    // {A320,A20N}: both installed; {B738,B744}: both; {C152,C172,PA28}: PA28 has none.
    EXPECT_THAT(SimilarInstalledModels.at("A320"), ElementsAre("A20N"));
    EXPECT_THAT(SimilarInstalledModels.at("PA28"), ElementsAre("C152", "C172"));
    EXPECT_THAT(SimilarInstalledModels.at("C172"), ElementsAre("C152"));
    EXPECT_EQ(SimilarInstalledModels.size(), 7u);
    // AAA lacks A20N and B744 and has A320 and B738.
    EXPECT_THAT(gf_similarModels("AAA", "A20N"), ElementsAre("A320"));
    EXPECT_THAT(gf_similarModels("AAA", "B744"), ElementsAre("B738"));
    EXPECT_THAT(gf_similarModels("AAA", "A320"), IsEmpty());  // has it
    EXPECT_THAT(gf_similarModels("XYZ", "A320"), IsEmpty());
    // BBB has C152 only: PA28 and C172 point there.
    EXPECT_THAT(gf_similarModels("BBB", "PA28"), ElementsAre("C152"));
    EXPECT_THAT(dir.logLines(), testing::Contains("7 similar model definitions"));

    // A rebuild starts from empty maps: without the groups nothing is left.
    SimilarTypeGroups.clear();
    gf_buildSimilarModels();
    EXPECT_TRUE(SimilarInstalledModels.empty());
    EXPECT_TRUE(SimilarModelsByAirline.empty());
}

TEST_F(LiveryIndexes, SimilarModelsAreShuffledAsASet)
{
    SimilarTypeGroups = {{"A", "B", "C", "D"}};
    lf_indexLiveries({livery("X", "B", "b"), livery("X", "C", "c"), livery("X", "D", "d")});
    lf_buildModelIndexes();
    gf_buildSimilarModels();
    seedRandomEngine(3);
    std::set<std::vector<std::string>> orders;
    for (int i = 0; i < 30; ++i) {
        const std::vector<std::string> order = gf_similarModels("X", "A");
        EXPECT_EQ(std::set<std::string>(order.begin(), order.end()), (std::set<std::string>{"B", "C", "D"}));
        orders.insert(order);
    }
    EXPECT_GT(orders.size(), 1u);
}

}  // namespace
