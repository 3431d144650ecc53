#include "airports/learned_merge.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "airports/airport_load.h"
#include "airports/stand_file.h"
#include "core/app_services.h"
#include "core/startup_globals.h"
#include "support/airport_fixture.h"

namespace {

using testing::ElementsAre;
using testing::HasSubstr;

using Params = std::vector<std::pair<std::string, std::string>>;

const Params airportParams{{"airport_name", "Schiphol"}, {"publisher", "unknown"}, {"altitude", "-11"}};

class LearnedMergeTest : public AirportFixture {
protected:
    // Two stands from the airport file, then the learned text merged.
    std::vector<Stand> merge(const std::string& learned)
    {
        std::vector<Stand> v;
        v.push_back(Stand("A1", std::vector<SlotRecord>{}, 52.3, 4.76, 0.0, 20.0, StandKind{}));
        v.push_back(Stand("A2", std::vector<SlotRecord>{}, 52.31, 4.76, 0.0, 20.0, StandKind{}));
        SlotRecord r;
        r.airl = "KLM";
        r.type = "B738";
        r.reg = "PH-BXA";
        r.slots.set(10);
        r.optionIndex = 1;
        r.weekday = 3;
        r.source = 1;
        r.real = 1;
        v[1].options.push_back(r);
        write("airports/learned/EHAM.xml", learned);
        lf_readLearned("airports/learned/EHAM.xml", AirportHeader{.airportName = "Schiphol", .publisher = ""}, v);
        return v;
    }
    static std::vector<std::string> names(const std::vector<Stand>& v)
    {
        std::vector<std::string> n;
        for (const Stand& s : v) n.push_back(s.name);
        return n;
    }
};

std::string opt(const std::string& reg, int day, const std::string& hh, const std::string& extra = "")
{
    return vr::format(R"(<opt reg="{}" airl="KLM" type="B738" day="{}" hh="{}"{}{}/>)", reg, day, hh,
                      extra.empty() ? "" : " ", extra);
}

TEST_F(LearnedMergeTest, MergeCases)
{
    struct Row {
        const char* name;
        std::vector<std::string> parkpos;
        std::vector<std::string> stands;  // names afterwards
        std::function<void(const std::vector<Stand>&)> check;
        const char* logged = nullptr;
    };
    const Row rows[] = {
        {"manual stand near 0/0 refused",
         {parkposText("M1", 0.00005, 0.00005, 20, R"(manual="true")")}, {"A1", "A2"}, nullptr,
         "manually created standid M1 misses correct attributes in airports/learned/EHAM.xml"},
        {"manual stand without radius refused", {parkposText("M1", 52.0, 4.0, 0, R"(manual="true")")}, {"A1", "A2"},
         nullptr, "manually created standid M1 misses correct attributes"},
        {"manual stand accepted", {parkposText("M1", 0.0002, 0.0, 20, R"(manual="true")")}, {"A1", "A2", "M1"},
         [](const std::vector<Stand>& v) {
             EXPECT_TRUE(v[2].manual);
             EXPECT_NEAR(v[2].latitude, 0.0002, 1e-12);
         }},
        {"manual stand with an existing id", {parkposText("A1", 52.0, 4.0, 20, R"(manual="true")")}, {"A1", "A2"},
         [](const std::vector<Stand>& v) { EXPECT_EQ(v[0].latitude, 52.3); },
         "manually created standid A1 already exists in airports/learned/EHAM.xml"},
        {"radius and cargo changes",
         {R"(<parkpos id="A1" radius_change="true" radius="30.0" cargo_change="true" cargo="true"/>)"},
         {"A1", "A2"},
         [](const std::vector<Stand>& v) {
             EXPECT_NEAR(v[0].radius * kNmToMetres, 30.0, 1e-9);
             EXPECT_TRUE(v[0].radiusChange);
             EXPECT_TRUE(v[0].cargo);
             EXPECT_TRUE(v[0].cargoChange);
             EXPECT_FALSE(v[1].radiusChange);
         }},
        {"a radius that is not a number is kept",
         {R"(<parkpos id="A1" radius_change="true" radius="nan"/>)"}, {"A1", "A2"},
         [](const std::vector<Stand>& v) {
             EXPECT_NEAR(v[0].radius * kNmToMetres, 20.0, 1e-9);
             EXPECT_FALSE(v[0].radiusChange);
         }},
        {"an option sharing a slot is dropped, one without is added with the next index",
         {R"(<parkpos id="A2">)" + opt("PH-BXA", 3, "9,10") + opt("PH-BXA", 3, "11") + opt("PH-BXA", 4, "10") +
          "</parkpos>"},
         {"A1", "A2"},
         [](const std::vector<Stand>& v) {
             ASSERT_EQ(v[1].options.size(), 3u);
             EXPECT_EQ(v[1].options[1].optionIndex, 2u);
             EXPECT_EQ(v[1].options[1].slots.to_ullong(), 1ull << 11);
             EXPECT_EQ(v[1].options[1].source, 0u);
             EXPECT_EQ(v[1].options[2].optionIndex, 3u);
             EXPECT_EQ(v[1].options[2].weekday, 4u);
         }},
        {"a soft option is not the real one", {R"(<parkpos id="A2">)" + opt("PH-BXA", 3, "10", R"(soft="true")") + "</parkpos>"},
         {"A1", "A2"}, [](const std::vector<Stand>& v) { EXPECT_EQ(v[1].options.size(), 2u); }},
        {"unknown stand", {R"(<parkpos id="Z9"/>)"}, {"A1", "A2"}, nullptr,
         "learned stand Z9 in airports/learned/EHAM.xml not found?"},
        {"handmade replaces every stand",
         {parkposText("H1", 52.0, 4.0, 20), parkposText("H2", 52.1, 4.0, 20)}, {"H1", "H2"},
         [](const std::vector<Stand>& v) { EXPECT_EQ(v[0].options.size(), 0u); }},
        {"handmade with a duplicate keeps the stands before it",
         {parkposText("H1", 52.0, 4.0, 20), parkposText("H2", 52.1, 4.0, 20), parkposText("H1", 52.2, 4.0, 20),
          parkposText("H3", 52.3, 4.0, 20)},
         {"H1", "H2"}, nullptr, "lf_readLearned: Parking position H1 appears more than once?"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const bool handmade = std::string(row.name).rfind("handmade", 0) == 0;
        Params params{{"airport_name", "Schiphol"}};
        if (handmade) params.emplace_back("handmade", "true");
        handmadeMark = !handmade;  // the merge sets it from the file
        const std::size_t logged = row.logged ? logLinesWith(row.logged).size() : 0;
        const std::vector<Stand> v = merge(standFileText(params, row.parkpos));
        EXPECT_EQ(names(v), row.stands);
        EXPECT_EQ(handmadeMark.load(), handmade);
        if (row.check) row.check(v);
        if (row.logged) {
            EXPECT_EQ(logLinesWith(row.logged).size(), logged + 1);
        }
    }
}

TEST_F(LearnedMergeTest, MaxLiveSnapping)
{
    struct Row {
        const char* value;  // nullptr: no entry
        int selected;
    };
    const Row rows[] = {{"20", 25}, {"300", 500}, {"-1", 500}, {"0", 0},  {"1", 10},   {"17", 10},  {"18", 25},
                        {"62", 50}, {"63", 75},   {"88", 100}, {"299", 100}, {nullptr, 77}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value ? row.value : "absent");
        MAX_LIVE_SEL.set(77);
        Params params{{"airport_name", "Schiphol"}};
        if (row.value) params.emplace_back("MAX_LIVE", row.value);
        merge(standFileText(params, {}));
        EXPECT_EQ(MAX_LIVE_SEL.get(), row.selected);
    }
}

TEST_F(LearnedMergeTest, OptionCopiesAreTakenButNotSaved)
{
    merge(standFileText({{"airport_name", "Other"}, {"LATERAL_RANGE", "23"}, {"AUTO_RANGE", "false"},
                         {"WEEK", "27"}, {"PARK_FAKE", "true"}, {"PARK_SOFT", "false"},
                         {"parking_percentage", "55"}, {"INITIAL_LOAD_ONLY", "true"}, {"MAX_FIT", "9"},
                         {"RT_PARKTRAFFIC_ONLY", "true"}, {"LEARN_SOFT", "false"}},
                        {}));
    EXPECT_EQ(RANGE.get(), 25);
    EXPECT_EQ(rangeNm.load(), 25.0);
    EXPECT_FALSE(AUTO_RANGE.get());
    EXPECT_FALSE(WEEK.get()) << "27 reads as false";
    EXPECT_TRUE(PARK_FAKE.get());
    EXPECT_FALSE(PARK_SOFT.get());
    EXPECT_EQ(parking_percentage.get(), 55);
    EXPECT_TRUE(INITIAL_LOAD_ONLY.get());
    EXPECT_EQ(MAX_FIT.get(), 9);
    EXPECT_EQ(MAX_FIT_FL.get(), 5.0f);
    EXPECT_TRUE(RT_PARKTRAFFIC_ONLY.get());
    EXPECT_FALSE(LEARN_SOFT.get());
    EXPECT_EQ(logLinesWith("MAX_FIT                 : 9 (max number of half hours, is 5 hrs decimal)").size(), 1u);
    EXPECT_FALSE(exists("parameters.xml")) << "the copies belong to the airport";
    ASSERT_EQ(app.messages().size(), 1u);
    EXPECT_EQ(app.messages()[0].text,
              "Warning: learned file airport name: 'Other' differs from archived file airport name: 'Schiphol'");
}

TEST_F(LearnedMergeTest, ABrokenFileIsMovedAside)
{
    const std::vector<Stand> v = merge(standFileText({{"airport_name", "Schiphol"}}, {}).substr(0, 60));
    EXPECT_THAT(names(v), ElementsAre("A1", "A2"));
    EXPECT_FALSE(exists("airports/learned/EHAM.xml"));
    EXPECT_TRUE(exists("airports/learned/EHAM.0.xml"));
    EXPECT_EQ(logLinesWith("airports/learned/EHAM.xml found, but could not be loaded, saved as *.0.xml: ").size(), 1u);
}

TEST_F(LearnedMergeTest, QualityFactors)
{
    auto standsWith = [](int count) {
        std::vector<Stand> v;
        for (int i = 0; i < count; ++i)
            v.push_back(Stand(vr::format("S{}", i), std::vector<SlotRecord>{}, 52.0, 4.0, 0.0, 30.0, StandKind{}));
        return v;
    };
    SlotRecord one;
    one.reg = "N1";
    one.slots.set(20);
    one.optionIndex = 1;
    one.weekday = 2;
    one.real = 1;

    std::vector<Stand> ten = standsWith(10);
    ten[3].options.push_back(one);
    EXPECT_EQ(computeQualityFactors(ten), std::make_pair(6, 0)) << "(20 + 10000 + 100 + 2) / 10 x 0.00625";

    std::vector<Stand> zero = standsWith(3);
    SlotRecord unnumbered = one;
    unnumbered.optionIndex = 0;
    zero[0].options.push_back(unnumbered);
    EXPECT_EQ(computeQualityFactors(zero), std::make_pair(0, 0));

    EXPECT_EQ(computeQualityFactors(standsWith(4)), std::make_pair(-1, -1));
    EXPECT_EQ(computeQualityFactors(std::vector<Stand>{}), std::make_pair(-1, -1));

    // Real: 4 records on 4 days with 192 half hours; soft: 3 on 3 days with 144.
    std::vector<Stand> full = standsWith(1);
    for (std::uint32_t d = 1; d <= 7; ++d) {
        SlotRecord r = one;
        r.weekday = d;
        r.slots.set();
        r.optionIndex = d;
        r.real = d % 2;
        full[0].options.push_back(r);
    }
    EXPECT_EQ(computeQualityFactors(full), std::make_pair(68, 67));
}

}  // namespace
