// The BGL reader over files made by the builder: one table of cases, the ident
// round trip, the header check, and a sweep of cut and broken files.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "airports/bgl_reader.h"
#include "airports/scan_log.h"
#include "bglbuilder/bgl_builder.h"
#include "core/support/scratch_folder.h"

namespace {

using namespace bglb;

constexpr double kPi = 3.141592653589793;

// Links as configured and keeps what would be generated.
class RecordingHandler : public BglAirportHandler {
public:
    bool linked = false;
    int archived = 0;
    std::string publisher = "unknown";
    std::vector<std::string> linkCalls;
    std::vector<ScannedAirport> generated;

    bool linkAirport(ScannedAirport& airport, int& archivedCount, const std::string& path) override
    {
        airport.bglPath = path;
        airport.publisher = publisher;
        archivedCount = linked ? archived : 0;
        linkCalls.push_back(airport.icao);
        return linked;
    }
    void generateAirportFile(ScannedAirport& airport) override { generated.push_back(airport); }
};

struct ReadRun {
    RecordingHandler handler;
    std::vector<std::string> log;
};

void lf_runBytes(const BglImage& image, ReadRun& run)
{
    ScanLogCapture capture(run.log);
    lf_processBGLbytes(image.bytes.data(), image.bytes.size(), "test.bgl", run.handler);
}

Parking lf_parking(int nameIndex, int number, float radius = 20.0f, int type = 8)
{
    Parking p;
    p.nameIndex = nameIndex;
    p.number = number;
    p.radius = radius;
    p.type = type;
    return p;
}

Airport lf_airport(std::vector<Parking> parkings, bool extended = false)
{
    Airport a;
    a.extended = extended;
    a.subs.push_back(NameRec{"Schiphol"});
    a.subs.push_back(ParkingListRec{std::move(parkings)});
    return a;
}

std::vector<std::string> lf_names(const ScannedAirport& a)
{
    std::vector<std::string> names;
    for (const auto& s : a.stands) names.push_back(s.name);
    return names;
}

bool lf_logHas(const ReadRun& run, const std::string& part)
{
    for (const auto& line : run.log)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

struct Row {
    const char* name;
    std::function<BglImage()> make;
    std::function<void(RecordingHandler&)> setup;
    std::function<void(const ReadRun&)> check;
};

TEST(BglReaderTable, Cases)
{
    const std::vector<Row> rows = {
        {"a 0x3C airport with its 0x3D list and airline codes",
         [] {
             auto p1 = lf_parking(2, 1);
             p1.airlineCodes = {"KLM", "DAL", "AFR"};
             return sampleFile({lf_airport({p1, lf_parking(10, 2), lf_parking(2, 3)})});
         },
         nullptr,
         [](const ReadRun& r) {
             ASSERT_EQ(r.handler.generated.size(), 1u);
             const auto& a = r.handler.generated[0];
             EXPECT_EQ(a.icao, "EHAM");
             EXPECT_EQ(a.airportName, "Schiphol");
             EXPECT_EQ(lf_names(a), (std::vector<std::string>{"p1", "g2", "p3"}));
         }},
        {"a 0xAB airport with its 0xAD list of 40-byte entries and airline codes",
         [] {
             auto p1 = lf_parking(2, 1);
             p1.airlineCodes = {"KLM"};
             auto p2 = lf_parking(10, 2, 30.0f);
             p2.lat = 52.31;
             p2.lon = 4.77;
             return sampleFile({lf_airport({p1, p2}, true)});
         },
         nullptr,
         [](const ReadRun& r) {
             ASSERT_EQ(r.handler.generated.size(), 1u);
             const auto& a = r.handler.generated[0];
             ASSERT_EQ(lf_names(a), (std::vector<std::string>{"p1", "g2"}));
             EXPECT_NEAR(a.stands[1].latitude, 52.31, 1e-6);
             EXPECT_NEAR(a.stands[1].longitude, 4.77, 1e-6);
             EXPECT_NEAR(a.stands[1].radius * kNmToMetres, 30.0, 1e-9);
             EXPECT_EQ(a.airportName, "Schiphol");
         }},
        {"a 0x3D list inside a 0xAB airport is stepped over",
         [] {
             auto a = lf_airport({}, true);
             a.subs[1] = ParkingListRec{{lf_parking(2, 1)}, 0x3D};
             a.subs.push_back(ParkingListRec{{lf_parking(2, 9)}});
             return sampleFile({a});
         },
         nullptr, [](const ReadRun& r) { EXPECT_EQ(lf_names(r.handler.generated.at(0)), std::vector<std::string>{"p9"}); }},
        {"an airport section with flag bit 16 is not read",
         [] {
             Section s;
             s.flags |= kFlagBit16;
             s.subsections.push_back({{lf_airport({lf_parking(2, 1)})}});
             return BglBuilder().section(s).build();
         },
         nullptr, [](const ReadRun& r) { EXPECT_TRUE(r.handler.linkCalls.empty()); }},
        {"name prefixes g5, A3 and 7, and types 0 and 12 skipped quietly",
         [] {
             return sampleFile({lf_airport({lf_parking(10, 5), lf_parking(12, 3), lf_parking(0, 7),
                                            lf_parking(2, 8, 20.0f, 0), lf_parking(2, 9, 20.0f, 12)})});
         },
         nullptr,
         [](const ReadRun& r) {
             EXPECT_EQ(lf_names(r.handler.generated.at(0)), (std::vector<std::string>{"g5", "A3", "7"}));
             // Only the line of an unlinked airport (archived count 0).
             EXPECT_EQ(r.log, std::vector<std::string>{"===> EHAM has 3 parkpos while archived one has 0"});
         }},
        {"cargo for type 5, ramp below 8",
         [] {
             return sampleFile({lf_airport({lf_parking(2, 1, 20, 5), lf_parking(2, 2, 20, 7), lf_parking(2, 3, 20, 8),
                                            lf_parking(2, 4, 20, 11)})});
         },
         nullptr,
         [](const ReadRun& r) {
             const auto& s = r.handler.generated.at(0).stands;
             ASSERT_EQ(s.size(), 4u);
             EXPECT_TRUE(s[0].cargo && s[0].ramp);
             EXPECT_TRUE(!s[1].cargo && s[1].ramp);
             EXPECT_TRUE(!s[2].cargo && !s[2].ramp && !s[2].heli);
             EXPECT_FALSE(s[3].ramp);
         }},
        {"p1 with radii 20, 30, 25 become p1 (30), p1a (25), p1b (20)",
         [] { return sampleFile({lf_airport({lf_parking(2, 1, 20), lf_parking(2, 1, 30), lf_parking(2, 1, 25)})}); },
         nullptr,
         [](const ReadRun& r) {
             const auto& s = r.handler.generated.at(0).stands;
             ASSERT_EQ(s.size(), 3u);
             EXPECT_EQ(s[0].name, "p1b");
             EXPECT_EQ(s[1].name, "p1");
             EXPECT_EQ(s[2].name, "p1a");
             EXPECT_NEAR(s[1].radius * kNmToMetres, 30.0, 1e-9);
             for (const auto& st : s) EXPECT_FALSE(st.suffixMark);
         }},
        {"eight stands of one name: seven kept, the eighth dropped with a warning",
         [] {
             std::vector<Parking> ps;
             for (int i = 0; i < 8; ++i) ps.push_back(lf_parking(2, 4, 10.0f + i));
             return sampleFile({lf_airport(ps)});
         },
         nullptr,
         [](const ReadRun& r) {
             EXPECT_EQ(r.handler.generated.at(0).stands.size(), 7u);
             EXPECT_TRUE(lf_logHas(r, "===> Warning: more than 6 duplicate IDs p4 in test.bgl"));
             // The largest kept (16 m) is p4, the smallest (10 m) p4f.
             EXPECT_EQ(r.handler.generated[0].stands[6].name, "p4");
             EXPECT_EQ(r.handler.generated[0].stands[0].name, "p4f");
         }},
        {"radius 1.0, 200.0 and NaN are skipped",
         [] {
             return sampleFile({lf_airport({lf_parking(2, 1, 1.0f), lf_parking(2, 2, 200.0f),
                                            lf_parking(2, 3, std::numeric_limits<float>::quiet_NaN()),
                                            lf_parking(2, 4, 1.5f), lf_parking(2, 5, 199.5f)})});
         },
         nullptr,
         [](const ReadRun& r) {
             EXPECT_EQ(lf_names(r.handler.generated.at(0)), (std::vector<std::string>{"p4", "p5"}));
             EXPECT_TRUE(lf_logHas(r, "Skipped position with radius 1.0 m in test.bgl"));
             EXPECT_TRUE(lf_logHas(r, "Skipped position with radius 200.0 m in test.bgl"));
             EXPECT_TRUE(lf_logHas(r, "Skipped position with radius NAN m in test.bgl"));
         }},
        {"lat 0.00005 with lon 0.00005 is invalid, with lon 12.0 valid",
         [] {
             auto a = lf_parking(2, 1);
             a.lat = 0.00005;
             a.lon = 0.00005;
             auto b = lf_parking(2, 2);
             b.lat = 0.00005;
             b.lon = 12.0;
             return sampleFile({lf_airport({a, b})});
         },
         nullptr,
         [](const ReadRun& r) {
             EXPECT_EQ(lf_names(r.handler.generated.at(0)), std::vector<std::string>{"p2"});
             EXPECT_TRUE(lf_logHas(r, "LatLon 0.000050,0.000050 invalid (skipped)"));
         }},
        {"heading 0 becomes 2 pi, 90 pi/2; a NaN heading skips the stand",
         [] {
             auto a = lf_parking(2, 1);
             a.heading = 0.0f;
             auto b = lf_parking(2, 2);
             b.heading = 90.0f;
             auto c = lf_parking(2, 3);
             c.heading = std::numeric_limits<float>::infinity();
             return sampleFile({lf_airport({a, b, c})});
         },
         nullptr,
         [](const ReadRun& r) {
             const auto& s = r.handler.generated.at(0).stands;
             ASSERT_EQ(s.size(), 2u);
             EXPECT_DOUBLE_EQ(s[0].heading, 2 * kPi);
             EXPECT_NEAR(s[1].heading, kPi / 2, 1e-12);
             EXPECT_TRUE(lf_logHas(r, "Skipped position p3 with heading inf"));
         }},
        {"a skipped entry with airline codes, then a valid one",
         [] {
             auto bad = lf_parking(2, 1, 1.0f);
             bad.airlineCodes = {"KLM", "DAL", "UAL"};
             auto good = lf_parking(10, 2, 33.0f);
             good.lat = 52.4;
             good.heading = 180.0f;
             return sampleFile({lf_airport({bad, good}, true)});
         },
         nullptr,
         [](const ReadRun& r) {
             const auto& s = r.handler.generated.at(0).stands;
             ASSERT_EQ(s.size(), 1u);
             EXPECT_EQ(s[0].name, "g2");
             EXPECT_NEAR(s[0].latitude, 52.4, 1e-6);
             EXPECT_NEAR(s[0].radius * kNmToMetres, 33.0, 1e-9);
             EXPECT_NEAR(s[0].heading, kPi, 1e-12);
         }},
        {"elevation: signed millimetres, 10,000 ft kept, 10,001 ft becomes 0",
         [] {
             auto a = lf_airport({lf_parking(2, 1)});
             a.elevationMm = -3353;  // EHAM, -11 ft
             auto b = a;
             b.ident = "EGLL";
             b.elevationMm = 3048000;
             auto c = a;
             c.ident = "SLLP";
             c.elevationMm = 3048400;
             return sampleFile({a, b, c});
         },
         nullptr,
         [](const ReadRun& r) {
             ASSERT_EQ(r.handler.generated.size(), 3u);
             EXPECT_EQ(r.handler.generated[0].altitude, -11);
             EXPECT_EQ(r.handler.generated[1].altitude, 10000);
             EXPECT_EQ(r.handler.generated[2].altitude, 0);
         }},
        {"idents of three characters or with a blank digit skip the airport",
         [] {
             auto a = lf_airport({lf_parking(2, 1)});
             a.ident = "EHA";
             auto b = a;
             b.ident = "E HA";
             auto c = a;
             c.ident = "K2A1";
             return sampleFile({a, b, c});
         },
         [](RecordingHandler& h) {
             h.linked = true;
             h.archived = 100;
         },
         [](const ReadRun& r) {
             EXPECT_EQ(r.handler.linkCalls, std::vector<std::string>{"K2A1"});
             EXPECT_TRUE(r.log.empty());
         }},
        {"several airports, subsections and sections, other sections in between",
         [] {
             Section s1;
             s1.subsections.push_back({{sampleAirport("EGLL", 3, false), OtherRecord{}, sampleAirport("EGKK", 2, true)}});
             s1.subsections.push_back({{sampleAirport("EGCC", 1, false)}});
             Section s2;
             s2.subsections.push_back({{sampleAirport("LFPG", 4, true)}});
             return BglBuilder().otherSection(0x65).section(s1).otherSection(0x2C).section(s2).build();
         },
         nullptr,
         [](const ReadRun& r) {
             EXPECT_EQ(r.handler.linkCalls, (std::vector<std::string>{"EGLL", "EGKK", "EGCC", "LFPG"}));
             ASSERT_EQ(r.handler.generated.size(), 4u);
             EXPECT_EQ(r.handler.generated[0].stands.size(), 4u);  // 3 and the helipad
             EXPECT_EQ(r.handler.generated[3].stands.size(), 5u);
         }},
        {"helipads: width/2 radius, heading at +32, a double one skipped, a bad position logged",
         [] {
             Airport a;
             a.subs.push_back(NameRec{"Heliport"});
             a.subs.push_back(HelipadRec{52.0, 4.0, 30.0f, 24.0f, 45.0f});
             a.subs.push_back(HelipadRec{52.0, 4.0, 30.0f, 24.0f, 45.0f});
             a.subs.push_back(HelipadRec{52.1, 4.1, 30.0f, 16.0f, 0.0f});
             a.subs.push_back(HelipadRec{0.0, 0.0, 30.0f, 16.0f, 0.0f});
             a.subs.push_back(ParkingListRec{{lf_parking(2, 1)}});
             return sampleFile({a});
         },
         nullptr,
         [](const ReadRun& r) {
             const auto& s = r.handler.generated.at(0).stands;
             ASSERT_EQ(lf_names(r.handler.generated[0]), (std::vector<std::string>{"helipad1", "helipad2", "p1"}));
             EXPECT_TRUE(s[0].heli && !s[0].cargo && !s[0].ramp);
             EXPECT_NEAR(s[0].radius * kNmToMetres, 12.0, 1e-9);
             EXPECT_NEAR(s[0].heading, kPi / 4, 1e-12);
             EXPECT_DOUBLE_EQ(s[1].heading, 2 * kPi);
             EXPECT_TRUE(lf_logHas(r, "double helipad Heliport (skipped) 52.000000,4.000000"));
             EXPECT_TRUE(lf_logHas(r, "lat/lon helipad incorrect (skipped): 0.000000,0.000000"));
         }},
        {"only the first parking list is read",
         [] {
             auto a = lf_airport({lf_parking(2, 1)});
             a.subs.push_back(ParkingListRec{{lf_parking(2, 2)}});
             return sampleFile({a});
         },
         nullptr, [](const ReadRun& r) { EXPECT_EQ(lf_names(r.handler.generated.at(0)), std::vector<std::string>{"p1"}); }},
        {"two different names leave none; a name of 50 characters is cut to 44",
         [] {
             auto a = lf_airport({lf_parking(2, 1)});
             a.subs.push_back(NameRec{"Amsterdam"});
             auto b = lf_airport({lf_parking(2, 1)});
             b.ident = "EGLL";
             b.subs[0] = NameRec{std::string(50, 'N')};
             b.subs.push_back(NameRec{std::string(50, 'N')});
             return sampleFile({a, b});
         },
         nullptr,
         [](const ReadRun& r) {
             ASSERT_EQ(r.handler.generated.size(), 2u);
             EXPECT_EQ(r.handler.generated[0].airportName, "");
             EXPECT_EQ(r.handler.generated[1].airportName, std::string(44, 'N'));
         }},
        {"an unpadded name size: the walk stays in bounds and skips the airport",
         [] {
             auto a = lf_airport({lf_parking(2, 1)});
             a.subs[0] = NameRec{"Schiphol", 14};
             return sampleFile({a});
         },
         nullptr,
         [](const ReadRun& r) {
             // The records after the name are read 2 bytes early: the airport is malformed, nothing past it read.
             EXPECT_TRUE(r.handler.generated.empty());
             EXPECT_EQ(r.log, std::vector<std::string>{
                                  "===> airport EHAM in test.bgl is malformed (word 40 beyond 40), skipped"});
         }},
        {"linked with as many stands as archived: not generated",
         [] { return sampleFile({lf_airport({lf_parking(2, 1), lf_parking(2, 2)})}); },
         [](RecordingHandler& h) {
             h.linked = true;
             h.archived = 2;
             h.publisher = "FlyTampa";
         },
         [](const ReadRun& r) {
             EXPECT_TRUE(r.handler.generated.empty());
             EXPECT_TRUE(r.log.empty());
         }},
        {"linked with fewer archived stands: the warning, and generated",
         [] { return sampleFile({lf_airport({lf_parking(2, 1), lf_parking(2, 2)})}); },
         [](RecordingHandler& h) {
             h.linked = true;
             h.archived = 1;
             h.publisher = "FlyTampa";
         },
         [](const ReadRun& r) {
             EXPECT_EQ(r.handler.generated.size(), 1u);
             EXPECT_EQ(r.log, std::vector<std::string>{"===> EHAM has 2 parkpos while archived one has 1"});
         }},
        {"a linked simaddon airport is never generated",
         [] { return sampleFile({lf_airport({lf_parking(2, 1), lf_parking(2, 2)})}); },
         [](RecordingHandler& h) {
             h.linked = true;
             h.archived = 0;
             h.publisher = "simaddon";
         },
         [](const ReadRun& r) {
             EXPECT_TRUE(r.handler.generated.empty());
             EXPECT_TRUE(r.log.empty());
         }},
        {"a parking count beyond the list's data ends the airport with a line",
         [] {
             auto a = lf_airport({lf_parking(2, 1)});
             std::get<ParkingListRec>(a.subs[1]).countOverride = 5;
             return sampleFile({a, sampleAirport("EGLL", 2, false)});
         },
         nullptr,
         [](const ReadRun& r) {
             ASSERT_EQ(r.handler.generated.size(), 1u);
             EXPECT_EQ(r.handler.generated[0].icao, "EGLL");
             EXPECT_TRUE(lf_logHas(r, "===> airport EHAM in test.bgl is malformed"));
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ReadRun run;
        if (row.setup) row.setup(run.handler);
        lf_runBytes(row.make(), run);
        row.check(run);
    }
}

TEST(BglReader, IdentRoundTrip)
{
    EXPECT_EQ(encodeIdent("EGLL"), 28954912u);
    for (const char* ident : {"EGLL", "EHAM", "K2A1", "00AA", "ZZZZ", "9999", "LOWW"}) {
        SCOPED_TRACE(ident);
        const auto [text, valid] = lf_decodeIdentifierOrRegionCode(encodeIdent(ident) | 0x1F);
        EXPECT_EQ(text, ident);
        EXPECT_TRUE(valid);
    }
    EXPECT_FALSE(lf_decodeIdentifierOrRegionCode(encodeIdent("EGLLX")).second);
    EXPECT_FALSE(lf_decodeIdentifierOrRegionCode(0).second);
}

TEST(BglReader, NamePrefixes)
{
    const std::vector<std::pair<std::uint32_t, std::string>> rows = {
        {0, ""}, {1, "r"}, {2, "p"}, {3, "np"}, {4, "ep"}, {5, "sep"}, {6, "sp"}, {7, "swp"},
        {8, "wp"}, {9, "nwp"}, {10, "g"}, {11, ""}, {12, "A"}, {37, "Z"}, {38, "["}, {63, "t"}};
    for (const auto& [index, prefix] : rows) EXPECT_EQ(lf_parkingNamePrefix(index), prefix) << index;
}

// The header test, as lf_checkBGLfile makes it and as the scan makes it with
// its one read (which must also give the file's words as lf_readFileDwords).
TEST(BglReader, HeaderCheck)
{
    ScratchFolder dir;
    auto good = sampleFile({sampleAirport("EHAM", 3, false)});
    // 250 other sections before the airports: the table runs past the 4 KiB read first.
    BglBuilder manySections;
    for (int i = 0; i < 250; ++i) manySections.otherSection(0x65, 8);
    manySections.airports({sampleAirport("EGLL", 5, true)});
    BglBuilder manyOthers;
    for (int i = 0; i < 250; ++i) manyOthers.otherSection(0x65, 8);
    struct CheckRow {
        const char* name;
        std::function<void(BglImage&)> edit;
        bool accepted;
    };
    const std::vector<CheckRow> rows = {
        {"a well-formed file", nullptr, true},
        {"an airport section with bit 16 still passes",
         [](BglImage& b) { b.patch({60, 4, "flags"}, 0x10001); }, true},
        {"header size not 56", [](BglImage& b) { b.patch(b.sizes[0], 60); }, false},
        {"no section", [](BglImage& b) { b.patch(b.counts[0], 0); }, false},
        {"a section count beyond the file", [](BglImage& b) { b.patch(b.counts[0], 0xFFFFFFFF); }, false},
        {"no airport section", [](BglImage& b) { b.patch({56, 4, "type"}, 0x65); }, false},
        {"shorter than the header", [](BglImage& b) { b.cut(40); }, false},
        {"empty", [](BglImage& b) { b.cut(0); }, false},
        {"a length that is no multiple of 4", [](BglImage& b) { b.bytes.insert(b.bytes.end(), {1, 2, 3}); }, true},
        {"larger than the part read first", [](BglImage& b) { b = sampleFile({sampleAirport("EHAM", 400, true)}); },
         true},
        {"the airport section past the part read first", [&](BglImage& b) { b = manySections.build(); }, true},
        {"a long table without an airport section", [&](BglImage& b) { b = manyOthers.build(); }, false},
        {"a table longer than the file, past the part read first",
         [&](BglImage& b) {
             b = manySections.build();
             b.cut(56 + 20 * 240);
         },
         false},
    };
    const auto path = dir / "x.bgl";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        BglImage image = good;
        if (row.edit) row.edit(image);
        ASSERT_TRUE(image.write(path));
        EXPECT_EQ(lf_checkBGLfile(path), row.accepted);
        const BglScanFile read = lf_readBGLforScan(path);
        EXPECT_EQ(read.airports, row.accepted);
        if (row.accepted) {
            ASSERT_TRUE(read.words.has_value());
            EXPECT_EQ(*read.words, lf_readFileDwords(path).value());
        } else {
            EXPECT_FALSE(read.words.has_value());
        }
    }
    for (const auto& other : {dir / "missing.bgl", dir.path()}) {
        EXPECT_FALSE(lf_checkBGLfile(other));
        EXPECT_FALSE(lf_readBGLforScan(other).airports);
    }
    EXPECT_FALSE(lf_checkBGLfile(sceneryWithoutAirport().write(dir / "mesh.bgl") ? dir / "mesh.bgl" : dir / "no"));
}

TEST(BglReader, TheScansReadGivesWhatTheFileGives)
{
    ScratchFolder dir;
    const auto path = dir / "EHAM.bgl";
    ASSERT_TRUE(sampleFile({sampleAirport("EHAM", 300, true), sampleAirport("EGLL", 6, false)}).write(path));
    RecordingHandler fromFile;
    lf_processBGLfile(path, fromFile);
    RecordingHandler fromWords;
    lf_processBGLwords(lf_readBGLforScan(path).words.value(), path.string(), fromWords);
    // Larger than the bytes it may keep: tested, not read whole.
    const BglScanFile tooLarge = lf_readBGLforScan(path, std::filesystem::file_size(path) - 1);
    EXPECT_TRUE(tooLarge.airports);
    EXPECT_FALSE(tooLarge.words.has_value());
    EXPECT_TRUE(lf_readBGLforScan(path, std::filesystem::file_size(path)).words.has_value());
    ASSERT_EQ(fromWords.generated.size(), 2u);
    ASSERT_EQ(fromWords.generated.size(), fromFile.generated.size());
    for (std::size_t i = 0; i < fromFile.generated.size(); ++i) {
        EXPECT_EQ(fromWords.generated[i].bglPath, fromFile.generated[i].bglPath);
        std::string a, b;
        ASSERT_TRUE(standFileText(fromWords.generated[i], StandFileMode::full, a));
        ASSERT_TRUE(standFileText(fromFile.generated[i], StandFileMode::full, b));
        EXPECT_EQ(a, b);
    }
}

TEST(BglReader, ReadsFromAFileAndNamesItsPath)
{
    ScratchFolder dir;
    const auto path = dir / "EHAM.bgl";
    ASSERT_TRUE(sampleFile({sampleAirport("EHAM", 6, true)}).write(path));
    RecordingHandler h;
    lf_processBGLfile(path, h);
    ASSERT_EQ(h.generated.size(), 1u);
    EXPECT_EQ(h.generated[0].bglPath, path.string());
    EXPECT_EQ(h.generated[0].stands.size(), 7u);
    lf_processBGLfile(dir / "missing.bgl", h);  // ends quietly
    EXPECT_EQ(h.generated.size(), 1u);
}

TEST(BglReader, StopFlagEndsBeforeTheNextRecord)
{
    RecordingHandler h;
    std::atomic<bool> stop{true};
    const auto image = sampleFile({sampleAirport("EHAM", 3, false), sampleAirport("EGLL", 3, false)});
    lf_processBGLbytes(image.bytes.data(), image.bytes.size(), "x", h, &stop);
    EXPECT_TRUE(h.linkCalls.empty());
}

// A file rich in structure; every cut and every broken field must end, in
// bounds, with no more stands than the intact file.
std::size_t lf_standCount(const BglImage& image)
{
    ReadRun run;
    lf_runBytes(image, run);
    std::size_t n = 0;
    for (const auto& a : run.handler.generated) n += a.stands.size();
    return n;
}

BglImage lf_richFile()
{
    Section s1;
    auto dup = lf_airport({lf_parking(2, 1, 20), lf_parking(2, 1, 30), lf_parking(2, 1, 25)}, true);
    dup.ident = "EDDF";
    s1.subsections.push_back({{sampleAirport("EGLL", 4, false), OtherRecord{}, sampleAirport("EGKK", 3, true)}});
    s1.subsections.push_back({{dup}});
    Section s2;
    s2.subsections.push_back({{sampleAirport("LFPG", 2, true)}});
    return BglBuilder().otherSection(0x65, 40).section(s1).section(s2).build();
}

TEST(BglReaderSweep, CutsAndBrokenFields)
{
    const BglImage intact = lf_richFile();
    const std::size_t full = lf_standCount(intact);
    ASSERT_EQ(full, 5u + 4u + 3u + 3u);
    for (std::size_t cut = 0; cut <= intact.bytes.size(); cut += 4) {
        BglImage image = intact;
        image.cut(cut);
        EXPECT_LE(lf_standCount(image), full) << "cut at " << cut;
    }
    for (const auto* fields : {&intact.sizes, &intact.counts, &intact.offsets}) {
        for (const auto& field : *fields) {
            for (std::uint32_t value : {0u, 2u, 4u, 0xFFFFu, 0xFFFFFFFFu}) {
                BglImage image = intact;
                image.patch(field, value);
                EXPECT_LE(lf_standCount(image), full) << field.what << " at " << field.offset << " = " << value;
            }
        }
    }
}

}  // namespace
