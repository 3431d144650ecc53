#include "airports/airport_load.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "airports/airport_services_impl.h"
#include "airports/stand_file.h"
#include "airports/stand_learning.h"
#include "core/app_services.h"
#include "core/random.h"
#include "support/airport_fixture.h"
#include "support/parking_fixture.h"
#include "traffic_service/traffic_reader.h"

namespace {

using testing::ElementsAre;
using testing::HasSubstr;

using Params = std::vector<std::pair<std::string, std::string>>;

const Params baseParams{{"airport_name", "Schiphol"}, {"publisher", "unknown"}, {"altitude", "-11"}};

class AirportLoadTest : public AirportFixture {
protected:
    std::vector<std::string> standNames() const
    {
        std::vector<std::string> names;
        for (const Stand& s : stands) names.push_back(s.name);
        return names;
    }
    std::string load(const std::string& reference = "airports/EHAM.xml")
    {
        AirportHeader header;
        std::string error = gf_readApf(reference, header);
        header_ = header;
        return error;
    }
    AirportHeader header_;
};

TEST_F(AirportLoadTest, ErrorTextsLeaveThePreviousStands)
{
    write("airports/EHAM.xml", standFileText(baseParams, {parkposText("OLD", 52.3, 4.76, 20)}));
    ASSERT_EQ(load(), "");
    ASSERT_THAT(standNames(), ElementsAre("OLD"));

    struct Row {
        const char* name;
        std::string reference;
        std::string file;  // written to airports/X.xml
        bool parkAirport;
        std::string error;
    };
    const Row rows[] = {
        {"empty reference", "", "", true, "gf_readApf: xml is empty"},
        {"no park airport", "airports/X.xml", "", false, "gf_readApf: no park airport set"},
        {"failed download", "archive/stock/XXXX.xml", "", true,
         "failed to download: 'https://downloads.test/P3D/archive/stock/XXXX.xml'"},
        {"no file", "airports/X.xml", "", true, "airports/X.xml: could not load file: airports/X.xml"},
        {"broken file", "airports/X.xml", "<parameters><parameter", true,
         "airports/X.xml: could not load file: airports/X.xml"},
        {"meta without author", "airports/X.xml",
         metaBlock(false) + parametersBlock(baseParams) + "<parkpositions/>", true,
         "airports/X.xml: refused to load (copyright)"},
        {"meta without date", "airports/X.xml", metaBlock(true, false) + parametersBlock(baseParams), true,
         "airports/X.xml: refused to load (copyright)"},
        {"meta without version", "airports/X.xml", metaBlock(true, true, false) + parametersBlock(baseParams), true,
         "airports/X.xml: refused to load (copyright)"},
        {"duplicate id", "airports/X.xml",
         standFileText(baseParams, {parkposText("A1", 52.3, 4.76, 20), parkposText("A2", 52.31, 4.76, 20),
                                    parkposText("A1", 52.32, 4.76, 20)}),
         true, "gf_readApf: Parking position A1 appears more than once?"},
        {"no altitude", "airports/X.xml",
         standFileText({{"airport_name", "X"}}, {parkposText("A1", 52.3, 4.76, 20)}), true,
         "gf_readApf: Parameter altitude not found"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(root() / "airports/X.xml");
        if (!row.file.empty()) write("airports/X.xml", row.file);
        if (row.parkAirport)
            setCurrentParkAirport(ParkAirportInfo{.code = "EHAM", .iata = ""});
        else
            clearCurrentParkAirport();
        EXPECT_EQ(load(row.reference), row.error);
        EXPECT_THAT(standNames(), ElementsAre("OLD"));
    }
    EXPECT_EQ(logLinesWith("refused to load (copyright)").size(), 3u);
}

TEST_F(AirportLoadTest, WithoutALearnedFileParkingPercentageGoesBackTo30)
{
    write("airports/EHAM.xml", standFileText(baseParams, {parkposText("A1", 52.3, 4.76, 20)}));
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        parking_percentage.set(75);
        view.calls.clear();
        ASSERT_EQ(load(), "");
        EXPECT_EQ(parking_percentage.get(), 30);
        EXPECT_EQ(view.calls.count(vr::format("enable {} false", parking_percentage.controlId())), 1u);
        EXPECT_EQ(view.calls.count(vr::format("text {} 30", parking_percentage.controlId())), 1u);
    }
    EXPECT_EQ(logLinesWith("parking_percentage      : 30").size(), 2u);
}

TEST_F(AirportLoadTest, OverlappingStandsConflict)
{
    // 30 m and 40 m north of A along the meridian; all radii 20 m.
    const double m = 1.0 / 1852.0 / 60.0;  // degrees of latitude per metre
    write("airports/EHAM.xml", standFileText(baseParams, {parkposText("A", 52.0, 4.0, 20),
                                                          parkposText("B", 52.0 + 30 * m, 4.0, 20),
                                                          parkposText("C", 52.0 + 70 * m, 4.0, 20)}));
    ASSERT_EQ(load(), "");
    ASSERT_EQ(stands.size(), 3u);
    EXPECT_EQ(stands[0].sid, 1u);
    EXPECT_EQ(stands[2].sid, 3u);
    EXPECT_THAT(stands[0].conflictingStands, ElementsAre(2u));
    EXPECT_THAT(stands[1].conflictingStands, ElementsAre(1u)) << "B and C are 40 m apart";
    EXPECT_TRUE(stands[2].conflictingStands.empty());
}

TEST_F(AirportLoadTest, ConflictsMatchTheTestOfEveryPair)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> lat(52.0, 52.01), lon(4.0, 4.02), radius(5.0, 60.0);
    std::vector<Stand> v;
    for (int i = 0; i < 400; ++i)
        v.push_back(Stand(vr::format("S{}", i), std::vector<SlotRecord>{}, lat(random), lon(random), 0.0, radius(random),
                       StandKind{}));
    lf_numberAndFindConflicts(v);
    std::size_t total = 0;
    for (const Stand& a : v) {
        std::vector<std::uint32_t> expected;
        for (const Stand& b : v)
            if (a.sid != b.sid &&
                distanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude}) * 1.1 < a.radius + b.radius)
                expected.push_back(b.sid);
        ASSERT_EQ(a.conflictingStands, expected) << a.name;
        total += expected.size();
    }
    EXPECT_GT(total, 100u);
}

TEST_F(AirportLoadTest, SummaryAndEffects)
{
    write("airports/EHAM.xml",
          standFileText({{"airport_name", "Schiphol"}, {"publisher", "Pub"}, {"altitude", "-11"},
                         {"RT_traffic_week", "31"}, {"Qf_real", "50"}, {"Qf_soft", "20"}},
                        {parkposText("A1", 52.3, 4.76, 20), parkposText("A2", 52.31, 4.76, 20)}));
    handmadeMark = true;  // from an earlier airport
    ASSERT_EQ(load(), "");
    EXPECT_FALSE(handmadeMark.load());
    const std::vector<std::string> lines = logLines();
    auto first = std::find_if(lines.begin(), lines.end(),
                              [](const std::string& l) { return l.find("Airport file read from") != std::string::npos; });
    ASSERT_NE(first, lines.end());
    ASSERT_GE(lines.end() - first, 6);
    EXPECT_THAT(*first, HasSubstr("Airport file read from 'airports/EHAM.xml' for Schiphol"));
    EXPECT_THAT(*(first + 1), HasSubstr("          publisher               : Pub"));
    EXPECT_THAT(*(first + 2), HasSubstr("          altitude                : -11 ft"));
    EXPECT_THAT(*(first + 3), HasSubstr("          num_parkpos             : 2"));
    EXPECT_THAT(*(first + 4), HasSubstr("          quality factor          : 50"));
    EXPECT_THAT(*(first + 5), HasSubstr("          RT traffic week         : 31"));

    EXPECT_EQ(header_.airportName, "Schiphol");
    EXPECT_EQ(header_.qf, std::make_pair(50, 20));
    EXPECT_EQ(rtTrafficWeek.load(), 31);
    EXPECT_TRUE(airportFileLoaded.load());
    EXPECT_EQ(statusPanel().standCount.load(), 2);
    EXPECT_EQ(statusPanel().airportPublisher.get(), "Pub");
    EXPECT_EQ(statusPanel().airportQuality.get(), "50");
    EXPECT_FALSE(statusPanel().airportHandmade.load());
    EXPECT_GE(app.repaints(), 1);
    EXPECT_EQ(currentParkAirport().elevationFt, -11.0);
    EXPECT_EQ(trafficReader().referenceElevation(), std::optional<double>(-11.0));
    EXPECT_EQ(view.calls.count(vr::format("enable {} true", FLUSH_STATIC.controlId())), 1u);
}

TEST_F(AirportLoadTest, ArchivedFileIsDownloadedAndItsLearnedFileMerged)
{
    app.serve("https://downloads.test/P3D/archive/stock/EHAM.xml",
              standFileText(baseParams, {parkposText("A1", 52.3, 4.76, 20)}));
    write("airports/learned/stock/EHAM.xml",
          standFileText({{"airport_name", "Schiphol"}},
                        {parkposText("A1", 0, 0, 0, "", R"(<opt reg="N1" airl="PVT" type="C172" day="2" hh="3"/>)")}));
    ASSERT_EQ(load("archive/stock/EHAM.xml"), "");
    ASSERT_EQ(stands.size(), 1u);
    ASSERT_EQ(stands[0].options.size(), 1u);
    EXPECT_EQ(stands[0].options[0].source, 0u);
    EXPECT_TRUE(exists("airports/park_airport.xml"));
    EXPECT_EQ(header_.qf.first, 63) << "one real record, one stand: (20 + 10000 + 100 + 2) x 0.00625";
    EXPECT_EQ(view.calls.count(vr::format("enable {} true", parking_percentage.controlId())), 1u);
}

// What is learned at an airport is saved where the next load reads it, whatever
// the file's publisher says (none, separators, an add-on scenery's own name).
TEST_F(AirportLoadTest, LearnedStandUseIsReadBackAfterTheSave)
{
    struct Row {
        const char* name;
        std::string reference;  // where the airport file comes from
        std::string publisher;  // what its header says
        std::string learned;    // where the learned file is
    };
    const Row rows[] = {
        {"stock", "archive/stock/EHAM.xml", "stock", "airports/learned/stock/EHAM.xml"},
        {"the demo's archived file, publisher unknown", "archive/stock/EHAM.xml", "unknown",
         "airports/learned/stock/EHAM.xml"},
        {"simaddon", "airports/my_ORBX/EHAM.xml", "simaddon", "airports/learned/simaddon/EHAM.xml"},
        {"my_ORBX with the scenery's own publisher", "airports/my_ORBX/EHAM.xml", "ORBX",
         "airports/learned/simaddon/EHAM.xml"},
        {"a third party", "airports/my_thirdparty/EHAM.xml", "Fly Tampa",
         "airports/learned/thirdparty/Fly Tampa/EHAM.xml"},
        {"no publisher", "airports/my_thirdparty/EHAM.xml", "", "airports/learned/thirdparty/_/EHAM.xml"},
        {"a publisher with separators", "airports/my_thirdparty/EHAM.xml", "A/B\\C:D",
         "airports/learned/thirdparty/A_B_C_D/EHAM.xml"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all("airports/learned");
        const std::string file = standFileText({{"airport_name", "Schiphol"}, {"publisher", row.publisher},
                                                {"altitude", "-11"}},
                                               {parkposText("A1", 52.3, 4.76, 20), parkposText("A2", 52.31, 4.76, 20)});
        if (row.reference.rfind("archive", 0) == 0)
            app.serve("https://downloads.test/P3D/" + row.reference, file);
        else
            write(row.reference, file);
        ASSERT_EQ(load(row.reference), "");
        loadedAirport = {row.reference, header_.airportName, header_.publisher, header_.altitude};
        ASSERT_EQ(stands.size(), 2u);
        std::vector<Stand> withUse(stands.begin(), stands.end());  // what the learning adds
        withUse[0].options.push_back(makeOption("KLM", "B738", "PH-BXA", "KLM123", 2, {20}));
        replaceStands(std::move(withUse));
        standUpdateCount = 1;
        ASSERT_TRUE(saveAirportFile());
        EXPECT_TRUE(exists(row.learned));

        clearStands();
        ASSERT_EQ(load(row.reference), "");
        ASSERT_EQ(stands.size(), 2u);
        ASSERT_EQ(stands[0].options.size(), 1u);
        EXPECT_EQ(stands[0].options[0].reg, "PH-BXA");
        EXPECT_EQ(stands[0].options[0].source, 0u);
        loadedAirport = {};
    }
}

// A learned file that an earlier version saved by the publisher alone is still read.
TEST_F(AirportLoadTest, ALearnedFileWhereEarlierVersionsSavedItIsRead)
{
    app.serve("https://downloads.test/P3D/archive/stock/EHAM.xml",
              standFileText(baseParams, {parkposText("A1", 52.3, 4.76, 20)}));
    write("airports/learned/thirdparty/unknown/EHAM.xml",
          standFileText({{"airport_name", "Schiphol"}},
                        {parkposText("A1", 0, 0, 0, "", R"(<opt reg="N1" airl="PVT" type="C172" day="2" hh="3"/>)")}));
    ASSERT_EQ(load("archive/stock/EHAM.xml"), "");
    ASSERT_EQ(stands.size(), 1u);
    EXPECT_EQ(stands[0].options.size(), 1u);
}

TEST_F(AirportLoadTest, FormatQualityPairTable)
{
    struct Row {
        int real, soft;
        const char* text;
    };
    for (const Row& row : {Row{-1, -1, "  "}, Row{-1, 5, "-1/ 5"}, Row{3, -1, " 3/-1"}, Row{44, 100, "44/100"},
                           Row{45, 3, "45"}, Row{100, -1, "100"}}) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(formatQualityPair(row.real, row.soft), row.text);
    }
}

TEST_F(AirportLoadTest, DistanceToTheNearestStand)
{
    const LatLon here{52.3, 4.76};
    std::string name = "none";
    EXPECT_EQ(gf_readDestApfForClosestStand("EHAM", here, name), 100.0) << "no file";
    write("airports/my_thirdparty/EHAM.xml", standFileText(baseParams, {}));
    EXPECT_EQ(gf_readDestApfForClosestStand("EHAM", here, name), 100.0) << "no stand";
    EXPECT_EQ(name, "none");
    write("airports/my_thirdparty/EHAM.xml",
          standFileText(baseParams, {parkposText("far", 52.31, 4.76, 20), parkposText("near", 52.301, 4.76, 20)}));
    EXPECT_NEAR(gf_readDestApfForClosestStand("EHAM", here, name), 0.06, 1e-6);
    EXPECT_EQ(name, "near");

    app.serve("https://downloads.test/P3D/archive/stock/EGLL.xml",
              standFileText(baseParams, {parkposText("L1", 51.47, -0.46, 20)}));
    EXPECT_NEAR(gf_readDestApfForClosestStand("EGLL", {51.47, -0.46}, name), 0.0, 1e-9);
    EXPECT_EQ(name, "L1");
    EXPECT_FALSE(exists("airports/airport.xml")) << "the downloaded copy is removed";
}

TEST_F(AirportLoadTest, OfflineLearningSuitability)
{
    const std::string url = "https://downloads.test/P3D/archive/stock/EHAM.xml";
    struct Row {
        const char* name;
        std::optional<Params> file;  // none: the download fails
        bool suitable;
        const char* raw = nullptr;  // served instead of a file of the parameters
        bool notOnSite = false;     // without a file: the site has none (404)
        std::string problemLine = "";  // the one line about the file, when there is one
    };
    const Row rows[] = {
        {"Qf_real and 27 weeks", Params{{"Qf_real", "0"}, {"RT_traffic_week", "27"}}, true},
        {"Qf_soft only", Params{{"Qf_soft", "3"}, {"RT_traffic_week", "40"}}, true},
        {"negative factors", Params{{"Qf_real", "-1"}, {"Qf_soft", "-1"}, {"RT_traffic_week", "40"}}, false},
        {"no factors", Params{{"RT_traffic_week", "40"}}, false},
        {"26 weeks", Params{{"Qf_real", "10"}, {"RT_traffic_week", "26"}}, false},
        {"no week", Params{{"Qf_real", "10"}}, false},
        {"not loadable: marked", Params{}, false, "<parameters><parameter", false, "===> Failed to load " + url},
        {"the site is not reached: marked", std::nullopt, false, nullptr, false, "===> Failed to download " + url},
        // A normal answer for most airports: logged, but no fault.
        {"not archived: a plain line", std::nullopt, false, nullptr, true, "Failed to download " + url},
    };
    write("EHAM.xml", "the user's own");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AppServicesFake site;
        if (row.file) site.serve(url, row.raw ? std::string(row.raw) : standFileText(*row.file, {}));
        if (row.notOnSite) site.serveNotOnSite(url);
        const std::size_t before = logLinesWith(url).size();
        EXPECT_EQ(lf_checkArchivedForOfflineLearning("EHAM"), row.suitable);
        EXPECT_EQ(topLevelFileCount(), 2u) << "only EHAM.xml and Log.txt: the fetched copy is gone";
        const std::vector<std::string> lines = logLinesWith(url);
        const std::vector<std::string> added(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end());
        EXPECT_EQ(added, row.problemLine.empty() ? std::vector<std::string>{}
                                                 : std::vector<std::string>{row.problemLine});
    }
    EXPECT_EQ(read("EHAM.xml"), "the user's own");
    EXPECT_EQ(logLinesWith("EHAM not suitable for offline learning").size(), 7u);
}

// The learned file written after a load, loaded again with its airport file,
// gives the same stands and options and is written back byte for byte.
TEST_F(AirportLoadTest, LoadMergeAndWriteBackAreStable)
{
    liveries.dbase["PH-BXA"] = DbaseRecord{"PH-BXA", "KLM", "B738", "", false};
    liveries.halfSpans["B738"] = 18.0 / 1852.0;
    struct Row {
        const char* name;
        bool handmade;
    };
    for (const Row& row : {Row{"learned", false}, Row{"handmade, with invented stand use", true}}) {
        SCOPED_TRACE(row.name);
        PARK_FAKE.set(row.handmade);
        write("airports/my_thirdparty/EHAM.xml",
              standFileText({{"airport_name", "Schiphol"}, {"publisher", "P"}, {"altitude", "-11"}},
                            {parkposText("A1", 52.3, 4.76, 20), parkposText("A2", 52.3003, 4.76, 20, R"(heli="true")"),
                             parkposText("A3", 52.31, 4.77, 36)}));
        Params learnedParams{{"airport_name", "Schiphol"}, {"publisher", "P"}, {"MAX_LIVE", "50"},
                             {"LATERAL_RANGE", "30"}, {"MAX_FIT", "11"}};
        if (row.handmade) learnedParams.emplace_back("handmade", "true");
        const std::string a1 = parkposText("A1", 52.3, 4.76, 20, "",
                                           R"(<opt reg="PH-BXA" day="3" hh="14,15,16" cs="KLM123:KLM1"/>)"
                                           R"(<opt reg="N123AB" airl="PVT" type="C172" soft="true" day="7" hh="47"/>)");
        const std::string m1 = parkposText("M1", 52.32, 4.78, 15.5, R"(manual="true")");
        // A handmade file holds every stand in full; a learned one only what changed.
        const std::vector<std::string> learnedStands =
            row.handmade ? std::vector<std::string>{a1, parkposText("A2", 52.3003, 4.76, 20, R"(heli="true")"),
                                                    R"(<parkpos id="A3" latitude="52.310000" longitude="4.770000" )"
                                                    R"(heading="90.0" radius="40.0" cargo="true" ramp="false"/>)",
                                                    m1}
                         : std::vector<std::string>{a1, R"(<parkpos id="A3" radius_change="true" radius="40.0" )"
                                                        R"(cargo_change="true" cargo="true"/>)",
                                                    m1};
        write("airports/learned/thirdparty/P/EHAM.xml", standFileText(learnedParams, learnedStands));

        auto loadAndSave = [&](std::vector<Stand>& loaded) {
            AirportHeader header;
            EXPECT_EQ(gf_readApf("airports/my_thirdparty/EHAM.xml", header), "");
            loaded.assign(stands.begin(), stands.end());
            AirportFile file;
            file.airportName = header.airportName;
            file.publisher = header.publisher;
            file.altitude = header.altitude;
            std::tie(file.qfReal, file.qfSoft) = header.qf;
            for (const Stand& s : loaded) {
                Stand kept = s;
                // What the saver keeps of a learned file: not the airport file's own records.
                std::erase_if(kept.options, [&](const SlotRecord& r) { return !row.handmade && r.source == 1; });
                file.stands.push_back(std::move(kept));
            }
            EXPECT_TRUE(writeParkpositions(file, "airports/learned/thirdparty/P/EHAM.xml", StandFileMode::learned));
            return read("airports/learned/thirdparty/P/EHAM.xml");
        };
        std::vector<Stand> first, second;
        const std::string written = loadAndSave(first);
        const std::string again = loadAndSave(second);
        EXPECT_EQ(written, again);
        EXPECT_EQ(written.find("REGFAKE"), std::string::npos);
        EXPECT_EQ(MAX_LIVE_SEL.get(), 50);
        EXPECT_EQ(RANGE.get(), 30);

        ASSERT_EQ(first.size(), 4u);
        std::size_t invented = 0;
        ASSERT_EQ(second.size(), first.size());
        for (std::size_t i = 0; i < first.size(); ++i) {
            SCOPED_TRACE(first[i].name);
            const Stand& a = first[i];
            const Stand& b = second[i];
            EXPECT_EQ(a.name, b.name);
            EXPECT_EQ(a.latitude, b.latitude);
            EXPECT_EQ(a.longitude, b.longitude);
            EXPECT_EQ(a.heading, b.heading);
            EXPECT_EQ(a.radius, b.radius);
            EXPECT_EQ(std::tie(a.cargo, a.ramp, a.heli, a.manual), std::tie(b.cargo, b.ramp, b.heli, b.manual));
            EXPECT_EQ(a.conflictingStands, b.conflictingStands);
            auto real = [](const Stand& s) {
                std::vector<SlotRecord> v;
                for (const SlotRecord& r : s.options)
                    if (!r.fake) v.push_back(r);
                return v;
            };
            EXPECT_EQ(real(a), real(b));
            invented += a.options.size() - real(a).size();
        }
        EXPECT_EQ(invented > 0, row.handmade);
        EXPECT_EQ(statusPanel().airportHandmade.load(), row.handmade);
        EXPECT_EQ(logLinesWith("A handmade airport file overruled the archived file!").size(), row.handmade ? 2u : 0u);
        EXPECT_EQ(logLinesWith("Airport file read from 'airports/learned/thirdparty/P/EHAM.xml' for Schiphol").size(),
                  row.handmade ? 2u : 0u);
        EXPECT_THAT(first[0].conflictingStands, ElementsAre(2u)) << "A1 and the helipad 33 m north";
        EXPECT_EQ(first[0].options.front().cs2, "KLM1");
        EXPECT_NEAR(first[2].radius * kNmToMetres, 40.0, 1e-9);
        EXPECT_TRUE(first[2].cargo);
        EXPECT_TRUE(first[3].manual);
    }
}

TEST_F(AirportLoadTest, TheSeamAnswersFromTheLoad)
{
    AirportServicesImpl impl;
    setAirportServices(&impl);
    EXPECT_FALSE(airportServices().standsLoaded());
    EXPECT_EQ(airportServices().referenceElevationFt(), std::nullopt);
    write("airports/EHAM.xml", standFileText(baseParams, {parkposText("A1", 52.3, 4.76, 20)}));
    ASSERT_EQ(load(), "");
    EXPECT_TRUE(airportServices().standsLoaded());
    EXPECT_EQ(airportServices().parkAirport().code, "EHAM");
    EXPECT_EQ(airportServices().referenceElevationFt(), std::optional<double>(-11.0));
    EXPECT_EQ(sidName(1), "A1");
    EXPECT_EQ(sidName(2), "unknown");
    EXPECT_EQ(sidName(0), "sid==0?");
    setAirportServices(nullptr);
}

}  // namespace
