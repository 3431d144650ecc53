// Decoding of parked traffic entries, as one table of the edge cases.

#include <gtest/gtest.h>

#include <functional>

#include "service_standin.h"
#include "support/recording_handover.h"
#include "traffic_service/parked_record.h"

using nlohmann::json;

namespace {

json baseParked() { return standin::makeParkedEntry(52.3086, 4.7639, "D14", "A320", "D-AIZA", 1700000000, "DLH123"); }

struct Row {
    const char* name;
    std::string key;
    std::function<void(json&)> edit;
    std::function<void(RecordingHandover&)> setup;
    bool kept;
    std::function<void(const ParkedTrafficRecord&)> check;
};

TEST(ParkedDecode, EdgeCases)
{
    const std::vector<Row> rows = {
        {"base", "3c6444", nullptr, nullptr, true,
         [](const ParkedTrafficRecord& r) {
             EXPECT_EQ(r.aircraftId, 3957828u);
             EXPECT_EQ(r.slot, 44);  // 22:13:20 UTC
             EXPECT_EQ(r.stand, "D14");
             EXPECT_EQ(r.type, "A320");
             EXPECT_EQ(r.registration, "D-AIZA");
             EXPECT_EQ(r.callsign, "DLH123");
             EXPECT_DOUBLE_EQ(r.lat, 52.3086);
         }},
        {"key 2710 drops", "2710", nullptr, nullptr, false, nullptr},
        {"key 2711 kept", "2711", nullptr, nullptr, true, nullptr},
        {"key zz drops", "zz", nullptr, nullptr, false, nullptr},
        {"14:29:29 is slot 28", "3c6444", [](json& e) { e[5] = 1699972169; }, nullptr, true,
         [](const ParkedTrafficRecord& r) { EXPECT_EQ(r.slot, 28); }},
        {"14:29:30 is slot 29", "3c6444", [](json& e) { e[5] = 1699972170; }, nullptr, true,
         [](const ParkedTrafficRecord& r) { EXPECT_EQ(r.slot, 29); }},
        {"23:59:59 is slot 47", "3c6444", [](json& e) { e[5] = 1700006399; }, nullptr, true,
         [](const ParkedTrafficRecord& r) { EXPECT_EQ(r.slot, 47); }},
        {"14:29:29.6 rounds to 14:29:30", "3c6444", [](json& e) { e[5] = 1699972169.6; }, nullptr, true,
         [](const ParkedTrafficRecord& r) { EXPECT_EQ(r.slot, 29); }},
        {"1700000000.4 rounds down", "3c6444", [](json& e) { e[5] = 1700000000.4; }, nullptr, true,
         [](const ParkedTrafficRecord& r) { EXPECT_EQ(r.slot, 44); }},
        {"time as text drops", "3c6444", [](json& e) { e[5] = "1700000000"; }, nullptr, false, nullptr},
        {"time too large drops", "3c6444", [](json& e) { e[5] = 1e300; }, nullptr, false, nullptr},
        {"13-character registration is empty", "3c6444", [](json& e) { e[4] = "ABCDEFGHIJKLM"; }, nullptr, true,
         [](const ParkedTrafficRecord& r) { EXPECT_EQ(r.registration, ""); }},
        {"A380 becomes A388", "3c6444", [](json& e) { e[3] = "A380"; }, nullptr, true,
         [](const ParkedTrafficRecord& r) { EXPECT_EQ(r.type, "A388"); }},
        {"B747 becomes B744", "3c6444", [](json& e) { e[3] = "B747"; }, nullptr, true,
         [](const ParkedTrafficRecord& r) { EXPECT_EQ(r.type, "B744"); }},
        {"a380 unchanged, unknown type drops", "3c6444", [](json& e) { e[3] = "a380"; }, nullptr, false, nullptr},
        {"integer latitude reads 0", "3c6444", [](json& e) { e[0] = 52; }, nullptr, true,
         [](const ParkedTrafficRecord& r) { EXPECT_EQ(r.lat, 0.0); }},
        {"position near 0,0 drops", "3c6444", [](json& e) { e[0] = 0.00001; e[1] = 0.00001; }, nullptr, false,
         nullptr},
        {"flight null", "3c6444", [](json& e) { e[6] = "null"; }, nullptr, true,
         [](const ParkedTrafficRecord& r) { EXPECT_EQ(r.callsign, ""); }},
        {"flight with five zeros", "3c6444", [](json& e) { e[6] = "A000001"; }, nullptr, true,
         [](const ParkedTrafficRecord& r) { EXPECT_EQ(r.callsign, ""); }},
        {"flight of nine", "3c6444", [](json& e) { e[6] = "ABCDEFGHI"; }, nullptr, true,
         [](const ParkedTrafficRecord& r) { EXPECT_EQ(r.callsign, ""); }},
        {"flight of eight", "3c6444", [](json& e) { e[6] = "ABCDEFGH"; }, nullptr, true,
         [](const ParkedTrafficRecord& r) { EXPECT_EQ(r.callsign, "ABCDEFGH"); }},
        {"flight loses a leading full stop", "3c6444", [](json& e) { e[6] = ".KLM12"; }, nullptr, true,
         [](const ParkedTrafficRecord& r) { EXPECT_EQ(r.callsign, "KLM12"); }},
        {"flight that is a registration", "3c6444",
         [](json& e) {
             e[4] = "null";
             e[6] = "PHBXA";
             e[3] = "ZZZZ";
         },
         [](RecordingHandover& f) { f.dbase = {{"PHBXA", {"PHBXA", "KLM", "B738", "", false}}}; }, true,
         [](const ParkedTrafficRecord& r) {
             EXPECT_EQ(r.registration, "PHBXA");
             EXPECT_EQ(r.airline, "KLM");
             EXPECT_EQ(r.type, "B738");
         }},
        {"registration known, operator wins, flight empty", "3c6444", [](json& e) { e[6] = nullptr; },
         [](RecordingHandover& f) { f.dbase = {{"D-AIZA", {"D-AIZA", "DLH", "A320", "CLH", false}}}; }, true,
         [](const ParkedTrafficRecord& r) {
             EXPECT_EQ(r.airline, "CLH");
             EXPECT_EQ(r.callsign, "D-AIZA");
         }},
        {"excluded category drops", "3c6444", [](json& e) { e[3] = "C172"; }, nullptr, false, nullptr},
        {"stand not a string drops", "3c6444", [](json& e) { e[2] = 14; }, nullptr, false, nullptr},
        {"reserved stand drops", "3c6444", nullptr, [](RecordingHandover& f) { f.reservedStand = "D14"; }, false,
         nullptr},
        {"user's stand drops", "3c6444", nullptr, [](RecordingHandover& f) { f.userStand = "D14"; }, false, nullptr},
        {"empty stand kept when none is reserved", "3c6444", [](json& e) { e[2] = ""; }, nullptr, true, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingHandover fake;
        if (row.setup) row.setup(fake);
        fake.install();
        json e = baseParked();
        if (row.edit) row.edit(e);
        std::vector<ParkedTrafficRecord> out;
        processParkedTrafficLine(row.key, e, out);
        ASSERT_EQ(out.size(), row.kept ? 1u : 0u);
        if (row.kept && row.check) row.check(out[0]);
    }
}

TEST(ParkedDecode, FailuresOtherThanPlainDropsAreLoggedMarked)
{
    RecordingHandover fake;
    fake.install();
    std::vector<ParkedTrafficRecord> out;
    json e = baseParked();
    e[5] = "1700000000";
    processParkedTrafficLine("3c6444", e, out);
    processParkedTrafficLine("3c6444", json::array({1.0, 2.0}), out);
    processParkedTrafficLine("3c6444", json::object({{"a", 1}}), out);
    EXPECT_TRUE(out.empty());
    const auto lines = fake.markedLines();
    ASSERT_EQ(lines.size(), 3u);
    for (const auto& l : lines) EXPECT_EQ(l.rfind("processParkedTrafficLine: ", 0), 0u) << l;
}

TEST(ParkedDecode, MembersThatAreNoAircraftGoSilently)
{
    RecordingHandover fake;
    fake.install();
    std::vector<ParkedTrafficRecord> out;
    processParkedTrafficLine("ICAO", json("EHAM"), out);
    processParkedTrafficLine("QNH", json(1013), out);
    processParkedTrafficLine("buffer_0", json::object(), out);
    processParkedTrafficLine("2710", json::array({1.0}), out);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(fake.markedLines().empty());
    EXPECT_TRUE(fake.plainLines().empty());
}

}  // namespace
