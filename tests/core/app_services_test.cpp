#include "core/app_services.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/airport_services_fake.h"
#include "core/app_services_fake.h"
#include "core/livery_services_fake.h"
#include "core/run_state.h"
#include "core/startup_globals.h"
#include "support/parameters_fixture.h"

namespace {

using testing::Contains;
using testing::ElementsAre;
using testing::Not;

class RangeView : public OptionView {
public:
    bool isLive(ControlHandle) const override { return true; }
    void setCheck(const ParameterControl&, bool) override {}
    void setComboItems(const ParameterControl&, const std::vector<std::string>&, int) override {}
    void selectComboItem(const ParameterControl&, int index) override { selected.push_back(index); }
    void setText(const ParameterControl&, const std::string&) override {}
    void enable(const ParameterControl&, bool) override {}
    std::vector<int> selected;
};

TEST(StartupGlobalsTest, RangeFollowsSetRangeNm)
{
    resetOptionsToDefaults();
    resetStartupGlobals();
    EXPECT_EQ(rangeNm.load(), 40.0);
    EXPECT_EQ(rangeMetres.load(), 74080);  // before the options are loaded: no 10000 added

    RangeView view;
    RANGE.setWindow(&view);
    setOptionView(&view);
    struct Case {
        std::int32_t nm;
        std::int32_t range;  // RANGE afterwards
        std::int32_t metres;
    };
    for (const Case& c : {Case{40, 40, 84080}, Case{7, 7, 22964}, Case{150, 100, 287800}, Case{1, 2, 11852}}) {
        SCOPED_TRACE(c.nm);
        EXPECT_EQ(setRangeNm(c.nm), c.metres);
        EXPECT_EQ(RANGE.get(), c.range);
        EXPECT_EQ(rangeNm.load(), double(c.nm));  // unclamped
        EXPECT_EQ(rangeMetres.load(), c.metres);
    }
    // Selected only when the value is a choice: 40 (index 15), 100 (19), 2 (0); 7 is none.
    EXPECT_THAT(view.selected, ElementsAre(15, 19, 0));
    EXPECT_EQ(setRangeNm(2147483647), 2147483647);  // saturates instead of overflowing
    setOptionView(nullptr);
    resetOptionsToDefaults();
    resetStartupGlobals();
}

TEST(StartupGlobalsTest, SnapRangeChoiceGivesAChoice)
{
    struct Row {
        std::int32_t nm;
        std::int32_t choice;
    };
    const Row rows[] = {{-5, 2}, {2, 2}, {3, 3}, {6, 6}, {7, 8}, {9, 10}, {22, 20}, {23, 25}, {27, 25}, {28, 30},
                        {44, 40}, {45, 50}, {57, 65}, {89, 80}, {90, 100}, {5000, 100}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.nm);
        EXPECT_EQ(snapRangeChoice(row.nm), row.choice);
        EXPECT_GE(RANGE.choiceIndex(snapRangeChoice(row.nm)), 0);
    }
}

TEST(StartupGlobalsTest, StandFileKeysAreTheOptionNames)
{
    const std::pair<std::string_view, Parameter*> keys[] = {
        {standKeyLateralRange, &LATERAL_RANGE},   {standKeyAutoRange, &AUTO_RANGE},
        {standKeyInitialLoadOnly, &INITIAL_LOAD_ONLY}, {standKeyParkSoft, &PARK_SOFT},
        {standKeyParkFake, &PARK_FAKE},           {standKeyParkingPercentage, &parking_percentage},
        {standKeyMaxFit, &MAX_FIT},               {standKeyWeek, &WEEK},
        {standKeyRtParktrafficOnly, &RT_PARKTRAFFIC_ONLY}, {standKeyLearnSoft, &LEARN_SOFT},
        {standKeyMaxLive, &MAX_LIVE},
    };
    for (const auto& [key, record] : keys) EXPECT_EQ(key, record->name());
    EXPECT_EQ(generatedFileSimulator.get(), "MSFS");
}

class ReportsTest : public ParametersFixture {};

TEST_F(ReportsTest, ReaderErrorEndsTheRunAndTheFirstReasonWins)
{
    AppServicesFake app;
    reportStoppedWithError("Traffic Reader", true);
    reportStoppedWithError("Weather Reader", false);
    reportSimDisconnected();
    EXPECT_THAT(app.messages(), ElementsAre(AppServicesFake::Message{"The Traffic Reader has stopped with an error", true},
                                            AppServicesFake::Message{"The Weather Reader has stopped with an error", true}));
    EXPECT_TRUE(closingFlag.load());
    EXPECT_EQ(closingReason(), ClosingReason::ReaderError);
    EXPECT_EQ(restartDelaySeconds(), 15);
}

TEST_F(ReportsTest, StopWithoutRestartAndSimDisconnect)
{
    {
        AppServicesFake app;
        reportStoppedWithError("Weather Reader", false);
        EXPECT_EQ(closingReason(), ClosingReason::SystemError);
        EXPECT_EQ(restartDelaySeconds(), 0);
    }
    resetRunState();
    reportSimDisconnected();
    EXPECT_EQ(closingReason(), ClosingReason::SimWasClosed);
    const auto lines = logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_THAT(lines.back(), testing::EndsWith(" Flight Simulator no longer connected, VRMT_P3D will stop ..."));
}

TEST_F(ReportsTest, DownloadsNeedTheShell)
{
    const std::filesystem::path target = dir_ / "x.xml";
    EXPECT_EQ(downloadFolderUrl(), "");
    EXPECT_FALSE(downloadToFile("https://x/y.xml", target, true));
    EXPECT_FALSE(std::filesystem::exists(target));

    AppServicesFake app;
    app.serve(downloadFolderUrl() + "y.xml", "bytes");
    EXPECT_FALSE(downloadToFile(downloadFolderUrl() + "z.xml", target, true));
    EXPECT_FALSE(std::filesystem::exists(target)) << "a failed transfer leaves no file";
    EXPECT_TRUE(downloadToFile(downloadFolderUrl() + "y.xml", target, false));
    EXPECT_EQ(readFile(target), "bytes");
    EXPECT_THAT(app.downloadCalls(), ElementsAre("https://downloads.test/P3D/z.xml", "https://downloads.test/P3D/y.xml"));
    EXPECT_THAT(app.downloadRawFlags(), ElementsAre(true, false));
}

TEST_F(ReportsTest, HeadlessMessageLineKeepsAStandingError)
{
    showMessage("first", true);
    showMessage("quiet", false);
    showMessage("", true);
    showError("broken");
    showMessage("ignored while the error stands", true);
    const auto lines = logLines();
    EXPECT_THAT(lines, Contains("first"));
    EXPECT_THAT(lines, Not(Contains("quiet")));
    EXPECT_THAT(lines, Contains("Error broken"));
    EXPECT_THAT(lines, Not(Contains("ignored while the error stands")));
}

TEST(LiveryServicesTest, RegistrationVariants)
{
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"DAIPX", {"DA-IPX", "D-AIPX", "DAIPX"}},
        {"N123AA", {"N123AA"}},
        {"G-EUPT", {"G-EUPT"}},
        {"9VSM", {"9VSM"}},
        {"", {""}},
    };
    for (const auto& [reg, variants] : cases) EXPECT_EQ(gf_registrationVariants(reg), variants) << reg;
}

TEST(LiveryServicesTest, FakeAnswersUntilItIsGone)
{
    {
        LiveryServicesFake liveries;
        liveries.dbase["D-AIPX"] = {"D-AIPX", "DLH", "A320", "", false};
        liveries.titles["DLH A320"] = "FSLTL_A320_DLH";
        liveries.knownTypes.insert("A320");
        ASSERT_TRUE(gf_findDbaseRecord("DAIPX"));
        EXPECT_EQ(gf_findDbaseRecord("DAIPX")->airline, "DLH");
        const auto match = gf_matchLiveAcLivery({"DLH", "A320", "DAIPX", "DLH4", AcCategory{2}, false});
        ASSERT_TRUE(match);
        EXPECT_EQ(match->title, "FSLTL_A320_DLH");
        EXPECT_TRUE(match->fsltlModel);
        liveryServices().rememberTitle(7, match->title);
        EXPECT_EQ(gf_lookupTitleById(7), "FSLTL_A320_DLH");
        liveries.blocked.insert("FSLTL_A320_DLH");
        EXPECT_EQ(gf_lookupTitleById(7), "");
        EXPECT_TRUE(gf_isKnownType("A320"));
        LiveryRequest parked{"DLH", "A320", "", "", AcCategory{2}, false};
        parked.title = "KEPT";
        EXPECT_EQ(gf_matchStaticAcLivery(parked, true, "V155")->title, "KEPT");
        parked.title = {};
        liveries.blocked.clear();
        const auto placed = gf_matchStaticAcLivery(parked, false, "V156");
        ASSERT_TRUE(placed);
        EXPECT_EQ(placed->title, "FSLTL_A320_DLH");
        EXPECT_TRUE(placed->fsltlModel);
        gf_liveryNotCreated("DLH4", "FSLTL_A320_DLH", "A320", "DLH");
        EXPECT_EQ(liveries.calls.count("match "), 1u);
        EXPECT_EQ(liveries.calls.count("matchStatic DLH A320 cargo at V155"), 1u);
        EXPECT_EQ(liveries.calls.count("notCreated DLH4 FSLTL_A320_DLH A320 DLH"), 1u);
    }
    EXPECT_FALSE(gf_findDbaseRecord("DAIPX"));
    EXPECT_FALSE(gf_isKnownType("A320"));
    EXPECT_EQ(gf_typeCategory("A320"), AcCategory{0});
}

TEST(AirportServicesTest, NoAirportsUntilInstalled)
{
    EXPECT_EQ(sidName(0), "sid==0?");
    EXPECT_EQ(sidName(5), "unknown");
    EXPECT_TRUE(removeFarthestLive(20.0));
    EXPECT_TRUE(airportServices().parkAirport().code.empty());
    {
        AirportServicesFake airports;
        airports.standNames[5] = "GATE A5";
        airports.removeFarthestResult = false;
        EXPECT_EQ(sidName(5), "GATE A5");
        EXPECT_FALSE(removeFarthestLive(20.5));
        EXPECT_TRUE(lt_addStandOption(5, {12, "DLH", "A320", "D-AIPX", "DLH4"}, false, 7, false));
        EXPECT_THAT(airports.calls.get(), ElementsAre("removeFarthestLive 20.5", "addStandOption 5 DLH4 false 7 false"));
    }
    EXPECT_EQ(sidName(5), "unknown");
}

}  // namespace
