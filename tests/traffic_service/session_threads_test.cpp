// Login and logout against the service stand-in over loopback.

#include <gtest/gtest.h>

#include <numeric>
#include <thread>

#include "platform/clock.h"
#include "service_standin.h"
#include "support/recording_handover.h"
#include "core/errors.h"
#include "core/run_state.h"
#include "traffic_service/session.h"
#include "traffic_service/traffic_reader.h"
#include "traffic_service/weather.h"

using nlohmann::json;
using standin::Reply;

namespace {

class SessionTest : public ::testing::Test {
protected:
    SessionTest() : clock_(std::make_shared<platform::VirtualClock>())
    {
        service.start();
        setServiceBaseUrl(service.baseUrl());
        setServiceTimeouts({});
        fake.install();
        sessionOpen = false;
    }
    ~SessionTest() override { service.stop(); }

    platform::VirtualClock& clock() { return static_cast<platform::VirtualClock&>(clock_.get()); }

    platform::ScopedClock clock_;
    standin::FakeTrafficService service;
    RecordingHandover fake;
    WeatherClient weather;
    TrafficReader reader;
};

TEST_F(SessionTest, LoginAnswers)
{
    struct Row {
        const char* name;
        Reply reply;
        bool ok;
        int status;
        std::string guid;
        int rrl, wrrl;
        const char* logPart;  // in a plain or marked line
    };
    const json full = {{"status", 200}, {"rrl", 10}, {"wrrl", 20}, {"server", "rt-test-1"}, {"GUID", "G-1"}};
    const std::vector<Row> rows = {
        {"full answer", Reply::json(full), true, 0, "G-1", 10, 20, "\nAuthenticated at RT server 'rt-test-1'"},
        {"HTTP 500 is ignored", Reply::json(full, 500), true, 0, "G-1", 10, 20, "rt-test-1"},
        {"gzip body", Reply::gzip(full), true, 0, "G-1", 10, 20, "rt-test-1"},
        {"missing fields", Reply::json({{"status", 200}}), true, 0, "empty GUID?", 2000, 2000,
         "Authenticated at RT server '?'"},
        {"zero and negative intervals", Reply::json({{"status", 200}, {"rrl", 0}, {"wrrl", -5}, {"GUID", "G"}}),
         true, 0, "G", 2000, 2000, "Authenticated"},
        {"status as text", Reply::json({{"status", "402"}, {"GUID", "G"}}), true, 0, "G", 2000, 2000, "Authenticated"},
        {"401 counts as success", Reply::json({{"status", 401}, {"GUID", "G"}}), true, 0, "G", 2000, 2000, "Auth"},
        {"403 counts as success", Reply::json({{"status", 403}, {"GUID", "G"}}), true, 0, "G", 2000, 2000, "Auth"},
        {"400", Reply::json({{"status", 400}}), false, 400, "", 2000, 2000, nullptr},
        {"402", Reply::json({{"status", 402}}), false, 402, "", 2000, 2000, nullptr},
        {"404", Reply::json({{"status", 404}}), false, 404, "", 2000, 2000, nullptr},
        {"405", Reply::json({{"status", 405}, {"message", "session active"}}), false, 405, "", 2000, 2000, nullptr},
        {"500", Reply::json({{"status", 500}}), false, 500, "", 2000, 2000, nullptr},
        {"closed without answer", Reply::closeNoReply(), false, 0, "", 2000, 2000,
         "Thu Nov 14 22:13:20 2023 Authentication failed: "},
        {"empty body", Reply::empty(), false, 0, "", 2000, 2000, "Authentication: empty response"},
        {"not JSON", Reply::text("<html>"), false, 0, "", 2000, 2000, "authenticate: "},
        {"array answer", Reply::json(json::array({1})), true, 0, "empty GUID?", 2000, 2000, "Auth"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fake.log.clear();
        fake.marked.clear();
        weather.reset();
        weather.rrl = 2000;
        weather.wrrl = 2000;
        sessionOpen = false;
        service.push("auth", row.reply);
        int status = 0;
        EXPECT_EQ(authenticate(status, weather), row.ok);
        EXPECT_EQ(status, row.status);
        EXPECT_EQ(weather.sessionGuid(), row.guid);
        EXPECT_EQ(sessionOpen.load(), row.ok);
        if (row.ok) {
            EXPECT_EQ(weather.rrl.load(), row.rrl);
            EXPECT_EQ(weather.wrrl.load(), row.wrrl);
        }
        if (row.logPart) {
            EXPECT_TRUE(fake.anyPlainContains(row.logPart) || fake.anyMarkedContains(row.logPart));
        }
    }
}

TEST_F(SessionTest, LoginBodyAndTransfer)
{
    fake.serviceKey = "ab&c=d";
    int status = 0;
    ASSERT_TRUE(authenticate(status, weather));
    const auto reqs = service.requests("auth");
    ASSERT_EQ(reqs.size(), 1u);
    // Values are percent-encoded, so a key with form characters cannot corrupt the form.
    EXPECT_EQ(reqs[0].body, "license=ab%26c%3Dd&software=VRMT_P3D_11.0.3");
    EXPECT_EQ(reqs[0].formValue("license"), "ab&c=d");
    EXPECT_EQ(reqs[0].method, "POST");
    EXPECT_EQ(reqs[0].headers.at("content-type"), "application/x-www-form-urlencoded");
    EXPECT_NE(reqs[0].headers.at("accept-encoding").find("gzip"), std::string::npos);
    // The pause the service asks for after a login.
    EXPECT_EQ(clock().sleeps().back(), std::chrono::milliseconds(10));
}

TEST_F(SessionTest, PlainKeysGoAsTheyAre)
{
    int status = 0;
    ASSERT_TRUE(authenticate(status, weather));
    EXPECT_EQ(service.requests("auth").at(0).body, "license=KEY123&software=VRMT_P3D_11.0.3");
}

TEST_F(SessionTest, LoginToAStoppedListenerIsATransferError)
{
    service.stop();
    int status = 0;
    EXPECT_FALSE(authenticate(status, weather));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(fake.anyPlainContains("Authentication failed: Couldn't connect to server"));
}

TEST_F(SessionTest, AHangingServerEndsInATimeOut)
{
    setServiceTimeouts({std::chrono::milliseconds(200), std::chrono::milliseconds(300)});
    service.push("auth", Reply::hang());
    int status = 0;
    EXPECT_FALSE(authenticate(status, weather));
    EXPECT_TRUE(fake.anyPlainContains("Authentication failed: Timeout was reached"));
    setServiceTimeouts({});
}

// A service that hangs holds neither the login nor the logout beyond the close:
// the login ends on the close that comes while it waits for the answer (its
// whole-request limit is an hour here: a login deaf to the close hangs the
// test), the logout at closing is given up after its own short limit with a
// line that says so.
TEST_F(SessionTest, AHangingServiceHoldsNoClose)
{
    setServiceTimeouts({std::chrono::seconds(5), std::chrono::hours(1)});
    service.push("auth", Reply::hang());
    std::thread closer([this] {
        if (service.waitForRequests("auth", 1)) requestClosing(ClosingReason::UserClosedSim, 0);
    });
    int status = 0;
    EXPECT_FALSE(authenticate(status, weather));
    closer.join();
    EXPECT_TRUE(fake.anyPlainContains("Authentication ended by the close"));
    EXPECT_FALSE(fake.anyPlainContains("Authentication failed"));
    resetRunState();
    setServiceTimeouts({});

    // The logout runs while the run closes: the stop flags are set, and it still goes out.
    closingFlag = true;
    sessionOpen = true;
    reader.setSessionGuid("G-1");
    service.push("deauth", Reply::hang());
    deauthenticate(reader, std::chrono::milliseconds(100));
    EXPECT_EQ(service.requests("deauth").size(), 1u);
    EXPECT_TRUE(fake.anyPlainContains("Deauthentication given up after 100 ms: no answer from the RT server"));
    EXPECT_TRUE(sessionOpen.load());  // the service forgets the session by itself
    resetRunState();
    sessionOpen = false;
}

TEST_F(SessionTest, AuthenticaterOutcomes)
{
    service.push("auth", Reply::json({{"status", 200}, {"GUID", "G-7"}, {"wrrl", 10}}));
    gf_authenticater(weather, reader);
    EXPECT_EQ(reader.sessionGuid(), "G-7");
    EXPECT_EQ(fake.messages.front(), "Waiting for authentication at RT server ...");
    EXPECT_EQ(fake.messages.back(), "");

    for (int code : {402, 404, 405}) {
        SCOPED_TRACE(code);
        clock().clearSleeps();
        service.push("auth", Reply::json({{"status", code}}));
        try {
            gf_authenticater(weather, reader);
            ADD_FAILURE() << "no exception";
        } catch (const qxv::UserErrorException& e) {
            EXPECT_EQ(std::string(e.what()).rfind(std::to_string(code) + ": ", 0), 0u) << e.what();
            if (code == 405) {
                EXPECT_STREQ(e.what(),
                             "405: More than one RealTraffic session is not possible, do not run the RealTraffic app");
            }
        }
        const auto sleeps = clock().sleeps();
        EXPECT_GE(std::accumulate(sleeps.begin(), sleeps.end(), platform::Clock::Duration(0)), std::chrono::seconds(10));
    }

    // A close of the program ends the login at once: no refusal, no pause, no error.
    windowClosedFlag = true;
    clock().clearSleeps();
    EXPECT_NO_THROW(gf_authenticater(weather, reader));
    const auto sleeps = clock().sleeps();
    EXPECT_LT(std::accumulate(sleeps.begin(), sleeps.end(), platform::Clock::Duration(0)), std::chrono::seconds(1));
    windowClosedFlag = false;

    service.push("auth", Reply::json({{"status", 500}}));
    EXPECT_THROW(gf_authenticater(weather, reader), std::runtime_error);

    service.push("auth", Reply::json({{"status", 400}}));
    gf_authenticater(weather, reader);
    EXPECT_EQ(fake.closing, (std::vector<std::pair<int, int>>{{6, 15}}));
    EXPECT_NE(std::find(fake.messages.begin(), fake.messages.end(), "The Authenticater has stopped with an error"),
              fake.messages.end());
}

TEST_F(SessionTest, LogoutAnswers)
{
    struct Row {
        const char* name;
        Reply reply;
        bool closed;
        const char* line;
        bool markedLine;
    };
    const std::vector<Row> rows = {
        {"200", Reply::json({{"status", 200}, {"message", "Session closed"}, {"server", "rt-test-1"}}), true,
         "Session closed RT server 'rt-test-1'", false},
        {"200 without fields", Reply::json({{"status", 200}}), true, " RT server ''", false},
        {"500", Reply::json({{"status", 500}}), false, "Deauthentication failed, status: 500", true},
        {"missing status", Reply::json({{"message", "x"}}), false, "Deauthentication failed, status: 100", true},
        {"not JSON", Reply::text("nope"), false, "Deauthentication: invalid JSON", false},
        {"empty", Reply::empty(), false, "Deauthentication: empty response", false},
        {"cut mid-body", Reply::cutMidBody({{"status", 200}, {"message", "Session closed"}}), false,
         "Deauthentication failed: ", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fake.log.clear();
        fake.marked.clear();
        sessionOpen = true;
        reader.setSessionGuid("G-1");
        service.push("deauth", row.reply);
        deauthenticate(reader);
        EXPECT_EQ(sessionOpen.load(), !row.closed);
        EXPECT_EQ(reader.sessionGuid(), row.closed ? "" : "G-1");
        if (row.markedLine) {
            EXPECT_TRUE(fake.anyMarkedContains(row.line));
        } else {
            EXPECT_TRUE(fake.anyPlainContains(row.line));
        }
    }
    const auto reqs = service.requests("deauth");
    ASSERT_FALSE(reqs.empty());
    EXPECT_EQ(reqs[0].body, "GUID=G-1");
    EXPECT_EQ(service.connectionCount(), reqs.size());
}

}  // namespace
