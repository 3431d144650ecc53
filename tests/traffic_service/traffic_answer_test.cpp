// A traffic answer read by the fast reader gives what the same answer parsed
// with nlohmann gives: the same status, interval and message, the same entries
// in the same order, the same records and the same log lines, for a table of
// odd answers (missing values, wrong types, null, huge numbers, non-ASCII
// texts, repeated keys, entries of the wrong shape, texts no reader takes).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/fmt.h"
#include "service_standin.h"
#include "support/recording_handover.h"
#include "traffic_service/curl_client.h"
#include "traffic_service/traffic_answer.h"
#include "traffic_service/traffic_reader.h"

using nlohmann::json;

namespace {

std::string describe(const TrafficRecord& r)
{
    const auto opt = [](const std::optional<double>& v) { return v ? vr::format("{}", *v) : std::string("-"); };
    return vr::format("{}|{}|{}|{}|{}|{}|{}|{}|{}|{}|{}|{}|{}|{}|{}|{}|{}|{}|{}|{}|{}|{}|{}|{}", r.airline, r.type,
                      r.origin, r.destination, r.callsign, r.coupledCs, r.coupledCs2, r.registration,
                      r.coupledCsSearched, r.lat, r.lon, r.altitude, r.groundSpeed, r.track, r.verticalRate, r.speed,
                      r.dueTick, r.airborne, r.stationary, r.trueHeadingGiven, opt(r.bankAngle), opt(r.trueHeading),
                      r.time, r.aircraftId);
}

// What one reading of an answer came to.
struct Outcome {
    std::string error;  // the text of what the parse or the status threw
    int status = 0;
    int rrl = 0;
    std::string message;
    bool hasData = false;
    std::vector<std::string> records;  // by batch: "--" between the buffer keys
    std::vector<std::string> log;
    bool operator==(const Outcome&) const = default;
};

const char* const kBufferKeys[] = {"buffer_4", "buffer_3", "buffer_2", "buffer_1", "buffer_0"};

class TrafficAnswerTest : public ::testing::Test {
public:
    void SetUp() override
    {
        resetBlockedCallsignReport();
        fake.install();
        fake.park = {"EHAM", {52.3, 4.76}};
        reader.setUserPosition({52.3, 4.76});
    }

    void takeRecords(Outcome& o)
    {
        for (const TrafficRecord& r : reader.records) o.records.push_back(describe(r));
        o.records.push_back("--");
        reader.records.clear();
    }

    // The entries visited as the reader did with an nlohmann document.
    void visitJson(const json& container)
    {
        if (!container.is_structured() || container.empty()) return;
        for (const auto& value : container)
            if (value.is_structured() && value.size() == 48) processTrafficRecord(reader, value);
    }

    Outcome withNlohmann(const std::string& text)
    {
        Outcome o;
        fake.log.clear();
        try {
            const json answer = json::parse(text);
            o.rrl = serviceInterval(answer, "rrl");
            o.message = jsonValueString(answer, "message", "");
            const auto it = answer.is_object() ? answer.find("data") : answer.end();
            o.hasData = answer.is_object() && it != answer.end() && !it->is_null() && !(it->is_structured() && it->empty());
            if (o.hasData) {
                visitJson(*it);
                takeRecords(o);
                for (const char* key : kBufferKeys) {
                    if (it->is_object())
                        if (const auto k = it->find(key); k != it->end()) visitJson(*k);
                    takeRecords(o);
                }
            }
            o.status = readerStatus(answer);
        } catch (const std::exception& e) {
            o.error = e.what();
        }
        o.log = fake.log;
        return o;
    }

    Outcome withTrafficAnswer(std::string text)
    {
        Outcome o;
        fake.log.clear();
        const auto decode = [this](const TrafficEntry& entry) { processTrafficRecord(reader, entry); };
        try {
            answer.parse(text);
            const json& envelope = answer.envelope();
            o.rrl = serviceInterval(envelope, "rrl");
            o.message = jsonValueString(envelope, "message", "");
            o.hasData = answer.hasData();
            if (o.hasData) {
                answer.forEachEntry(decode);
                takeRecords(o);
                for (const char* key : kBufferKeys) {
                    answer.forEachEntry(key, decode);
                    takeRecords(o);
                }
            }
            o.status = readerStatus(envelope);
        } catch (const std::exception& e) {
            o.error = e.what();
        }
        o.log = fake.log;
        return o;
    }

    RecordingHandover fake;
    TrafficReader reader;
    TrafficAnswer answer;  // one for the whole table: its document is reused
};

std::string entry(std::initializer_list<std::pair<int, json>> edits)
{
    json e = standin::makeEntry({{0, "3c6444"}, {1, 52.35}, {2, 4.80}, {3, 90.0}, {4, 5000}, {5, 250}, {8, "A320"},
                                 {9, "D-AIZA"}, {10, 1700000000.5}, {11, "EDDF"}, {12, "EHAM"}, {13, "DLH123"},
                                 {15, -500}, {17, "adsb_icao"}, {18, 5100}, {20, 260}, {23, 2.5}, {25, 91.0},
                                 {28, "A3"}});
    for (const auto& [i, v] : edits) e[static_cast<std::size_t>(i)] = v;
    return e.dump();
}

// An entry's text with position `i` replaced by raw JSON text.
std::string rawEntry(int i, const std::string& raw)
{
    json e = json::parse(entry({}));
    e[static_cast<std::size_t>(i)] = "@@RAW@@";
    std::string text = e.dump();
    text.replace(text.find("\"@@RAW@@\""), 9, raw);
    return text;
}

TEST_F(TrafficAnswerTest, ReadsEveryAnswerAsNlohmannDoes)
{
    const std::string base = entry({});
    std::string many;
    for (int i = 0; i < 60; ++i)
        many += vr::format("{}\"{:06x}\":{}", i ? "," : "", 0x400000 + (i * 7919) % 60,
                           entry({{0, vr::format("{:06x}", 0x400000 + i)}, {13, vr::format("C{}", i)},
                                  {1, 52.3 + i * 0.001}}));
    const std::string rows[] = {
        R"({"status":200,"rrl":2000,"data":{"a":)" + base + "}}",
        R"({"status":200,"rrl":1500,"data":[)" + base + "," + entry({{0, "3c6445"}, {13, "KLM1"}}) + "]}",
        R"({"status":200,"data":{)" + many + "}}",
        // Repeated keys: the last value of a key, in key order.
        R"({"status":200,"data":{"b":)" + entry({{13, "B1"}, {0, "3c6446"}}) + R"(,"a":)" +
            entry({{13, "A1"}, {0, "3c6447"}}) + R"(,"b":)" + entry({{13, "B2"}, {0, "3c6448"}}) + "}}",
        R"({"status":200,"data":{"x":)" + base + R"(},"data":{"y":)" + entry({{13, "Y1"}}) + R"(},"rrl":5,"rrl":3000})",
        // Values of every odd kind at the positions read.
        R"({"status":200,"data":{"a":)" + entry({{9, nullptr}, {8, 320}, {13, true}, {28, json::array()}}) +
            R"(,"b":)" + entry({{1, "52.35"}, {4, nullptr}, {18, "5100"}}) + R"(,"c":)" +
            entry({{13, "Ünïcødé✈"}, {9, "ÄÖÜ-ÉÈ"}, {11, "日本"}, {8, "A\u0000B"}}) + R"(,"d":)" +
            entry({{20, -1}, {23, -1}, {25, 0}, {3, 0}}) + R"(,"e":)" +
            entry({{10, 1e308}, {4, 9223372036854775807LL}, {5, 18446744073709551615ULL}, {0, "ffffffff"}}) +
            R"(,"f":)" + entry({{4, -0.0}, {5, 1e-320}, {0, "123456789"}}) + "}}",
        R"({"status":200,"data":{"a":)" + rawEntry(4, "123456789012345678901234567890") + "}}",  // beyond 64 bits
        R"({"status":200,"data":{"a":)" + rawEntry(5, "-9223372036854775809") + "}}",
        R"({"status":200,"data":{"a":)" + rawEntry(4, "1E3") + R"(,"b":)" + rawEntry(4, "-0") + "}}",
        // Entries of the wrong shape.
        R"({"status":200,"data":{"short":[1,2,3],"null":null,"text":"x","n":5,"obj":{"k":1},"a":)" + base + "}}",
        R"({"status":200,"data":[[],{}]})",
        R"({"status":200,"data":{"o":{)" +
            [] {
                std::string m;
                for (int i = 0; i < 48; ++i) m += vr::format("{}\"k{}\":{}", i ? "," : "", i, i);
                return m;
            }() +
            "}}}",
        R"({"status":200,"data":{"o":{)" +
            [] {
                std::string m;
                for (int i = 0; i < 49; ++i) m += vr::format("{}\"k{}\":{}", i ? "," : "", i % 48, i);
                return m;
            }() +
            "}}}",
        // The buffered answer's keys, one missing, one repeated.
        R"({"status":200,"rrl":2000,"data":{"buffer_4":{"a":)" + base + R"(},"buffer_2":[)" +
            entry({{10, 1700000006.5}}) + R"(],"buffer_0":{"a":)" + entry({{13, "OLD"}}) + R"(},"buffer_0":{"a":)" +
            entry({{13, "NEW"}}) + "}}}",
        R"({"status":200,"data":[]})",
        R"({"status":200,"data":{}})",
        R"({"status":200,"data":null})",
        R"({"status":200,"data":"none"})",
        R"({"status":200})",
        R"({"status":406,"message":"too fast","data":{"a":)" + base + "}}",
        R"({"status":"200","data":{"a":)" + base + "}}",
        R"({"status":2.5e9})",
        R"({"status":-1,"message":["not","a","text"]})",
        R"({"rrl":-5,"data":{"a":)" + base + "}}",
        R"([1,2,3])",
        R"("just text")",
        "\xEF\xBB\xBF{\"status\":200}",
        R"({"status":200,"data":{"a":)" + base + "}} trailing",
        R"({"status":200,"data":{"a":)" + base + ",}}",
        "{\"status\":200,\"data\":{\"a\":[\"\xff\"]}}",
        R"({"status":200,"data":{"a":[1e400]}})",
        R"({"status":200,"deep":)" + std::string(1100, '[') + std::string(1100, ']') + "}",
        "",
    };
    for (const std::string& text : rows) {
        SCOPED_TRACE(text.substr(0, 160));
        const Outcome expected = withNlohmann(text);
        const Outcome got = withTrafficAnswer(text);
        EXPECT_EQ(got.error, expected.error);
        EXPECT_EQ(got.status, expected.status);
        EXPECT_EQ(got.rrl, expected.rrl);
        EXPECT_EQ(got.message, expected.message);
        EXPECT_EQ(got.hasData, expected.hasData);
        EXPECT_EQ(got.records, expected.records);
        EXPECT_EQ(got.log, expected.log);
    }
}

}  // namespace
