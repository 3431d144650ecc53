// With nothing wired by the application, the client reaches the core services:
// options, message line, run state, park airport and aircraft database.

#include <gtest/gtest.h>

#include "core/airport_services_fake.h"
#include "core/app_services_fake.h"
#include "core/livery_services_fake.h"
#include "core/options.h"
#include "core/run_state.h"
#include "service_standin.h"
#include "traffic_service/handover.h"
#include "traffic_service/traffic_reader.h"

using nlohmann::json;

namespace {

class DefaultHandoverTest : public ::testing::Test {
protected:
    DefaultHandoverTest()
    {
        setServiceHandover(defaultServiceHandover());
        resetOptionsToDefaults();
        resetRunState();
        resetBlockedCallsignReport();
        reader.setUserPosition({52.3, 4.76});
    }
    ~DefaultHandoverTest() override
    {
        resetOptionsToDefaults();
        resetRunState();
    }
    static json entry(double lat, double altitude)
    {
        return standin::makeEntry({{0, "3c6444"}, {1, lat}, {2, 4.76}, {4, altitude}, {5, 250}, {8, "A320"},
                                   {9, "D-AIZA"}, {10, 1700000000.0}, {13, "DLH123"}, {28, "A3"}});
    }

    AppServicesFake app;
    AirportServicesFake airports;
    LiveryServicesFake liveries;
    TrafficReader reader;
};

TEST_F(DefaultHandoverTest, OptionsMessageLineAndParkAirport)
{
    RANGE.set(2);
    processTrafficRecord(reader, entry(52.35, 5000));  // 3 nm away
    EXPECT_TRUE(reader.records.empty());
    RANGE.reset();
    processTrafficRecord(reader, entry(52.35, 5000));
    EXPECT_EQ(reader.records.size(), 1u);

    BLOCK_CALLSIGN.set("DLH123");
    processTrafficRecord(reader, entry(52.35, 5000));
    EXPECT_EQ(reader.records.size(), 1u);
    ASSERT_EQ(app.messages().size(), 1u);
    EXPECT_EQ(app.messages()[0].text, "Reader: Live aircraft DLH123 blocked");
    EXPECT_TRUE(app.messages()[0].log);
    BLOCK_CALLSIGN.reset();

    reader.records.clear();
    reader.airborneSeen.clear();  // not seen aloft: no landing to follow
    processTrafficRecord(reader, entry(52.35, 0));  // on the ground: only near the park airport
    EXPECT_TRUE(reader.records.empty());
    airports.park.code = "EHAM";
    airports.park.lat = 52.3086;
    airports.park.lon = 4.7639;
    processTrafficRecord(reader, entry(52.31, 0));
    EXPECT_EQ(reader.records.size(), 1u);
    airports.referenceElevation = 600.0;
    EXPECT_EQ(reader.referenceElevation(), std::optional<double>(600.0));
}

TEST_F(DefaultHandoverTest, AircraftDatabaseAndCategories)
{
    liveries.knownTypes = {"A320", "C172"};
    liveries.categories["C172"] = AcCategory{0};  // Light
    liveries.dbase["D-EABC"] = DbaseRecord{"D-EABC", "DLH", "A320", "", false};
    std::vector<ParkedTrafficRecord> out;
    LIGHT_AIRCRAFT.set(false);
    processParkedTrafficLine("3c6444", standin::makeParkedEntry(52.3, 4.7, "A1", "C172", "null", 1.7e9, ""), out);
    EXPECT_TRUE(out.empty());
    LIGHT_AIRCRAFT.set(true);
    processParkedTrafficLine("3c6444", standin::makeParkedEntry(52.3, 4.7, "A1", "C172", "null", 1.7e9, ""), out);
    processParkedTrafficLine("3c6445", standin::makeParkedEntry(52.3, 4.7, "A2", "ZZZZ", "D-EABC", 1.7e9, ""), out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].airline, "DLH");
    EXPECT_EQ(out[1].type, "A320");
    EXPECT_EQ(out[1].callsign, "D-EABC");
}

TEST_F(DefaultHandoverTest, AStoppedReaderEndsTheRun)
{
    serviceHandover().reportStoppedWithError("Traffic Reader", true);
    EXPECT_TRUE(closingFlag.load());
    EXPECT_EQ(closingReason(), ClosingReason::ReaderError);
    EXPECT_EQ(restartDelaySeconds(), 15);
}

}  // namespace
