// Parked-traffic requests: asked on the test (worker) thread, served by a
// running traffic reader between its live requests.

#include <gtest/gtest.h>

#include "support/reader_fixture.h"

using nlohmann::json;
using standin::makeParkedEntry;
using standin::Reply;

namespace {

constexpr double kMidnight = 1699920000;  // 2023-11-14 00:00:00 UTC

json parked(const char* stand, double slot, const char* flight)
{
    return makeParkedEntry(52.31, 4.76, stand, "A320", "null", kMidnight + slot * 1800 + 60, flight);
}

json parkedAnswer(json data) { return {{"status", 200}, {"rrl", 10}, {"data", std::move(data)}}; }

class ParkedTest : public ReaderFixture {
protected:
    // The asking side gives up after 10 clock seconds. At the usual hundredfold
    // speed that left a loaded machine 100 ms for the reader's next live
    // exchange and the parked one; these tests are not about that time-out.
    ParkedTest() : ReaderFixture(0.1) {}
    void SetUp() override
    {
        fake.park = {"EHAM", {52.3086, 4.7639}};
        service.setHandler("traffic.live", [](const standin::Request&) {
            return Reply::json({{"status", 200}, {"rrl", 10}, {"data", json::object()}});
        });
        ASSERT_TRUE(launchTrafficReader(reader, weather));
        ASSERT_TRUE(service.waitForRequests("traffic.live", 1));
    }
    std::vector<std::string> stands() const
    {
        std::vector<std::string> out;
        for (const auto& r : reader.parkedRecords) out.push_back(r.stand + "/" + std::to_string(r.slot));
        return out;
    }
};

TEST_F(ParkedTest, ServedBetweenTwoLiveRequests)
{
    service.push("traffic.parked", Reply::json(parkedAnswer({{"3c6444", parked("D14", 20, "DLH1")}})));
    fake.slot = 21;
    ASSERT_TRUE(readParkedTraffic(reader));
    ASSERT_EQ(reader.parkedRecords.size(), 1u);
    EXPECT_EQ(reader.parkedRecords[0].slot, 1);  // an age now
    // The reader goes on with live requests after the parked one.
    std::size_t liveSoFar = 0;
    for (const auto& r : service.requests()) liveSoFar += r.route == "traffic.live";
    ASSERT_TRUE(service.waitForRequests("traffic.live", liveSoFar + 1));
    reader.stop = true;
    ASSERT_TRUE(finishes(reader));

    const auto reqs = service.requests();
    std::size_t parkedAt = 0;
    for (std::size_t i = 0; i < reqs.size(); ++i)
        if (reqs[i].route == "traffic.parked") parkedAt = i;
    ASSERT_GT(parkedAt, 1u);
    ASSERT_LT(parkedAt + 1, reqs.size());
    EXPECT_EQ(reqs[parkedAt - 1].route, "traffic.live");
    EXPECT_EQ(reqs[parkedAt + 1].route, "traffic.live");
    EXPECT_EQ(reqs[parkedAt].body,
              "GUID=G-1&top=52.36&bottom=52.26&left=4.68&right=4.85&querytype=parkedtraffic&toffset=0");
}

TEST_F(ParkedTest, StatusesOfTheAnswer)
{
    struct Row {
        const char* name;
        Reply reply;
        bool ok;
        const char* thrown;
        const char* marked;
    };
    const std::vector<Row> rows = {
        {"406", Reply::json({{"status", 406}, {"message", "slow down"}}), true, nullptr, "parkedtraffic msg: slow down"},
        {"transfer error", Reply::closeNoReply(), false, nullptr, "curl parkedtraffic code: "},
        {"empty", Reply::empty(), false, nullptr, "parkedtraffic: empty content"},
        {"not JSON", Reply::text("{"), false, nullptr, "parkedtraffic: invalid JSON"},
        {"plain data", Reply::json(parkedAnswer(42)), false, nullptr, "parkedtraffic: parked data is not a container"},
        {"400", Reply::json({{"status", 400}}), false, "RT API parameter fault", nullptr},
        {"403", Reply::json({{"status", 403}}), false, "RT API: no parked traffic data for this session (403)",
         nullptr},
        {"401", Reply::json({{"status", 401}}), false, nullptr,
         "RT Parkedtraffic: re-authentication to RT API is needed VRMT_P3D"},
        {"500", Reply::json({{"status", 500}}), false, nullptr, "RT Parkedtraffic error status: 500"},
        {"missing status", Reply::json({{"data", 1}}), false, nullptr, "RT Parkedtraffic error status: 100"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fake.marked.clear();
        reader.parkedRecords = {ParkedTrafficRecord{}};
        service.push("traffic.parked", row.reply);
        if (row.thrown) {
            try {
                readParkedTraffic(reader);
                ADD_FAILURE() << "no exception";
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), row.thrown);
            }
        } else {
            EXPECT_EQ(readParkedTraffic(reader), row.ok);
        }
        // A request that was sent leaves no old records behind, whatever its answer.
        EXPECT_TRUE(reader.parkedRecords.empty());
        if (row.marked) {
            EXPECT_TRUE(fake.anyMarkedContains(row.marked));
        }
    }
    EXPECT_TRUE(fake.stopped.empty());
}

TEST_F(ParkedTest, WithoutASessionTheRecordsStayAsTheyAre)
{
    reader.setSessionGuid("");
    reader.parkedRecords = {ParkedTrafficRecord{}};
    EXPECT_FALSE(readParkedTraffic(reader));
    EXPECT_EQ(reader.parkedRecords.size(), 1u);
    EXPECT_TRUE(service.requests("traffic.parked").empty());
    EXPECT_FALSE(fake.anyMarkedContains("Parkedtraffic"));
}

TEST_F(ParkedTest, AgesFilterSortAndDuplicates)
{
    // Current slot 0: seen in slot 47 is one half hour old.
    fake.slot = 0;
    service.push("traffic.parked",
                 Reply::json(parkedAnswer({{"400001", parked("B", 47, "F1")}, {"400002", parked("A", 0, "F2")}})));
    ASSERT_TRUE(readParkedTraffic(reader));
    EXPECT_EQ(stands(), (std::vector<std::string>{"A/0", "B/1"}));

    // MAX_FIT 4: ages above 4 go, unless the parked traffic is all there is.
    fake.slot = 10;
    fake.maxFit = 4;
    const json three = {{"400001", parked("A", 10, "F1")}, {"400002", parked("B", 6, "F2")},
                        {"400003", parked("C", 5, "F3")}};
    service.push("traffic.parked", Reply::json(parkedAnswer(three)));
    ASSERT_TRUE(readParkedTraffic(reader));
    EXPECT_EQ(stands(), (std::vector<std::string>{"A/0", "B/4"}));
    fake.parkTrafficOnly = true;
    service.push("traffic.parked", Reply::json(parkedAnswer(three)));
    ASSERT_TRUE(readParkedTraffic(reader));
    EXPECT_EQ(stands(), (std::vector<std::string>{"A/0", "B/4", "C/5"}));

    // Duplicates: same stand keeps the younger; empty stands count as one; same flight keeps the first.
    service.push("traffic.parked", Reply::json(parkedAnswer({{"400001", parked("S1", 8, "F1")},
                                                             {"400002", parked("S1", 10, "F2")},
                                                             {"400003", parked("", 9, "F3")},
                                                             {"400004", parked("", 7, "F4")},
                                                             {"400005", parked("S5", 6, "F2")},
                                                             {"400006", parked("S6", 5, "")},
                                                             {"400007", parked("S7", 4, "")}})));
    ASSERT_TRUE(readParkedTraffic(reader));
    EXPECT_EQ(stands(), (std::vector<std::string>{"S1/0", "/1", "S6/5", "S7/6"}));
}

class ParkedTimeOutTest : public ReaderFixture {};

TEST_F(ParkedTimeOutTest, NoReaderMeansATimeOutThatLeavesTheRecordsAlone)
{
    reader.parkedRecords = {ParkedTrafficRecord{}};
    reader.parkedRecords[0].stand = "kept";
    const auto start = platform::steadyNow();
    EXPECT_FALSE(readParkedTraffic(reader));
    const auto waited = platform::steadyNow() - start;
    EXPECT_GT(waited, std::chrono::seconds(10));
    EXPECT_LT(waited, std::chrono::seconds(20));  // bounded; the slack absorbs a loaded machine
    EXPECT_TRUE(fake.anyPlainContains("ParkedTraffic receiving timed out after 10 seconds"));
    ASSERT_EQ(reader.parkedRecords.size(), 1u);
    EXPECT_EQ(reader.parkedRecords[0].stand, "kept");
    EXPECT_FALSE(reader.parkedPending.load());  // withdrawn: nobody serves it later

    // An answer to an older request is never taken for a newer one.
    TrafficReader::ParkedResult stale;
    stale.requestId = reader.parkedRequestId.load();
    stale.status = 0;
    stale.records.resize(3);
    reader.publishParked(stale);
    EXPECT_FALSE(reader.takeParked(stale.requestId + 1).has_value());
}

}  // namespace
