// Decoding of live traffic entries: one table of the edge cases, then the
// callsign block, the collected maps and entries of the wrong shape.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "service_standin.h"
#include "support/recording_handover.h"
#include "traffic_service/traffic_reader.h"

using nlohmann::json;
using standin::makeEntry;

namespace {

constexpr double kDeg = 0.017453292519943295;

json baseEntry()
{
    return makeEntry({{0, "3c6444"}, {1, 52.35}, {2, 4.80}, {3, 90.0}, {4, 5000}, {5, 250}, {8, "A320"},
                      {9, "D-AIZA"}, {10, 1700000000.5}, {11, "EDDF"}, {12, "EHAM"}, {13, "DLH123"},
                      {15, -500}, {17, "adsb_icao"}, {18, 5100}, {20, 260}, {23, 2.5}, {25, 91.0}, {28, "A3"}});
}

// The reader decodes the entry's aircraft in the air `before` seconds earlier (nothing kept of it).
void lf_seenAloft(TrafficReader& reader, const json& entry, double before)
{
    json aloft = baseEntry();
    aloft[0] = entry[0];
    aloft[10] = entry[10].get<double>() - before;
    processTrafficRecord(reader, aloft);
    reader.records.clear();
}

class DecodeTest : public ::testing::Test {
public:
    void SetUp() override
    {
        resetBlockedCallsignReport();
        fake.install();
        reader.setUserPosition({52.3, 4.76});
    }
    // Puts the park airport at the entry's position (ground records are then kept).
    void parkAtEntry(const json& e) { fake.park = {"EHAM", {e[1].get<double>(), e[2].get<double>()}}; }

    RecordingHandover fake;
    TrafficReader reader;
};

struct Row {
    const char* name;
    std::function<void(json&)> edit;
    std::function<void(DecodeTest&, RecordingHandover&, TrafficReader&, const json&)> setup;
    bool kept;
    std::function<void(const TrafficRecord&)> check;
};

class DecodeTable : public DecodeTest {
public:
    void run(const Row& row)
    {
        SCOPED_TRACE(row.name);
        reader.records.clear();
        json e = baseEntry();
        if (row.edit) row.edit(e);
        if (row.setup) row.setup(*this, fake, reader, e);
        processTrafficRecord(reader, e);
        ASSERT_EQ(reader.records.size(), row.kept ? 1u : 0u);
        if (row.kept && row.check) row.check(reader.records[0]);
        fake.park = {};
        reader.airborneSeen.clear();
        fake.range = 40;
        reader.qnh = 1013;
        reader.setReferenceElevation(std::nullopt);
        reader.setUserPosition({52.3, 4.76});
    }
};

TEST_F(DecodeTable, EdgeCases)
{
    auto parkHere = [](DecodeTest& t, RecordingHandover&, TrafficReader&, const json& e) { t.parkAtEntry(e); };
    const std::vector<Row> rows = {
        {"base record", nullptr, nullptr, true,
         [](const TrafficRecord& r) {
             EXPECT_EQ(r.aircraftId, 3957828u);
             EXPECT_EQ(r.altitude, 5000);
             EXPECT_TRUE(r.airborne);
             EXPECT_EQ(r.speed, 260);
             EXPECT_EQ(r.track, 90);
             EXPECT_EQ(r.groundSpeed, 250);
             EXPECT_EQ(r.verticalRate, -500);
             EXPECT_EQ(r.callsign, "DLH123");
             EXPECT_EQ(r.registration, "D-AIZA");
             EXPECT_EQ(r.type, "A320");
             EXPECT_EQ(r.origin, "EDDF");
             EXPECT_EQ(r.destination, "EHAM");
             EXPECT_DOUBLE_EQ(r.time, 1700000000.5);
             ASSERT_TRUE(r.trueHeading);
             EXPECT_DOUBLE_EQ(*r.trueHeading, 91 * kDeg);
             EXPECT_TRUE(r.trueHeadingGiven);
             ASSERT_TRUE(r.bankAngle);
             EXPECT_NEAR(*r.bankAngle, -0.0436332, 1e-7);
             EXPECT_TRUE(r.airline.empty());
             EXPECT_EQ(r.dueTick, 0);
         }},
        {"registration of 12 kept", [](json& e) { e[9] = "ABCDEFGHIJKL"; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_EQ(r.registration, "ABCDEFGHIJKL"); }},
        {"registration of 13 drops", [](json& e) { e[9] = "ABCDEFGHIJKLM"; }, nullptr, false, nullptr},
        {"registration null empty", [](json& e) { e[9] = "null"; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_EQ(r.registration, ""); }},
        {"registration not a string", [](json& e) { e[9] = 123; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_EQ(r.registration, ""); }},
        {"type ZZZZ drops", [](json& e) { e[8] = "ZZZZ"; }, nullptr, false, nullptr},
        {"type 0 drops", [](json& e) { e[8] = "0"; }, nullptr, false, nullptr},
        {"category null with GRND kept", [](json& e) { e[8] = "GRND"; e[28] = "null"; }, nullptr, true, nullptr},
        {"category A3 with GRND drops", [](json& e) { e[8] = "GRND"; }, nullptr, false, nullptr},
        {"category A3 with 5-letter type drops", [](json& e) { e[8] = "ABCDE"; }, nullptr, false, nullptr},
        {"category B2 drops any type", [](json& e) { e[28] = "B2"; }, nullptr, false, nullptr},
        {"category C1 drops", [](json& e) { e[28] = "C1"; }, nullptr, false, nullptr},
        {"category missing accepts", [](json& e) { e[28] = nullptr; }, nullptr, true, nullptr},
        {"position near 0,0 drops", [](json& e) { e[1] = 0.00005; e[2] = 0.00005; },
         [](DecodeTest&, RecordingHandover& f, TrafficReader& r, const json&) {
             f.range = 20000;
             r.setUserPosition({0, 0});
         },
         false, nullptr},
        {"position 0.00005,3 kept", [](json& e) { e[1] = 0.00005; e[2] = 3.0; },
         [](DecodeTest&, RecordingHandover& f, TrafficReader&, const json&) { f.range = 20000; }, true, nullptr},
        {"latitude 91 drops", [](json& e) { e[1] = 91.0; },
         [](DecodeTest&, RecordingHandover& f, TrafficReader&, const json&) { f.range = 20000; }, false, nullptr},
        {"latitude as text reads 0", [](json& e) { e[1] = "52.35"; },
         [](DecodeTest&, RecordingHandover& f, TrafficReader&, const json&) { f.range = 20000; }, true,
         [](const TrafficRecord& r) { EXPECT_EQ(r.lat, 0.0); }},
        {"beyond range drops", [](json& e) { e[1] = 53.0; }, nullptr, false, nullptr},
        {"hex 00002710 drops", [](json& e) { e[0] = "00002710"; }, nullptr, false, nullptr},
        {"hex 2711 kept", [](json& e) { e[0] = "2711"; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_EQ(r.aircraftId, 10001u); }},
        {"hex zzz drops", [](json& e) { e[0] = "zzz"; }, nullptr, false, nullptr},
        {"hex of nine digits drops", [](json& e) { e[0] = "123456789"; }, nullptr, false, nullptr},
        {"hex with tail", [](json& e) { e[0] = "3c6444-x"; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_EQ(r.aircraftId, 3957828u); }},
        {"hex not a string drops", [](json& e) { e[0] = 3957828; }, nullptr, false, nullptr},
        {"heading 0 is 2 pi, track 0 becomes 360", [](json& e) { e[25] = 0; e[3] = 0; }, nullptr, true,
         [](const TrafficRecord& r) {
             ASSERT_TRUE(r.trueHeading);
             EXPECT_DOUBLE_EQ(*r.trueHeading, 6.283185307179586);
             EXPECT_DOUBLE_EQ(r.track, 360.0);
         }},
        {"heading 360 kept", [](json& e) { e[25] = 360; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_DOUBLE_EQ(*r.trueHeading, 360 * kDeg); }},
        {"heading 360.5 drops", [](json& e) { e[25] = 360.5; }, nullptr, false, nullptr},
        {"heading -5 empty", [](json& e) { e[25] = -5; }, nullptr, true,
         [](const TrafficRecord& r) {
             EXPECT_FALSE(r.trueHeading);
             EXPECT_FALSE(r.trueHeadingGiven);
         }},
        {"other source ignores heading", [](json& e) { e[17] = "mlat"; e[25] = 400; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_FALSE(r.trueHeading); }},
        {"feed-prefixed ADS-B source gives the heading", [](json& e) { e[17] = "X_adsb_icao"; }, nullptr, true,
         [](const TrafficRecord& r) {
             ASSERT_TRUE(r.trueHeading);
             EXPECT_DOUBLE_EQ(*r.trueHeading, 91 * kDeg);
         }},
        {"a slow ground record with track 0 takes its heading", [](json& e) {
             e[17] = "T_adsb_icao";
             e[3] = 0;
             e[25] = 245.0;
         },
         nullptr, true, [](const TrafficRecord& r) { EXPECT_DOUBLE_EQ(r.track, 245.0); }},
        {"feed-prefixed mlat ignores heading", [](json& e) { e[17] = "X_mlat"; e[25] = 400; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_FALSE(r.trueHeading); }},
        {"plain adsb (no icao) ignores heading", [](json& e) { e[17] = "T_adsb"; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_FALSE(r.trueHeadingGiven); }},
        {"QNH 1023 adds 300 ft", nullptr,
         [](DecodeTest&, RecordingHandover&, TrafficReader& r, const json&) { r.qnh = 1023; }, true,
         [](const TrafficRecord& r) { EXPECT_EQ(r.altitude, 5300); }},
        {"QNH 993 and 500 ft is on the ground", [](json& e) { e[4] = 500; e[5] = 100; },
         [](DecodeTest& t, RecordingHandover&, TrafficReader& r, const json& e) {
             r.qnh = 993;
             t.parkAtEntry(e);
         },
         true,
         [](const TrafficRecord& r) {
             EXPECT_EQ(r.altitude, 0);
             EXPECT_FALSE(r.airborne);
             EXPECT_FALSE(r.bankAngle);
         }},
        {"altitude from geometric when baro is null", [](json& e) { e[4] = nullptr; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_EQ(r.altitude, 5100); }},
        {"700 ft at 60 kt without reference is airborne", [](json& e) { e[4] = 700; e[5] = 60; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_EQ(r.altitude, 700); }},
        {"700 ft at 60 kt with reference 600 is airborne", [](json& e) { e[4] = 700; e[5] = 60; },
         [](DecodeTest&, RecordingHandover&, TrafficReader& r, const json&) { r.setReferenceElevation(600.0); },
         true, [](const TrafficRecord& r) { EXPECT_EQ(r.altitude, 700); }},
        {"700 ft at 43 kt with reference 600 is on the ground", [](json& e) { e[4] = 700; e[5] = 43; },
         [](DecodeTest& t, RecordingHandover&, TrafficReader& r, const json& e) {
             r.setReferenceElevation(600.0);
             t.parkAtEntry(e);
         },
         true, [](const TrafficRecord& r) { EXPECT_EQ(r.altitude, 0); }},
        {"30 kt at 30000 ft is on the ground, no park airport drops", [](json& e) { e[4] = 30000; e[5] = 30; },
         nullptr, false, nullptr},
        {"ground record 4.99 nm from the park airport kept", [](json& e) { e[4] = 0; e[5] = 10; e[20] = -1; },
         [](DecodeTest&, RecordingHandover& f, TrafficReader&, const json& e) {
             f.park = {"EHAM", {e[1].get<double>() + 4.99 / 60.0, e[2].get<double>()}};
         },
         true, [](const TrafficRecord& r) { EXPECT_EQ(r.speed, 180); }},
        {"ground record 5.01 nm from the park airport drops", [](json& e) { e[4] = 0; e[5] = 10; },
         [](DecodeTest&, RecordingHandover& f, TrafficReader&, const json& e) {
             f.park = {"EHAM", {e[1].get<double>() + 5.01 / 60.0, e[2].get<double>()}};
         },
         false, nullptr},
        {"ground record away from the park airport, seen aloft 9 min before, kept for its landing",
         [](json& e) { e[4] = 0; e[5] = 60; },
         [](DecodeTest&, RecordingHandover& f, TrafficReader& r, const json& e) {
             f.park = {"EHAM", {e[1].get<double>() + 12.0 / 60.0, e[2].get<double>()}};
             lf_seenAloft(r, e, 540.0);
         },
         true,
         [](const TrafficRecord& r) {
             EXPECT_FALSE(r.airborne);
             EXPECT_TRUE(r.awayFromPark);
         }},
        {"ground record with no park airport, seen aloft 1 min before, kept for its landing",
         [](json& e) { e[4] = 0; e[5] = 20; },
         [](DecodeTest&, RecordingHandover&, TrafficReader& r, const json& e) { lf_seenAloft(r, e, 60.0); }, true,
         [](const TrafficRecord& r) { EXPECT_TRUE(r.awayFromPark); }},
        {"ground record with no park airport, seen aloft 11 min before, drops", [](json& e) { e[4] = 0; e[5] = 20; },
         [](DecodeTest&, RecordingHandover&, TrafficReader& r, const json& e) { lf_seenAloft(r, e, 660.0); }, false,
         nullptr},
        {"ground record at the park airport is not marked away", [](json& e) { e[4] = 0; e[5] = 20; },
         [](DecodeTest& t, RecordingHandover&, TrafficReader& r, const json& e) {
             t.parkAtEntry(e);
             lf_seenAloft(r, e, 60.0);
         },
         true, [](const TrafficRecord& r) { EXPECT_FALSE(r.awayFromPark); }},
        {"TAS -1 at 8000 ft gives 250", [](json& e) { e[20] = -1; e[4] = 8000; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_EQ(r.speed, 250); }},
        {"TAS as text gives the default", [](json& e) { e[20] = "300"; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_EQ(r.speed, 220); }},
        {"TAS 0 stays 0", [](json& e) { e[20] = 0; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_EQ(r.speed, 0); }},
        {"TAS default above 20000 ft", [](json& e) { e[20] = nullptr; e[4] = 25000; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_EQ(r.speed, 430); }},
        {"bank 0 empty", [](json& e) { e[23] = 0; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_FALSE(r.bankAngle); }},
        {"bank -1 empty", [](json& e) { e[23] = -1; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_FALSE(r.bankAngle); }},
        {"callsign with at sign and no registration drops", [](json& e) { e[13] = "AB@C"; e[9] = "null"; }, nullptr,
         false, nullptr},
        {"callsign with at sign and a registration kept", [](json& e) { e[13] = "AB@C"; }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_EQ(r.callsign, ""); }},
        {"callsign ERARMTR0 drops", [](json& e) { e[13] = "ERARMTR0"; }, nullptr, false, nullptr},
        {"callsign AIRPORT1 drops", [](json& e) { e[13] = "AIRPORT1"; }, nullptr, false, nullptr},
        {"callsign not a string", [](json& e) { e[13] = json::object(); }, nullptr, true,
         [](const TrafficRecord& r) { EXPECT_EQ(r.callsign, ""); }},
        {"origin null empty", [](json& e) { e[11] = "null"; e[12] = 7; }, nullptr, true,
         [](const TrafficRecord& r) {
             EXPECT_EQ(r.origin, "");
             EXPECT_EQ(r.destination, "");
         }},
        {"ground record on a parked stand", [](json& e) { e[4] = 0; e[5] = 0; }, parkHere, true,
         [](const TrafficRecord& r) {
             EXPECT_FALSE(r.airborne);
             EXPECT_EQ(r.speed, 260);
         }},
    };
    for (const auto& row : rows) run(row);
}

TEST_F(DecodeTest, LastRecordTimeIsKeptEvenForDroppedRecords)
{
    json e = baseEntry();
    e[8] = "ZZZZ";
    e[10] = 1700000123.0;
    processTrafficRecord(reader, e);
    EXPECT_TRUE(reader.records.empty());
    EXPECT_EQ(reader.lastRecordTime.load(), 1700000123.0);
}

TEST_F(DecodeTest, BlockedCallsignReportsOnceThenNoLongerBlockedWhenChanged)
{
    auto entry = [](const char* hex, const char* cs) {
        json e = baseEntry();
        e[0] = hex;
        e[13] = cs;
        return e;
    };
    fake.blockCallsign = "AAA1";
    processTrafficRecord(reader, entry("400001", "AAA1"));
    processTrafficRecord(reader, entry("400001", "AAA1"));
    processTrafficRecord(reader, entry("400002", "BBB2"));
    EXPECT_EQ(reader.records.size(), 1u);  // only BBB2
    EXPECT_EQ(fake.blockedReplies, std::vector<std::uint32_t>{0x400001});
    EXPECT_EQ(fake.messages, std::vector<std::string>{"Reader: Live aircraft AAA1 blocked"});

    fake.blockCallsign = "BBB2";
    processTrafficRecord(reader, entry("400002", "BBB2"));
    processTrafficRecord(reader, entry("400002", "BBB2"));
    EXPECT_EQ(reader.records.size(), 1u);
    EXPECT_EQ(fake.messages, (std::vector<std::string>{"Reader: Live aircraft AAA1 blocked",
                                                       "Reader: Live aircraft AAA1 no longer blocked",
                                                       "Reader: Live aircraft BBB2 blocked"}));
    EXPECT_EQ(fake.blockedReplies, (std::vector<std::uint32_t>{0x400001, 0x400002}));
}

TEST_F(DecodeTest, CollectedMapsTakeRecordsTheGroundFilterDrops)
{
    reader.collectMaps = true;
    json e = baseEntry();
    e[4] = 0;  // on the ground, no park airport: dropped after collecting
    processTrafficRecord(reader, e);
    EXPECT_TRUE(reader.records.empty());
    const CollectedTraffic maps = reader.takeCollectedTraffic();
    EXPECT_EQ(maps.byCallsign.at("DLH123"), 3957828u);
    EXPECT_EQ(maps.byAircraftId.at(3957828u), "DLH123");
    EXPECT_FALSE(reader.collectMaps.load());
}

TEST_F(DecodeTest, EntriesOfTheWrongShapeAreDroppedWithALogLine)
{
    json object = json::object();
    for (int i = 0; i < 48; ++i) object[std::to_string(i)] = i;
    for (const json& e : {object, json::array({1, 2, 3}), json("text"), json()}) {
        processTrafficRecord(reader, e);
    }
    EXPECT_TRUE(reader.records.empty());
    EXPECT_EQ(fake.plainLines().size(), 4u);
    EXPECT_TRUE(fake.anyPlainContains("processLine: "));
}

TEST(DecodeHelpers, TextsAndHexValues)
{
    EXPECT_EQ(formatTrueHeading(3.14159), "true heading: 3.14");
    EXPECT_EQ(formatLatLon({52.5, -0.25}), "52.500000,-0.250000");
    EXPECT_TRUE(containsText("abc", ""));
    EXPECT_FALSE(containsChar("abc", '@'));
    EXPECT_EQ(leadingHexValue("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(leadingHexValue("0000000000ff"), 255u);
    EXPECT_EQ(leadingHexValue("100000000"), 0u);
    EXPECT_EQ(leadingHexValue(" 12"), 0u);
    EXPECT_EQ(jsonStringOr(json(5)), "");
}

}  // namespace
