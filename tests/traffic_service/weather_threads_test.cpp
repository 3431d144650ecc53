// The weather reader thread against the service stand-in.

#include <gtest/gtest.h>

#include <limits>

#include "support/reader_fixture.h"

using nlohmann::json;
using standin::Reply;

namespace {

Reply weatherAnswer(json qnh) { return Reply::json({{"status", 200}, {"wrrl", 10}, {"data", {{"QNH", qnh}}}}); }

class WeatherTest : public ReaderFixture {
protected:
    void alwaysQnh(json qnh)
    {
        service.setHandler("weather", [qnh](const standin::Request&) { return weatherAnswer(qnh); });
    }
};

TEST_F(WeatherTest, RequestBodies)
{
    fake.user = {52.3086, 4.7639, 35000.9};
    weather.toffset = 90;
    alwaysQnh(1013);
    ASSERT_TRUE(launchWeatherReader(weather, reader));
    ASSERT_TRUE(service.waitForRequests("weather", 1));
    weather.stop = true;
    ASSERT_TRUE(finishes(weather));
    EXPECT_EQ(service.requests("nearestmetar").at(0).body, "GUID=G-1&toffset=90&lat=52.3086&lon=4.7639");
    EXPECT_EQ(service.requests("weather").at(0).body,
              "GUID=G-1&querytype=locwx&toffset=90&lat=52.3086&lon=4.7639&alt=35000&airports=EHAM");
}

TEST_F(WeatherTest, LowAltitudeIsSentAsZero)
{
    fake.user = {-33.9461, 151.1772, 0.7};
    alwaysQnh(1013);
    ASSERT_TRUE(launchWeatherReader(weather, reader));
    ASSERT_TRUE(service.waitForRequests("weather", 1));
    weather.stop = true;
    ASSERT_TRUE(finishes(weather));
    EXPECT_EQ(service.requests("weather").at(0).body,
              "GUID=G-1&querytype=locwx&toffset=0&lat=-33.9461&lon=151.1772&alt=0&airports=EHAM");
}

TEST_F(WeatherTest, AnAltitudeNotYetKnownIsSentAsZero)
{
    fake.user = {52.3086, 4.7639, std::numeric_limits<double>::quiet_NaN()};
    alwaysQnh(1013);
    ASSERT_TRUE(launchWeatherReader(weather, reader));
    ASSERT_TRUE(service.waitForRequests("weather", 1));
    weather.stop = true;
    ASSERT_TRUE(finishes(weather));
    EXPECT_EQ(service.requests("weather").at(0).formValue("alt"), "0");
}

TEST_F(WeatherTest, ANewQnhIsStoredOnceEverywhere)
{
    alwaysQnh(1017);
    ASSERT_TRUE(launchWeatherReader(weather, reader));
    ASSERT_TRUE(service.waitForRequests("weather", 3));
    weather.stop = true;
    ASSERT_TRUE(finishes(weather));
    EXPECT_EQ(fake.engineQnh, std::vector<int>{1017});
    EXPECT_EQ(fake.panelQnh, std::vector<int>{1017});
    EXPECT_EQ(reader.qnh.load(), 1017);
    EXPECT_EQ(weather.qnh.load(), 1017);
    EXPECT_TRUE(weather.weatherOk.load());
    EXPECT_TRUE(weather.ended.load());
    EXPECT_TRUE(fake.stopped.empty());
    EXPECT_FALSE(fake.anyMarkedContains("RT API"));
}

TEST_F(WeatherTest, StandardPressureIsAlwaysTakenOverAndStrangeValuesNever)
{
    service.push("weather", weatherAnswer(925));
    alwaysQnh("1013");
    ASSERT_TRUE(launchWeatherReader(weather, reader));
    // The fourth request shows that the answers to the second and third were taken in.
    ASSERT_TRUE(service.waitForRequests("weather", 4));
    weather.stop = true;
    ASSERT_TRUE(finishes(weather));
    EXPECT_TRUE(fake.anyMarkedContains("Strange QNH 925 found in {\"data\":{\"QNH\":925}"));
    EXPECT_GE(fake.engineQnh.size(), 2u);
    for (int q : fake.engineQnh) EXPECT_EQ(q, 1013);
}

TEST_F(WeatherTest, StatusFlow)
{
    struct Row {
        const char* name;
        const char* route;
        Reply reply;
        const char* line;
        bool restart;
    };
    const std::vector<Row> rows = {
        {"station 401", "nearestmetar", Reply::json({{"status", 401}}),
         "re-authentication to RT API is needed, restart VRMT_P3D", true},
        {"station 400", "nearestmetar", Reply::json({{"status", 400}}), "Weather RT API: parameter fault", false},
        {"weather 404", "weather", Reply::json({{"status", 404}}), "Weather RT API error: 404", false},
        {"weather 403", "weather", Reply::json({{"status", 403}}), "Weather RT API: no weather data for this session",
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fake.stopped.clear();
        reader.stop = false;
        weather.stop = false;
        service.push(row.route, row.reply);
        ASSERT_TRUE(launchWeatherReader(weather, reader));
        ASSERT_TRUE(finishes(weather));
        EXPECT_TRUE(fake.anyMarkedContains(row.line));
        EXPECT_EQ(fake.stopped, (std::vector<std::pair<std::string, bool>>{{"Weather Reader", row.restart}}));
        EXPECT_TRUE(reader.stop.load());
        EXPECT_EQ(statusPanel().weatherLamp.load(), 3);
    }
}

TEST_F(WeatherTest, RetriedFailures)
{
    service.push("nearestmetar", Reply::json({{"status", 406}, {"message", "wait"}}));
    service.push("nearestmetar", Reply::json({{"status", 500}, {"message", "db"}}));
    service.push("nearestmetar", Reply::closeNoReply());
    service.push("nearestmetar", Reply::text("{x"));
    service.push("nearestmetar", Reply::json({{"status", 200}, {"data", {{"ICAO", "EHAM"}}}}));
    service.push("nearestmetar", Reply::json({{"status", 200}, {"data", json::array()}}));
    service.push("weather", Reply::json({{"status", 406}, {"message", "later"}}));
    service.push("weather", Reply::empty());
    service.push("weather", Reply::text("<html>"));
    alwaysQnh(1013);
    ASSERT_TRUE(launchWeatherReader(weather, reader));
    ASSERT_TRUE(service.waitForRequests("weather", 5));
    weather.stop = true;
    ASSERT_TRUE(finishes(weather));
    EXPECT_TRUE(fake.anyMarkedContains("406 json nearestmetar wait"));
    EXPECT_TRUE(fake.anyMarkedContains("500 json nearestmetar db"));
    EXPECT_TRUE(fake.anyMarkedContains("nearestmetar code: Server returned nothing"));
    EXPECT_TRUE(fake.anyMarkedContains("nearest metar: invalid JSON"));
    EXPECT_TRUE(fake.anyMarkedContains("nearestmetar: nearestmetar data is not an array"));
    EXPECT_TRUE(fake.anyMarkedContains("406 json weather later"));
    EXPECT_TRUE(fake.anyMarkedContains("Empty content?, no QNH to be found"));
    EXPECT_TRUE(fake.anyMarkedContains("Invalid JSON: <html>"));
    EXPECT_TRUE(fake.stopped.empty());
}

TEST_F(WeatherTest, WithoutASessionTheReaderEndsAtOnce)
{
    weather.setSessionGuid("");
    ASSERT_TRUE(launchWeatherReader(weather, reader));
    ASSERT_TRUE(finishes(weather));
    EXPECT_TRUE(service.requests().empty());
    EXPECT_TRUE(fake.anyMarkedContains("Weather RT API error: 0"));
}

TEST_F(WeatherTest, AHangingServerDoesNotHoldUpTheStop)
{
    service.push("nearestmetar", Reply::hang());
    ASSERT_TRUE(launchWeatherReader(weather, reader));
    ASSERT_TRUE(service.waitForRequests("nearestmetar", 1));
    weather.stop = true;
    ASSERT_TRUE(finishes(weather));
    EXPECT_TRUE(weather.ended.load());
}

TEST_F(WeatherTest, ResetBeforeANewRun)
{
    reader.toffset = 30;
    reader.qnh = 1020;
    reader.recordCount = 12;
    reader.collectMaps = true;
    reader.parkedPending = true;
    reader.blockedState = false;
    reader.stop = true;
    reader.ended = true;
    reader.setReferenceElevation(100.0);
    reader.setUserPosition({10, 10});
    fake.range = 10;
    reader.updateQueryBox();
    weather.qnh = 1020;
    weather.weatherOk = true;
    weather.station = "EGLL";
    weather.stop = true;
    weather.document = json::object({{"a", 1}});
    checkWeatherHandles(reader, weather);
    EXPECT_EQ(reader.sessionGuid(), "");
    EXPECT_EQ(weather.sessionGuid(), "");
    EXPECT_EQ(reader.toffset.load(), 0);
    EXPECT_EQ(reader.qnh.load(), 1013);
    EXPECT_EQ(reader.recordCount.load(), 0);
    EXPECT_FALSE(reader.collectMaps.load());
    EXPECT_FALSE(reader.parkedPending.load());
    EXPECT_TRUE(reader.blockedState.load());
    EXPECT_TRUE(reader.trafficLampLit.load());
    EXPECT_FALSE(reader.stop.load());
    EXPECT_FALSE(reader.ended.load());
    EXPECT_FALSE(reader.referenceElevation().has_value());
    EXPECT_EQ(reader.queryBox().top, 52.44);
    EXPECT_EQ(weather.qnh.load(), 1013);
    EXPECT_FALSE(weather.weatherOk.load());
    EXPECT_TRUE(weather.weatherLampLit.load());
    EXPECT_EQ(weather.station, "");
    EXPECT_FALSE(weather.stop.load());
    EXPECT_TRUE(weather.document.is_object());
    EXPECT_TRUE(weather.document.empty());
    EXPECT_TRUE(weather.handle);
}

}  // namespace
