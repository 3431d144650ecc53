#include "liveries/livery_match.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/fmt.h"
#include "core/run_state.h"
#include "engine/ac_records.h"
#include "liveries/livery_services_impl.h"
#include "support/livery_world.h"

namespace {

using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;

class LiveryMatching : public testing::Test {
protected:
    void SetUp() override
    {
        readWorldDbase();
        setParametersFile(dir / "parameters.xml");
        buildLiveryWorld();
    }
    void TearDown() override
    {
        resetRunState();
        resetLiveryWorld();
    }

    WorkingFolder dir;
};

LiveryRequest request(const std::string& airline, const std::string& type, AcCategory category,
                      const std::string& registration = "", bool cargo = false)
{
    LiveryRequest r{airline, type, registration, "CS1", category, cargo};
    r.origin = "EDDF";
    r.destination = "EGLL";
    return r;
}

AcIdentity identity(const LiveryRequest& r)
{
    AcIdentity id;
    id.airline = r.airline;
    id.type = r.type;
    id.registration = r.registration;
    id.callsign = r.callsign;
    id.origin = r.origin;
    id.destination = r.destination;
    return id;
}
std::string describe(const LiveryRequest& r) { return acDescription(identity(r)); }
std::string describe3(const LiveryRequest& r) { return acDescription3(identity(r)); }

constexpr AcCategory Light = AcCategory::Light;
constexpr AcCategory Large = AcCategory::Large;
constexpr AcCategory Heavy = AcCategory::Heavy;
constexpr AcCategory Rotor = AcCategory::Rotorcraft;

// One match of the live or the static kind. `step` is the counted step of a
// live match, the logged mark of a static one (0: no match).
struct Row {
    const char* name;
    int depth;
    LiveryRequest ac;
    std::set<std::string> titles;  // the possible results; empty: no livery
    int step;
    std::optional<bool> standCargo = std::nullopt;  // set: the static match at stand "V1"
    std::vector<std::string> blocked = {};
    bool fsltl = false;
};

TEST_F(LiveryMatching, StepsOfLiveAndStaticAircraft)
{
    const std::set<std::string> aaaA320{"AAA A320 One", "AAA A320 Two"};
    const std::set<std::string> c152{"BBB C152 Light", "PVT C152 Private"};
    const Row rows[] = {
        // live
        {"regcode at depth 1", 1, request("AAA", "B738", Large, "G-REGC"), {"AAA B738 Pax"}, 1},
        {"depth 1 without a regcode", 1, request("AAA", "A320", Large), {}, 0},
        {"a regcode of a special title is taken", 2, request("SPC", "A320", Large, "G-SPCL"), {"SPC A320 Special 1"}, 1},
        {"a registration without regcode goes on", 4, request("AAA", "A320", Large, "X-NONE"), aaaA320, 2},
        {"cargo aircraft with pax liveries only", 2, request("AAA", "A320", Large, "", true), aaaA320, 2},
        {"cargo aircraft with a cargo livery", 2, request("AAA", "B738", Large, "", true), {"AAA B738 Cargo"}, 2},
        {"pax aircraft with cargo liveries only", 2, request("CGX", "B744", Heavy), {}, 0},
        {"PVT with a ZZZ livery: step 4 at depth 2", 2, request("PVT", "B744", Heavy), {"ZZZ B744 Generic"}, 4},
        {"PVT with its own livery only: step 2", 2, request("PVT", "C152", Light), {"PVT C152 Private"}, 2},
        {"empty airline, heavy, depth 4: only ZZZ", 4, request("", "B744", Heavy), {"ZZZ B744 Generic"}, 4},
        {"empty airline, heavy, depth 3: nothing", 3, request("", "B744", Heavy), {}, 0},
        {"empty airline, light: the type alone", 4, request("", "C152", Light), c152, 5},
        {"light at depth 3 without ZZZ: the type alone", 3, request("XYZ", "C152", Light), c152, 5},
        {"wet lease: the database airline", 2, request("XYZ", "A20N", Large, "G-WETL"), {"OWN A20N Paint"}, 2},
        {"no operator: no database airline", 2, request("XYZ", "A20N", Large, "D-NOOP"), {}, 0},
        {"similar type of the same category", 3, request("AAA", "A20N", Large), aaaA320, 3},
        {"similar type of another category is not taken", 3, request("AAA", "B744", Heavy), {}, 0},
        {"similar type under the database airline", 3, request("CGO", "A20N", Large, "G-LEAS"), {"LSE A320 Paint"}, 3},
        {"similar installed model alone", 3, request("XYZ", "PA28", Light),
         {"BBB C152 Light", "PVT C152 Private", "ZZZ C172 Generic"}, 6},
        {"random model of the category", 4, request("XYZ", "EC30", Rotor), {"HEL EC35 Heli"}, 6},
        {"all special: the fifth pick stays", 2, request("SPC", "A320", Large), {"SPC A320 Special 1", "SPC A320 Special 2"}, 2},
        {"mixed key never gives the special title", 2, request("MIX", "B738", Large), {"MIX B738 Normal"}, 2},
        {"blocked pick at step 2", 2, request("MIX", "B738", Large), {}, 0, std::nullopt, {"MIX B738 Normal"}},
        {"blocked pick at step 6", 4, request("XYZ", "EC30", Rotor), {}, 0, std::nullopt, {"HEL EC35 Heli"}},
        {"FSLTL title", 2, request("FSL", "A320", Large), {"FSLTL_A320_FSL"}, 2, std::nullopt, {}, true},
        // static
        {"static: no regcode at depth 1", 1, request("AAA", "A320", Large), {}, 0, false},
        {"static: similar type of another category", 3, request("AAA", "B744", Heavy), {"AAA B738 Pax"}, 3, false},
        {"static: the stand makes it cargo", 2, request("AAA", "B738", Large), {"AAA B738 Cargo"}, 2, true},
        {"static: second pass under the database airline", 3, request("CGO", "A20N", Large, "G-LEAS"),
         {"LSE A320 Paint"}, 3, false},
        {"static: cargo stand takes the own airline's cargo", 3, request("CGO", "A20N", Large, "G-LEAS"),
         {"CGO A320 Freighter"}, 3, true},
        {"static: counts nothing, no fsltl", 2, request("FSL", "A320", Large), {"FSLTL_A320_FSL"}, 2, false},
        {"static: blocked hit", 2, request("MIX", "B738", Large), {}, 0, false, {"MIX B738 Normal"}},
        {"static: PVT with ZZZ", 2, request("PVT", "B744", Heavy), {"ZZZ B744 Generic"}, 4, false},
        {"static: rotorcraft fallback", 3, request("XYZ", "EC30", Rotor), {"HEL EC35 Heli"}, 6, false},
        {"static: on a cargo stand no pax model fits", 3, request("XYZ", "EC30", Rotor), {}, 0, true},
        {"static: nothing at depth 2", 2, request("XYZ", "EC30", Rotor), {}, 0, false},
    };
    std::uint32_t seed = 1;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MATCHING_DEPTH.set(row.depth);
        BlockedTitles = row.blocked;
        for (int repeat = 0; repeat < 4; ++repeat) {
            seedRandomEngine(seed++);
            const auto counters = MatchStepCounters;
            const std::size_t logged = dir.logLines().size();
            MatchAc ac{row.ac, row.ac.cargo, {}};
            if (row.standCargo)
                gf_matchStaticAcLivery(ac, *row.standCargo, "V1");
            else
                gf_matchLiveAcLivery(ac);
            if (row.titles.empty())
                EXPECT_EQ(ac.title, "");
            else
                EXPECT_EQ(row.titles.count(std::string(ac.title)), 1u) << ac.title;
            EXPECT_EQ(ac.fsltl, row.fsltl);
            auto expectedCounters = counters;
            if (!row.standCargo && row.step > 0) ++expectedCounters[static_cast<std::size_t>(row.step - 1)];
            EXPECT_EQ(MatchStepCounters, expectedCounters);
            const std::vector<std::string> lines = dir.logLines();
            const std::vector<std::string> added(lines.begin() + static_cast<std::ptrdiff_t>(logged), lines.end());
            if (row.step > 0) {
                EXPECT_THAT(added, ElementsAre(vr::format("          {} ={}= {}", describe(row.ac), row.step, ac.title)));
            } else if (row.standCargo && row.blocked.empty()) {
                EXPECT_THAT(added, ElementsAre(vr::format("V1      : {} no livery match ...", describe3(row.ac))));
            } else {
                EXPECT_TRUE(added.empty());
            }
        }
    }
}

TEST_F(LiveryMatching, StaticAircraftKeepsItsTitle)
{
    const std::string kept = "Kept title";
    LiveryRequest r = request("AAA", "B738", Large);
    MatchAc ac{r, false, kept};
    gf_matchStaticAcLivery(ac, true, "V1");
    EXPECT_EQ(ac.title.data(), kept.data());
    EXPECT_FALSE(ac.cargo);  // the cargo stand changes nothing
    EXPECT_THAT(dir.logLines(), Contains(HasSubstr("=s= Kept title")));
}

TEST_F(LiveryMatching, LogLinesOnlyWithTheLogOption)
{
    LOG.set(false);
    const std::size_t logged = dir.logLines().size();
    LiveryRequest live = request("AAA", "B738", Large, "G-REGC");
    MatchAc a{live, false, {}};
    gf_matchLiveAcLivery(a);
    LiveryRequest parked = request("XYZ", "EC30", Rotor);
    MatchAc b{parked, false, {}};
    MATCHING_DEPTH.set(1);
    gf_matchStaticAcLivery(b, false, "V1");
    EXPECT_EQ(a.title, "AAA B738 Pax");
    EXPECT_EQ(dir.logLines().size(), logged);
}

TEST_F(LiveryMatching, SpecialTitlesAreAvoidedByThePick)
{
    LiveryRequest r = request("X", "Y", Large);
    const std::vector<std::string_view> allSpecial{SpecialTitles[1], SpecialTitles[2]};
    const std::vector<std::string_view> mixed{SpecialTitles[1], "plain", SpecialTitles[2]};
    for (std::uint32_t seed = 0; seed < 50; ++seed) {
        seedRandomEngine(seed);
        MatchAc a{r, false, {}};
        lf_pickRandomLivery(a, mixed);
        EXPECT_EQ(a.title, "plain");
        // Five special draws: the fifth stays.
        seedRandomEngine(seed);
        std::mt19937 copy = tlRandomEngine();
        std::string_view fifth;
        for (int i = 0; i < 5; ++i) fifth = allSpecial[copy() % 2];
        MatchAc b{r, false, {}};
        lf_pickRandomLivery(b, allSpecial);
        EXPECT_EQ(b.title, fifth);
    }
    MatchAc c{r, false, "before"};
    lf_pickRandomLivery(c, {});
    EXPECT_EQ(c.title, "before");
    EXPECT_THROW(lf_logMatchStep(c, 7), std::out_of_range);
    EXPECT_THROW(lf_matchAirlineModel(c, {"AAA", "B738"}, 2), std::out_of_range);
}

TEST_F(LiveryMatching, RefusedLiveriesAreBlockedAndTheTwentiethEndsTheRun)
{
    TitleByAircraftId[5] = lf_indexedTitle("AAA B738 Pax");
    TitleByAircraftId[6] = lf_indexedTitle("AAA A320 One");
    EXPECT_EQ(lf_titleById(5), "AAA B738 Pax");
    EXPECT_EQ(lf_titleById(7), "");
    lf_liveryNotCreated("AAA1", "AAA B738 Pax", "B738", "AAA");
    EXPECT_EQ(lf_titleById(5), "");
    EXPECT_EQ(TitleByAircraftId.count(5), 0u);
    EXPECT_EQ(lf_titleById(6), "AAA A320 One");
    EXPECT_THAT(dir.logLines(), Contains("AAA1 'AAA B738 Pax' could not be created by your Sim!"));

    // 19 refusals only block (a repeated title counts again); the 20th throws.
    for (int i = 1; i < 19; ++i) lf_liveryNotCreated("AAA1", "AAA B738 Pax", "B738", "AAA");
    EXPECT_EQ(BlockedTitles.size(), 19u);
    try {
        lf_liveryNotCreated("CGX2", "CGX B744 Freighter", "B744", "CGX");
        ADD_FAILURE() << "no error 81";
    } catch (const qxv::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "81: There are too many liveries that could not be created by P3D!, see Log.txt");
    }
    EXPECT_THAT(dir.logLines(),
                Contains("===> Error 81, There are too many liveries that could not be created by P3D!"));
    EXPECT_THAT(lf_notCreatedList(), ElementsAre("  B738 AAA", "  B744 CGX"));

    // Once the run stops nothing more is recorded.
    requestClosing(ClosingReason::SystemError, 0);
    lf_liveryNotCreated("XYZ3", "HEL EC35 Heli", "EC35", "XYZ");
    EXPECT_EQ(BlockedTitles.size(), 20u);
    EXPECT_EQ(NotCreatedSet.size(), 2u);
}

TEST_F(LiveryMatching, SummaryAndNoMatchList)
{
    NotCreatedSet.insert("B738 AAA");
    std::size_t logged = dir.logLines().size();
    gf_logLiveryMatchSummary();
    EXPECT_EQ(dir.logLines().size(), logged);  // all counters 0: nothing

    MatchStepCounters = {3, 0, 1, 0, 0, 12};
    gf_logLiveryMatchSummary();
    std::vector<std::string> lines = dir.logLines();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(logged));
    const std::string stars(31, '*');
    EXPECT_THAT(lines, ElementsAre("", stars + " live traffic livery matching summary " + stars, "Matches at step: ",
                                   "  1: 3", "  2: 0", "  3: 1", "  4: 0", "  5: 0", "  6: 12", "",
                                   "Could not be created by P3D:", "  B738 AAA", std::string(100, '*'), ""));
    EXPECT_EQ(lines[1].size(), 100u);

    logged = dir.logLines().size();
    gf_logNoMatchList(std::set<std::string>{});
    gf_logNoMatchList(std::set<std::string>{"AAA B738 G-X", "BBB C152 G-Y"});
    LOG.set(false);
    gf_logNoMatchList(std::set<std::string>{"not logged"});
    lines = dir.logLines();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(logged));
    EXPECT_THAT(lines, ElementsAre("", "No match found for:", "AAA B738 G-X", "BBB C152 G-Y", ""));
}

TEST_F(LiveryMatching, ThroughTheLiveryServices)
{
    installLiveryServices();
    MATCHING_DEPTH.set(4);
    const auto live = gf_matchLiveAcLivery(request("FSL", "A320", Large));
    ASSERT_TRUE(live);
    EXPECT_EQ(live->title, "FSLTL_A320_FSL");
    EXPECT_TRUE(live->fsltlModel);
    EXPECT_FALSE(gf_matchLiveAcLivery(request("XYZ", "B738", Large)));

    liveryServices().rememberTitle(42, live->title);
    EXPECT_EQ(gf_lookupTitleById(42), "FSLTL_A320_FSL");
    EXPECT_EQ(liveryServices().regcodeTitle("G-REGC"), std::optional<std::string_view>("AAA B738 Pax"));
    EXPECT_FALSE(liveryServices().regcodeTitle("G-NONE"));

    const auto parked = gf_matchStaticAcLivery(request("FSL", "A320", Large), false, "V7");
    ASSERT_TRUE(parked);
    EXPECT_TRUE(parked->fsltlModel);  // as the live match
    LiveryRequest kept = request("AAA", "B738", Large);
    kept.title = live->title;
    EXPECT_EQ(gf_matchStaticAcLivery(kept, true, "V7")->title.data(), live->title.data());

    gf_liveryNotCreated("FSL1", live->title, "A320", "FSL");
    EXPECT_TRUE(liveryServices().isBlockedTitle("FSLTL_A320_FSL"));
    EXPECT_EQ(gf_lookupTitleById(42), "");
    EXPECT_FALSE(gf_matchLiveAcLivery(request("FSL", "A320", Large)));
    liveryServices().rememberTitle(43, "AAA A320 One");
    liveryServices().forgetTitle(43);
    EXPECT_EQ(gf_lookupTitleById(43), "");
    liveryServices().rememberTitle(44, lf_indexedTitle("AAA A320 One"));
    liveryServices().clearRememberedTitles();
    EXPECT_TRUE(TitleByAircraftId.empty());
    setLiveryServices(nullptr);
}

}  // namespace
