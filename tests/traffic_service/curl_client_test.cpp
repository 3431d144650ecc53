// The base client without a network: pacing, reset, form values, intervals.

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "support/recording_handover.h"
#include "traffic_service/curl_client.h"

using nlohmann::json;
using std::chrono::milliseconds;

// One wait of the whole interval, which the reader's stop ends at once (no
// slices: the close of the program must not wait for the half that runs).
TEST(WaitInterval, OneWaitThatTheStopEnds)
{
    auto clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock guard(clock);
    CurlClient c;
    c.waitInterval(2000);
    EXPECT_EQ(clock->sleeps(), (std::vector<platform::Clock::Duration>{milliseconds(2000)}));
    clock->clearSleeps();
    c.waitInterval(1);
    c.waitInterval(0);
    c.waitInterval(-40);
    EXPECT_EQ(clock->sleeps(), (std::vector<platform::Clock::Duration>{milliseconds(1)}));
    clock->clearSleeps();
    c.stop = true;
    c.waitInterval(2000);
    EXPECT_TRUE(clock->sleeps().empty());
}

TEST(CurlClientReset, KeepsTheDocumentKindAndEmptiesTheSession)
{
    CurlClient c;
    c.setSessionGuid("G");
    c.stop = true;
    c.ended = true;
    c.toffset = 30;
    c.rrl = 10;
    c.answer = "x";
    const std::vector<std::pair<json, json>> kinds = {
        {json::object({{"a", 1}}), json::object()}, {json::array({1}), json::array()}, {json("t"), json("")},
        {json(true), json(false)}, {json(3.5), json(0)}, {json(), json()}};
    for (const auto& [before, after] : kinds) {
        c.document = before;
        c.reset();
        EXPECT_EQ(c.document, after);
        EXPECT_EQ(c.document.type(), after.type());
    }
    EXPECT_EQ(c.sessionGuid(), "");
    EXPECT_FALSE(c.stop.load());
    EXPECT_FALSE(c.ended.load());
    EXPECT_EQ(c.toffset.load(), 0);
    EXPECT_EQ(c.rrl.load(), 10);  // the intervals stay
    EXPECT_TRUE(c.answer.empty());
    EXPECT_TRUE(c.handle);
}

TEST(ServicePost, OptionFailuresNameTheHandle)
{
    std::string answer;
    try {
        setServicePost(nullptr, "trcurl_", "/v4/traffic", "x", answer, nullptr);
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "trcurl_ curl_easy_init() failed");
    }
}

TEST(ServiceAnswers, FormValuesIntervalsAndStatuses)
{
    EXPECT_EQ(formValue("5f0c2a9e-0000-4000-8000-000000000001"), "5f0c2a9e-0000-4000-8000-000000000001");
    EXPECT_EQ(formValue("a b&c=d+e%"), "a%20b%26c%3Dd%2Be%25");
    EXPECT_EQ(serviceInterval(json{{"rrl", 10}}, "rrl"), 10);
    EXPECT_EQ(serviceInterval(json{{"rrl", 0}}, "rrl"), 2000);
    EXPECT_EQ(serviceInterval(json{{"rrl", -3}}, "rrl"), 2000);
    EXPECT_EQ(serviceInterval(json{{"rrl", "10"}}, "rrl"), 2000);
    EXPECT_EQ(serviceInterval(json::array(), "rrl"), 2000);
    EXPECT_EQ(readerStatus(json{{"status", 406}}), 406);
    EXPECT_EQ(readerStatus(json::object()), 100);
    EXPECT_EQ(readerStatus(json{{"status", 200.0}}), 200);
    EXPECT_THROW(readerStatus(json{{"status", "200"}}), std::runtime_error);
    EXPECT_THROW(readerStatus(json{{"status", 1e30}}), std::runtime_error);
    EXPECT_THROW(readerStatus(json::array()), std::runtime_error);
    EXPECT_EQ(jsonValueString(json{{"server", 5}}, "server", "?"), "?");
}

TEST(WriteCallback, NullTargetRefusesTheData)
{
    char data[] = "abc";
    EXPECT_EQ(lf_callbackwriter(data, 1, 3, nullptr), 0u);
    std::string target;
    EXPECT_EQ(lf_callbackwriter(data, 1, 3, &target), 3u);
    EXPECT_EQ(target, "abc");
}
