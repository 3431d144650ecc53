// The traffic reader thread against the service stand-in.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/run_state.h"
#include "scene.h"
#include "support/reader_fixture.h"

using nlohmann::json;
using standin::makeEntry;
using standin::Reply;

namespace {

json entry(const char* hex, const char* callsign)
{
    return makeEntry({{0, hex}, {1, 52.35}, {2, 4.80}, {3, 90.0}, {4, 5000}, {5, 250}, {8, "A320"}, {9, "D-AIZA"},
                      {10, 1700000000.0}, {13, callsign}, {28, "A3"}});
}

json liveAnswer(json data) { return {{"status", 200}, {"rrl", 10}, {"data", std::move(data)}}; }

class TrafficReaderTest : public ReaderFixture {};

TEST_F(TrafficReaderTest, ReceivingIsReportedOnceTheBufferedTrafficIsHandedOverBeforeThePause)
{
    // A minute's pause (0.6 s here): the report must not wait for it.
    json data = {{"buffer_0", json::array({entry("400004", "DDD4")})}};
    service.push("traffic.buffer", Reply::json({{"status", 200}, {"rrl", 60000}, {"data", data}}));
    ASSERT_TRUE(launchTrafficReader(reader, weather));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!reader.loopRunning.load() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(reader.loopRunning.load());
    EXPECT_EQ(fake.recordedBatches().size(), 5u) << "all five batches before the report";
    // The pause before the next request is kept.
    for (const auto& r : service.requests()) EXPECT_EQ(r.route, "traffic.buffer");
    reader.stop = true;
    ASSERT_TRUE(finishes(reader));
    EXPECT_FALSE(reader.loopRunning.load()) << "a stop in the pause takes the report back";
}

TEST_F(TrafficReaderTest, BufferedStartGivesFiveBatchesThenLivePasses)
{
    json data = {{"buffer_4", {{"400001", entry("400001", "AAA1")}}},
                 {"buffer_3", json::object()},
                 {"buffer_1", {{"400002", entry("400002", "BBB2")}, {"400003", entry("400003", "CCC3")}}},
                 {"buffer_0", json::array({entry("400004", "DDD4")})}};
    service.push("traffic.buffer", Reply::json({{"status", 200}, {"rrl", 10}, {"data", data}}));
    service.setHandler("traffic.live", [](const standin::Request&) {
        return Reply::json(liveAnswer({{"400001", entry("400001", "AAA1")}}));
    });
    ASSERT_TRUE(launchTrafficReader(reader, weather));
    ASSERT_TRUE(service.waitForRequests("traffic.live", 3));
    EXPECT_TRUE(reader.loopRunning.load());
    EXPECT_EQ(statusPanel().trafficLamp.load(), 1);
    reader.stop = true;
    ASSERT_TRUE(finishes(reader));

    const auto batches = fake.recordedBatches();
    ASSERT_GE(batches.size(), 7u);
    const int delays[] = {0, 6, 12, 18, 24};
    const std::size_t sizes[] = {1, 0, 0, 2, 1};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(batches[i].delaySeconds, delays[i]);
        EXPECT_EQ(batches[i].records.size(), sizes[i]);
    }
    for (std::size_t i = 5; i < batches.size(); ++i) {
        EXPECT_EQ(batches[i].delaySeconds, 30);
        EXPECT_EQ(batches[i].records.size(), 1u);
    }
    ASSERT_EQ(batches[3].records.size(), 2u);
    EXPECT_EQ(batches[3].records[1].callsign, "CCC3");

    const auto reqs = service.requests();
    ASSERT_GE(reqs.size(), 4u);
    EXPECT_EQ(reqs[0].route, "traffic.buffer");
    EXPECT_EQ(reqs[0].body,
              "GUID=G-1&top=52.44&bottom=52.17&left=4.54&right=4.98&querytype=locationtraffic&toffset=0"
              "&buffercount=5&buffertime=6");
    EXPECT_EQ(reqs[1].body, "GUID=G-1&top=52.44&bottom=52.17&left=4.54&right=4.98&querytype=locationtraffic&toffset=0");
    for (const auto& r : reqs) EXPECT_EQ(r.headers.count("accept-encoding"), 1u);
    // A fresh connection for every request (read after the requests: it only
    // grows). The stop may have cut the next transfer after its connection was
    // accepted and before its request was read, so one more is no reuse.
    const std::size_t connections = service.connectionCount();
    EXPECT_GE(connections, reqs.size());
    EXPECT_LE(connections, reqs.size() + 1);

    // Ended on a stop: no error report, the other reader left running.
    EXPECT_TRUE(reader.ended.load());
    EXPECT_FALSE(reader.loopRunning.load());
    EXPECT_TRUE(fake.stopped.empty());
    EXPECT_FALSE(weather.stop.load());
    EXPECT_EQ(statusPanel().trafficLamp.load(), 3);
    EXPECT_FALSE(reader.trafficHandle);  // the thread's handles went with it
}

TEST_F(TrafficReaderTest, TheBufferedStartIsConvertedWithTheFirstQnh)
{
    // The weather reader looks up its station and keeps the service's pause
    // (2 s) before it asks for the QNH; the buffered start must not be
    // converted with the standard pressure in the meantime.
    struct Row {
        const char* name;
        bool weatherRuns;
        int servedQnh;
        double altitude;  // of the buffered record served at 5000 ft
        bool waitedInVain;
    };
    const std::vector<Row> rows = {
        {"a low QNH", true, 1007, 4820, false},
        {"a high QNH", true, 1020, 5210, false},
        {"no weather reader", false, 1007, 5000, false},
        {"no QNH the reader takes", true, 900, 5000, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TrafficReader traffic;
        WeatherClient wx;
        traffic.setSessionGuid("G-1");
        traffic.setUserPosition({52.3, 4.76});
        wx.setSessionGuid("G-1");
        fake.marked.clear();
        const std::size_t batchesBefore = fake.recordedBatches().size();
        const std::size_t requestsBefore = service.requests().size();
        const int q = row.servedQnh;
        service.setHandler("weather", [q](const standin::Request&) {
            return Reply::json({{"status", 200}, {"wrrl", 2000}, {"data", {{"QNH", q}}}});
        });
        json data = {{"buffer_0", json::array({entry("400004", "DDD4")})}};
        service.push("traffic.buffer", Reply::json({{"status", 200}, {"rrl", 10}, {"data", data}}));
        if (row.weatherRuns) {
            ASSERT_TRUE(launchWeatherReader(wx, traffic));
        }
        ASSERT_TRUE(launchTrafficReader(traffic, wx));
        ASSERT_TRUE(eventually([&] { return fake.recordedBatches().size() >= batchesBefore + 5; }));
        traffic.stop = true;
        wx.stop = true;
        ASSERT_TRUE(finishes(traffic));
        ASSERT_TRUE(finishes(wx));

        const auto batches = fake.recordedBatches();
        const auto& first = batches[batchesBefore + 4];
        ASSERT_EQ(first.records.size(), 1u);
        EXPECT_DOUBLE_EQ(first.records[0].altitude, row.altitude);
        EXPECT_EQ(fake.anyMarkedContains("Traffic Reader: no QNH after 5 s, altitudes taken at 1013 hPa"),
                  row.waitedInVain);
        if (row.weatherRuns && !row.waitedInVain) {
            // The buffer request went out after the weather answer.
            const auto reqs = service.requests();
            std::vector<std::string> routes;
            for (std::size_t i = requestsBefore; i < reqs.size(); ++i) routes.push_back(reqs[i].route);
            const auto weatherAt = std::find(routes.begin(), routes.end(), "weather");
            const auto bufferAt = std::find(routes.begin(), routes.end(), "traffic.buffer");
            EXPECT_LT(weatherAt - routes.begin(), bufferAt - routes.begin());
        }
    }
}

TEST_F(TrafficReaderTest, QueryBoxFollowsTheUserAndTheRange)
{
    EXPECT_EQ(reader.queryBox().top, 52.44);
    reader.setUserPosition({0.00005, 0.0001});  // no position yet
    reader.updateQueryBox();
    EXPECT_EQ(reader.queryBox().left, 4.54);

    fake.range = 10;
    reader.setUserPosition({0.0, -0.3});
    reader.updateQueryBox();
    QueryBox b = reader.queryBox();
    EXPECT_NEAR(b.top, 0.16654676, 1e-8);
    EXPECT_NEAR(b.bottom, -0.16654676, 1e-8);
    EXPECT_NEAR(b.left, -0.3 - 10.0 / 60.0, 1e-6);
    EXPECT_NEAR(b.right, -0.3 + 10.0 / 60.0, 1e-6);

    reader.setUserPosition({0.0001, -0.3001});  // moved less than 0.00015 in both
    reader.updateQueryBox();
    EXPECT_EQ(reader.queryBox().top, b.top);
    fake.range = 20;  // the range alone recomputes it
    reader.updateQueryBox();
    EXPECT_NEAR(reader.queryBox().top, 0.0001 + 20 * 1.852 / 111.2, 1e-9);

    // Negative coordinates in the request body.
    fake.range = 10;
    reader.setUserPosition({0.0, -0.3});
    reader.updateQueryBox();
    ASSERT_TRUE(launchTrafficReader(reader, weather));
    ASSERT_TRUE(service.waitForRequests("traffic.live", 1));
    EXPECT_EQ(service.requests("traffic.live")[0].body,
              "GUID=G-1&top=0.17&bottom=-0.17&left=-0.47&right=-0.13&querytype=locationtraffic&toffset=0");
}

TEST_F(TrafficReaderTest, SoftRefusalsAndTransferErrorsDoNotEndTheLoop)
{
    service.push("traffic.live", Reply::json({{"status", 406}, {"message", 42}}));
    service.push("traffic.live", Reply::json({{"status", 406}, {"message", "too fast"}}));
    service.push("traffic.live", Reply::closeNoReply());
    service.push("traffic.live", Reply::cutMidBody(liveAnswer(json::object())));
    service.push("traffic.live", Reply::empty());
    service.push("traffic.live", Reply::text("<html>"));
    service.push("traffic.live", Reply::json({{"status", "200"}}));
    service.push("traffic.live", Reply::json(json::array({1, 2})));
    service.push("traffic.live", Reply::gzip(liveAnswer({{"a", entry("400009", "GZ1")},
                                                          {"b", json::array({1, 2, 3})},
                                                          {"c", json::object({{"x", 1}})}})));
    service.setHandler("traffic.live", [](const standin::Request&) { return Reply::json(liveAnswer(json::object())); });
    ASSERT_TRUE(launchTrafficReader(reader, weather));
    ASSERT_TRUE(service.waitForRequests("traffic.live", 11));
    reader.stop = true;
    ASSERT_TRUE(finishes(reader));

    EXPECT_TRUE(fake.anyMarkedContains("Thu Nov 14 22:13:20 2023 curl traffic msg: "));
    EXPECT_TRUE(fake.anyMarkedContains("curl traffic msg: too fast"));
    EXPECT_TRUE(fake.anyMarkedContains("curl traffic code:52 = Server returned nothing (no headers, no data)"));
    EXPECT_TRUE(fake.anyMarkedContains("curl traffic code:18 = "));
    EXPECT_TRUE(fake.anyMarkedContains("traffic receive: empty content"));
    EXPECT_TRUE(fake.anyMarkedContains("receive: [json.exception.parse_error"));
    EXPECT_TRUE(fake.anyMarkedContains("receive: status is not a number"));
    EXPECT_TRUE(fake.anyMarkedContains("receive: answer is not a JSON object"));
    EXPECT_TRUE(fake.stopped.empty());
    // The gzip answer: one record; the 3-value entry skipped without a word.
    bool seen = false;
    for (const auto& b : fake.recordedBatches())
        for (const auto& r : b.records) seen = seen || r.callsign == "GZ1";
    EXPECT_TRUE(seen);
}

TEST_F(TrafficReaderTest, ServiceStatusesEndTheReader)
{
    struct Row {
        json answer;
        int status;
        const char* line;
        bool restart;
    };
    const std::vector<Row> rows = {
        {{{"status", 401}}, 401, "re-authentication to RT API is needed, restart VRMT_P3D", true},
        {{{"status", 400}}, 400, "Traffic RT API: parameter fault", false},
        {{{"status", 403}}, 403, "Traffic RT API: no traffic data for this session (403)", false},
        {{{"status", 404}}, 404, "Traffic RT API error: 404", false},
        {{{"message", "no status"}}, 100, "Traffic RT API error: 100", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.status);
        fake.stopped.clear();
        fake.marked.clear();
        weather.stop = false;
        reader.stop = false;
        service.push("traffic.live", Reply::json(row.answer));
        ASSERT_TRUE(launchTrafficReader(reader, weather));
        ASSERT_TRUE(finishes(reader));
        EXPECT_TRUE(fake.anyMarkedContains(row.line));
        EXPECT_EQ(fake.stopped, (std::vector<std::pair<std::string, bool>>{{"Traffic Reader", row.restart}}));
        EXPECT_TRUE(weather.stop.load());
        EXPECT_FALSE(reader.ended.load());
        EXPECT_EQ(statusPanel().trafficLamp.load(), 3);
    }
}

TEST_F(TrafficReaderTest, WithoutASessionNothingIsAsked)
{
    reader.setSessionGuid("");
    ASSERT_TRUE(launchTrafficReader(reader, weather));
    ASSERT_TRUE(finishes(reader));
    EXPECT_TRUE(service.requests().empty());
    EXPECT_TRUE(fake.anyMarkedContains("Traffic RT API error: 0"));
    EXPECT_EQ(fake.stopped, (std::vector<std::pair<std::string, bool>>{{"Traffic Reader", false}}));
}

TEST_F(TrafficReaderTest, StopDuringTheBufferRequestEndsAfterItsPause)
{
    service.push("traffic.buffer", Reply::json({{"status", 200}, {"rrl", 10}, {"data", json::object()}})
                                       .after(std::chrono::milliseconds(100)));
    ASSERT_TRUE(launchTrafficReader(reader, weather));
    ASSERT_TRUE(service.waitForRequests("traffic.buffer", 1));
    reader.stop = true;
    ASSERT_TRUE(finishes(reader));
    EXPECT_TRUE(service.requests("traffic.live").empty());
    EXPECT_TRUE(reader.ended.load() || !reader.loopRunning.load());
    EXPECT_TRUE(fake.stopped.empty());
    EXPECT_FALSE(fake.anyMarkedContains("RT API"));
}

TEST_F(TrafficReaderTest, AHangingServerDoesNotHoldUpTheStop)
{
    service.push("traffic.live", Reply::hang());
    ASSERT_TRUE(launchTrafficReader(reader, weather));
    ASSERT_TRUE(service.waitForRequests("traffic.live", 1));
    const auto start = std::chrono::steady_clock::now();
    reader.stop = true;
    ASSERT_TRUE(finishes(reader));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(reader.ended.load());
}

// A close aborts the readers' transfers under way before the closing down sets
// their own stops. That is no error: a normal close logs no marked line for it
// ("curl traffic code:42 = Operation was aborted by an application callback", the
// same for the weather) and no failure after it, whatever request was under way.
struct CloseRow {
    const char* route;   // the request that hangs when the close comes
    bool weatherReader;  // else the traffic reader
};

void PrintTo(const CloseRow& row, std::ostream* out) { *out << row.route; }

class ClosingDuringATransfer : public ReaderFixture, public ::testing::WithParamInterface<CloseRow> {};

TEST_P(ClosingDuringATransfer, EndsItWithoutAnError)
{
    const CloseRow& row = GetParam();
    struct OpenAgain {
        ~OpenAgain() { closingFlag = false; }
    } openAgain;
    service.push(row.route, Reply::hang());
    fake.park = {"EHAM", {52.3086, 4.7639}};
    reader.parkedPending = std::string(row.route) == "traffic.parked";  // asked for after the buffer
    // No pause after the aborted request: the reader goes on before the closing down stops it.
    reader.rrl = 0;
    weather.wrrl = 0;
    ASSERT_TRUE(row.weatherReader ? launchWeatherReader(weather, reader) : launchTrafficReader(reader, weather));
    ASSERT_TRUE(service.waitForRequests(row.route, 1));
    const std::vector<std::string> before = fake.markedLines();
    closingFlag = true;
    notifyStop();
    // The reader has given the transfer up (its connection is closed) before its own stop comes.
    ASSERT_TRUE(eventually([this] { return service.hangsEndedByClient() == 1; }));
    CurlClient& client = row.weatherReader ? static_cast<CurlClient&>(weather) : static_cast<CurlClient&>(reader);
    client.stop = true;
    ASSERT_TRUE(finishes(client));
    EXPECT_EQ(fake.markedLines(), before) << "no marked line from the close on";
    EXPECT_TRUE(fake.stopped.empty());
}

const CloseRow closeRows[] = {
    {"traffic.buffer", false}, {"traffic.live", false}, {"traffic.parked", false},
    {"nearestmetar", true},    {"weather", true},
};

INSTANTIATE_TEST_SUITE_P(Requests, ClosingDuringATransfer, ::testing::ValuesIn(closeRows),
                         [](const ::testing::TestParamInfo<CloseRow>& info) {
                             std::string name = info.param.route;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

TEST_F(TrafficReaderTest, AgainstTheSyntheticScene)
{
    auto scene = std::make_shared<standin::Scene>(standin::SceneAirport{}, 2, [] { return 1700000000.0; });
    service.setScene(scene);
    fake.park = {"EHAM", {52.3086, 4.7639}};
    reader.setUserPosition({52.3086, 4.7639});
    fake.range = 40;
    reader.updateQueryBox();
    ASSERT_TRUE(launchTrafficReader(reader, weather));
    ASSERT_TRUE(service.waitForRequests("traffic.live", 2));
    reader.stop = true;
    ASSERT_TRUE(finishes(reader));
    const auto batches = fake.recordedBatches();
    ASSERT_GE(batches.size(), 6u);
    std::size_t airborne = 0, ground = 0;
    for (const auto& r : batches[5].records) (r.airborne ? airborne : ground)++;
    EXPECT_GT(airborne, 0u);
    EXPECT_GT(ground, 0u);  // taxiing, parked and pushing back near the park airport
    for (std::size_t i = 0; i < 5; ++i) EXPECT_FALSE(batches[i].records.empty());
}

// The lamp follows the last answer: traffic flowed, then the service stops
// answering (a connection closed without a reply), and the lamp turns to waiting
// instead of saying "flowing" for the whole outage.
TEST_F(TrafficReaderTest, AnOutageTurnsTheTrafficLampToWaiting)
{
    auto scene = std::make_shared<standin::Scene>(standin::SceneAirport{}, 2, [] { return 1700000000.0; });
    service.setScene(scene);
    reader.setUserPosition({52.3086, 4.7639});
    fake.range = 40;
    reader.updateQueryBox();
    sessionOpen = true;
    ASSERT_TRUE(launchTrafficReader(reader, weather));
    ASSERT_TRUE(eventually([this] { return reader.recordCount.load() > 0; }));
    updateStatusLamps(reader, weather);
    EXPECT_EQ(statusPanel().trafficLamp.load(), 1);
    service.setHandler("traffic.live", [](const standin::Request&) { return Reply::closeNoReply(); });
    EXPECT_TRUE(eventually([this] { return reader.recordCount.load() == 0; }));
    updateStatusLamps(reader, weather);
    EXPECT_EQ(statusPanel().trafficLamp.load(), 2);
    reader.stop = true;
    ASSERT_TRUE(finishes(reader));
    sessionOpen = false;
}

TEST_F(TrafficReaderTest, ASecondReaderIsNotStartedWhileTheFirstRuns)
{
    service.push("traffic.live", Reply::hang());
    ASSERT_TRUE(launchTrafficReader(reader, weather));
    EXPECT_FALSE(launchTrafficReader(reader, weather));
    EXPECT_TRUE(fake.anyMarkedContains("Traffic Reader is still running"));
    // The reset before a new run keeps the running reader's flags and handles.
    ASSERT_TRUE(service.waitForRequests("traffic.live", 1));
    reader.stop = true;
    checkWeatherHandles(reader, weather);
    EXPECT_TRUE(fake.anyMarkedContains("Traffic Reader still running"));
    EXPECT_TRUE(reader.stop.load());
    ASSERT_TRUE(finishes(reader));
}

TEST_F(TrafficReaderTest, LampsChangeOnlyWithTheState)
{
    weather.weatherOk = true;
    reader.recordCount = 3;
    weather.weatherLampLit = false;
    reader.trafficLampLit = false;
    updateStatusLamps(reader, weather);
    EXPECT_EQ(statusPanel().trafficLamp.load(), 1);
    EXPECT_EQ(statusPanel().weatherLamp.load(), 1);
    EXPECT_EQ(fake.repaints, 2);
    updateStatusLamps(reader, weather);
    EXPECT_EQ(fake.repaints, 2);
    reader.recordCount = 0;
    weather.weatherOk = false;
    updateStatusLamps(reader, weather);
    EXPECT_EQ(statusPanel().trafficLamp.load(), 2);
    EXPECT_EQ(statusPanel().weatherLamp.load(), 2);
    EXPECT_EQ(fake.repaints, 4);
    sessionOpen = false;
    reader.recordCount = 5;
    updateStatusLamps(reader, weather);
    EXPECT_EQ(fake.repaints, 4);
}

}  // namespace
