// The livery start-up on a generated library: scanned into LiveriesScanned.xml
// and the reports, processed, and aircraft of the live traffic matched through
// the installed livery services.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include <pugixml.hpp>

#include "core/app_services.h"
#include "core/livery_services.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/task_slots.h"
#include "engine/ac_records.h"
#include "liveries/dbase.h"
#include "liveries/livery_index.h"
#include "liveries/livery_init.h"
#include "liveries/livery_match.h"
#include "liveries/livery_services_impl.h"
#include "liveries/similar_models.h"
#include "liveries/support/aircraft_folder.h"
#include "liverygen.h"
#include "traffic_service/parked_record.h"

namespace {

TEST(LiverygenLiveries, FromAGeneratedLibraryToAMatch)
{
    WorkingFolder folder;
    setParametersFile(folder / "parameters.xml");
    const auto library = liverygen::generateLiveryLibrary(folder / "library", 30, 3);
    pugi::xml_document dbase;
    ASSERT_TRUE(dbase.load_file(library.dbaseXml.c_str()));
    gf_readDbaseDocument(dbase);
    resetTaskSlots(4);
    SCAN_LIVERIES.set(true);
    LIG_AUTOMATIC.set(false);
    lfolder[0]->set(library.root.string());

    gf_initLiveries();

    EXPECT_FALSE(SCAN_LIVERIES.get());
    EXPECT_TRUE(LiveriesInitialised);
    EXPECT_TRUE(std::filesystem::exists(folder / invalidAirlineCodesPath));
    EXPECT_TRUE(std::filesystem::exists(folder / incompleteFltsimSectionsPath));
    pugi::xml_document scanned;
    ASSERT_TRUE(scanned.load_file((folder / liveriesScannedPath).c_str()));
    const auto livs = scanned.child("liveries").children("liv");
    const auto count = static_cast<std::int32_t>(std::distance(livs.begin(), livs.end()));
    EXPECT_GT(count, 50);
    EXPECT_EQ(statusPanel().liveriesCount, count);
    EXPECT_THAT(folder.logLines(), testing::Contains(testing::StartsWith("Category Large: ")));

    installLiveryServices();
    MATCHING_DEPTH.set(4);
    // By registration: the first livery of the file that declares it.
    pugi::xml_node withId;
    for (pugi::xml_node liv : livs)
        if (*liv.attribute("atcid").as_string()) {
            withId = liv;
            break;
        }
    ASSERT_TRUE(withId);
    ParkedTrafficRecord record;
    record.callsign = "ABC123";
    record.airline = "XXX";
    record.type = withId.attribute("type").as_string();
    record.registration = withId.attribute("atcid").as_string();
    const auto byRegcode = gf_matchLiveAcLivery(liveryRequest(acIdentityFromTraffic(record)));
    ASSERT_TRUE(byRegcode);
    EXPECT_EQ(byRegcode->title, withId.attribute("title").as_string());

    // By airline and type: one of that key's pax liveries.
    pugi::xml_node pax;
    for (pugi::xml_node liv : livs) {
        const std::string airline = liv.attribute("airl").as_string();
        if (!liv.attribute("cargo") && airline != "ZZZ" && airline != "PVT") {
            pax = liv;
            break;
        }
    }
    ASSERT_TRUE(pax);
    std::set<std::string> titles;
    for (pugi::xml_node liv : livs)
        if (!liv.attribute("cargo") && std::string(liv.attribute("airl").as_string()) == pax.attribute("airl").as_string() &&
            std::string(liv.attribute("type").as_string()) == pax.attribute("type").as_string())
            titles.insert(liv.attribute("title").as_string());
    record.airline = pax.attribute("airl").as_string();
    record.type = pax.attribute("type").as_string();
    record.registration = "";
    const auto byAirline = gf_matchLiveAcLivery(liveryRequest(acIdentityFromTraffic(record)));
    ASSERT_TRUE(byAirline);
    EXPECT_EQ(titles.count(std::string(byAirline->title)), 1u) << byAirline->title;
    EXPECT_EQ(MatchStepCounters[0], 1);
    EXPECT_EQ(MatchStepCounters[1], 1);

    setLiveryServices(nullptr);
    gf_clearSimilarModels();
    gf_clearLiveryIndexes();
    resetLiveryMatchRecords();
    resetDbaseTables();
    LiveriesInitialised = false;
    statusPanel().reset();
    resetOptionsToDefaults();
    setParametersFile({});
}

}  // namespace
