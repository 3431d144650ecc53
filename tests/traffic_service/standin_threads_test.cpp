// The service stand-in itself, driven by libcurl: the null write target, gzip,
// one connection per request, the stopped listener and the scene.

#include <gtest/gtest.h>

#include <curl/curl.h>

#include "scene.h"
#include "service_standin.h"
#include "traffic_service/curl_client.h"

using nlohmann::json;
using standin::Reply;

namespace {

struct Exchange {
    CURLcode rc;
    std::string answer;
};

Exchange post(const std::string& url, const std::string& body, bool nullTarget = false)
{
    CurlHandle h;
    ensureHandle(h, "test_");
    Exchange ex{CURLE_OK, {}};
    std::atomic<bool> stop{false};
    setServicePost(h.get(), "test_", "", body, ex.answer, &stop);
    curl_easy_setopt(h.get(), CURLOPT_URL, url.c_str());
    if (nullTarget) curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, nullptr);
    ex.rc = curl_easy_perform(h.get());
    return ex;
}

// A request with a bad Content-Length is refused with 400; the server goes on.
TEST(ServiceStandin, ABadContentLengthIsRefusedAndTheServerGoesOn)
{
    standin::FakeTrafficService s;
    s.start();
    const std::string url = s.baseUrl() + "/v4/auth";
    for (const char* header : {"Content-Length: abc", "Content-Length: 99999999999999999999999",
                               "Content-Length: 1x", "Content-Length: 999999999"}) {
        SCOPED_TRACE(header);
        CurlHandle h;
        ensureHandle(h, "test_");
        std::string answer;
        curl_slist* headers = curl_slist_append(nullptr, header);
        curl_easy_setopt(h.get(), CURLOPT_URL, url.c_str());
        curl_easy_setopt(h.get(), CURLOPT_POSTFIELDS, "license=x");
        curl_easy_setopt(h.get(), CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, &lf_callbackwriter);
        curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &answer);
        curl_easy_setopt(h.get(), CURLOPT_TIMEOUT_MS, 5000L);
        const CURLcode rc = curl_easy_perform(h.get());
        long code = 0;
        curl_easy_getinfo(h.get(), CURLINFO_RESPONSE_CODE, &code);
        curl_slist_free_all(headers);
        EXPECT_EQ(rc, CURLE_OK);
        EXPECT_EQ(code, 400);
    }
    EXPECT_TRUE(s.requests().empty());
    const Exchange ex = post(url, "license=x&software=y");
    EXPECT_EQ(ex.rc, CURLE_OK);
    EXPECT_EQ(json::parse(ex.answer).at("status"), 200);
    s.stop();
}

TEST(ServiceStandin, ALongRunKeepsNeitherEveryThreadNorEveryRequest)
{
    standin::FakeTrafficService s;
    s.start();
    for (int i = 0; i < 60; ++i) ASSERT_EQ(post(s.baseUrl() + "/v4/auth", "license=x").rc, CURLE_OK);
    EXPECT_EQ(s.connectionCount(), 60u);
    EXPECT_LT(s.workerThreads(), 20u);  // not one kept per connection
    s.setRequestLimit(5);
    ASSERT_EQ(post(s.baseUrl() + "/v4/deauth", "GUID=last").rc, CURLE_OK);
    const auto reqs = s.requests();
    ASSERT_EQ(reqs.size(), 5u);
    EXPECT_EQ(reqs.back().route, "deauth");
    s.stop();
}

TEST(ServiceStandin, AnswersAndFailuresAsScripted)
{
    standin::FakeTrafficService s;
    s.start();
    const std::string url = s.baseUrl() + "/v4/traffic";
    const json answer = {{"status", 200}, {"rrl", 10}, {"data", json::object()}};

    s.push("traffic.live", Reply::json(answer));
    EXPECT_EQ(post(url, "GUID=x&querytype=locationtraffic", true).rc, CURLE_WRITE_ERROR);

    s.push("traffic.live", Reply::gzip(answer));
    Exchange ex = post(url, "GUID=x&querytype=locationtraffic");
    EXPECT_EQ(ex.rc, CURLE_OK);
    EXPECT_EQ(json::parse(ex.answer), answer);

    s.push("traffic.buffer", Reply::closeNoReply());
    EXPECT_EQ(post(url, "GUID=x&querytype=locationtraffic&buffercount=5").rc, CURLE_GOT_NOTHING);
    s.push("traffic.parked", Reply::cutMidBody(answer));
    EXPECT_EQ(post(url, "GUID=x&querytype=parkedtraffic").rc, CURLE_PARTIAL_FILE);

    const auto reqs = s.requests();
    ASSERT_EQ(reqs.size(), 4u);
    EXPECT_EQ(reqs[2].route, "traffic.buffer");
    EXPECT_EQ(reqs[3].route, "traffic.parked");
    EXPECT_EQ(reqs[0].formValue("GUID"), "x");
    EXPECT_EQ(s.connectionCount(), 4u);

    s.stop();
    EXPECT_EQ(post(url, "GUID=x").rc, CURLE_COULDNT_CONNECT);
}

TEST(ServiceStandin, SceneIsCoherentAndHonoursTheTimeOffset)
{
    double now = 1700000000;
    auto scene = std::make_shared<standin::Scene>(standin::SceneAirport{}, 2, [&now] { return now; });
    standin::FakeTrafficService s;
    s.setScene(scene);
    s.start();
    const std::string box = "top=52.9&bottom=51.7&left=3.8&right=5.8";
    Exchange a = post(s.baseUrl() + "/v4/traffic", "GUID=x&" + box + "&querytype=locationtraffic&toffset=0");
    ASSERT_EQ(a.rc, CURLE_OK);
    const json live = json::parse(a.answer);
    ASSERT_EQ(live["status"], 200);
    EXPECT_EQ(live["data"].size(), 12u);
    for (const auto& [hex, e] : live["data"].items()) {
        EXPECT_EQ(e.size(), 48u);
        EXPECT_EQ(e[0], hex);
        EXPECT_DOUBLE_EQ(e[10].get<double>(), 1700000000.0);
    }
    // An hour back: the entries carry the shifted time.
    Exchange b = post(s.baseUrl() + "/v4/traffic", "GUID=x&" + box + "&querytype=locationtraffic&toffset=60");
    const json shifted = json::parse(b.answer);
    for (const auto& [hex, e] : shifted["data"].items()) EXPECT_DOUBLE_EQ(e[10].get<double>(), 1699996400.0);

    // Ten seconds on, the approaching aircraft has come closer and lower.
    const json before = live["data"]["484000"];
    now += 10;
    Exchange c = post(s.baseUrl() + "/v4/traffic", "GUID=x&" + box + "&querytype=locationtraffic&toffset=0");
    const json after = json::parse(c.answer)["data"]["484000"];
    EXPECT_LT(after[4].get<double>(), before[4].get<double>());
    EXPECT_LT(after[1].get<double>(), before[1].get<double>());

    Exchange d = post(s.baseUrl() + "/v4/traffic", "GUID=x&" + box + "&querytype=locationtraffic&toffset=0"
                                                   "&buffercount=5&buffertime=6");
    const json buffered = json::parse(d.answer)["data"];
    for (const char* key : {"buffer_4", "buffer_3", "buffer_2", "buffer_1", "buffer_0"}) EXPECT_TRUE(buffered.contains(key));

    Exchange p = post(s.baseUrl() + "/v4/traffic", "GUID=x&" + box + "&querytype=parkedtraffic&toffset=0");
    const json parkedAnswer = json::parse(p.answer);
    EXPECT_FALSE(parkedAnswer["data"].empty());
    for (const auto& [hex, e] : parkedAnswer["data"].items()) EXPECT_EQ(e.size(), 7u);
}

}  // namespace
