#include "liveries/cfg_scanner.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/app_services_fake.h"
#include "core/task_slots.h"
#include "liveries/support/aircraft_folder.h"
#include "liveries/support/dbase_fixture.h"
#include "platform/fs_path.h"

namespace {

namespace fs = std::filesystem;

using Lines = std::vector<std::pair<ScanReport, std::string>>;

constexpr ScanReport Airline = ScanReport::InvalidAirlineCodes;
constexpr ScanReport Model = ScanReport::InvalidAircraftCodes;
constexpr ScanReport Fix = ScanReport::Fixes;
constexpr ScanReport Cfg = ScanReport::InvalidAircraftCfgFiles;
constexpr ScanReport Incomplete = ScanReport::IncompleteSections;
constexpr ScanReport NoSection = ScanReport::NoFltsimSection;

// One section [fltsim.0] of a pax livery of AAA without registration, with
// `extra` lines after its keys, and the [General] section naming `model`.
std::string oneSection(const std::string& extra, const std::string& model = "B738",
                       const std::string& codes = "atc_parking_codes=AAA\n")
{
    return "[fltsim.0]\ntitle=T0\nsim=B738\nmodel=\ntexture=AAA\n" + codes + extra + "\n[General]\natc_model=" + model +
           "\n";
}

AircraftFolder folderWith(std::string cfg)
{
    AircraftFolder f;
    f.cfg = std::move(cfg);
    return f;
}

class CfgScanner : public ::testing::Test {
protected:
    CfgScanner()
    {
        loadDbase();
        resetScanState();
        resetTaskSlots(4);
    }
    ~CfgScanner() override { resetScanState(); }

    struct Outcome {
        std::vector<std::string> liveries;
        Lines lines;
    };

    // Scans the aircraft.cfg like the folder walk: the task body, then the
    // titles handed out in file order.
    Outcome scan(const fs::path& cfg, bool ivao = false)
    {
        ++runningTasks;
        CfgScanResult result = ivao ? lf_searchIvaoLiveriesinFile(1, cfg) : lf_searchLiveriesinFile(1, cfg);
        Outcome out;
        ScanReportLines accepted;
        for (const auto& l : lf_acceptCandidates(result.liveries, accepted)) out.liveries.push_back(liveryText(l));
        for (const auto* reports : {&result.reports, &accepted}) {
            for (std::size_t i = 0; i < scanReportCount; ++i) {
                for (const auto& line : reports->lines[i]) out.lines.emplace_back(static_cast<ScanReport>(i), line);
            }
        }
        return out;
    }

    // The expected lines with {PATH} and {FOLDER} filled in.
    static Lines expand(const Lines& lines, const fs::path& cfg)
    {
        Lines out;
        for (auto [list, text] : lines) {
            for (const auto& [mark, value] :
                 {std::pair<std::string, std::string>{"{PATH}", platform::pathText(cfg)},
                  std::pair<std::string, std::string>{"{FOLDER}", platform::pathText(cfg.parent_path())}}) {
                for (std::size_t at; (at = text.find(mark)) != std::string::npos;) text.replace(at, mark.size(), value);
            }
            out.emplace_back(list, text);
        }
        return out;
    }

    WorkingFolder folder_;
};

struct Row {
    const char* name;
    AircraftFolder aircraft;
    std::vector<std::string> liveries;
    Lines lines;
    std::vector<std::string> dontUse = {};
};

TEST_F(CfgScanner, Sections)
{
    const std::string t0 = "AAA|B738|T0||pax";
    const Row rows[] = {
        {"the minimal folder", {}, {"AAA|B738|TEST B738 Alpha G-ABCD|G-ABCD|pax", "CGX|B738|TEST B738 Cargo||cargo"}, {}},
        {"first code of the list, X cut", folderWith(oneSection("", "B738", "atc_parking_codes=BAWX,EZY\n")),
         {"BAW|B738|T0||pax"}, {}},
        {"RFO drops the section without a line", folderWith(oneSection("", "B738", "atc_parking_codes=RFO\n")), {}, {}},
        {"an unknown code is reported and a later codes line read",
         folderWith(oneSection("atc_parking_codes=EZY\n", "B738", "atc_parking_codes=QQQ\n")),
         {"EZY|B738|T0||pax"},
         {{Airline, "QQQ          in {PATH} [fltsim.0]"}}},
        {"a second codes line aborts", folderWith(oneSection("atc_parking_codes=EZY\n")), {},
         {{Incomplete, "{FOLDER} [fltsim.0] has more than one atc_parking_codes key"}}},
        {"no code at all", folderWith(oneSection("", "C172", "")), {"PVT|C172|T0||pax"},
         {{Incomplete, "{PATH} [fltsim.0] icao_airline is missing, or it has invalid info "}}},
        {"atc_id cut at ';'", folderWith(oneSection("atc_id=G-ABCD;comment\n")), {"AAA|B738|T0|G-ABCD|pax"}, {}},
        {"two registrations give none", folderWith(oneSection("atc_id=G-ABCD,G-EFGH\natc_id=G-XYZ\n")),
         {"AAA|B738|T0|G-XYZ|pax"}, {}},
        {"a star is refused and a later atc_id read",
         folderWith(oneSection("atc_id=G-AB*\natc_id=G-XYZ\n")),
         {"AAA|B738|T0|G-XYZ|pax"},
         {{Incomplete, "invalid atc_id=G-AB* in: T0"}}},
        {"thirteen characters are refused", folderWith(oneSection("atc_id=ABCDEFGHIJKLM\n")), {t0},
         {{Incomplete, "invalid atc_id=ABCDEFGHIJKLM in: T0"}}},
        {"a second atc_id with a blank is no duplicate", folderWith(oneSection("atc_id=G-ABCD\natc_id =G-EFGH\n")),
         {"AAA|B738|T0|G-ABCD|pax"}, {}},
        {"a second atc_id aborts", folderWith(oneSection("atc_id=G-ABCD\natc_id=G-EFGH\n")), {},
         {{Incomplete, "{FOLDER}, [fltsim.0], has more than one atc_id key"}}},
        {"a commented atc_id inside the section aborts",
         folderWith(oneSection("atc_id=G-ABCD\n//atc_id=G-EFGH\nui_type=x\n")), {},
         {{Incomplete, "{FOLDER}, [fltsim.0], has more than one atc_id key"}}},
        {"trailing comment lines are dropped", folderWith(oneSection("atc_id=G-ABCD\n//atc_id=G-EFGH\n\n")),
         {"AAA|B738|T0|G-ABCD|pax"}, {}},
        {"a second title aborts", folderWith(oneSection("title=T1\n")), {},
         {{Incomplete, "{FOLDER} [fltsim.0] has more than one title key"}}},
        {"a second types line aborts", folderWith(oneSection("atc_parking_types=GATE\natc_parking_types=RAMP\n")), {},
         {{Incomplete, "{FOLDER} [fltsim.0] has more than one atc_parking_types key"}}},
        {"cargo anywhere in the types", folderWith(oneSection("atc_parking_types=gate , ramp_cargo\n")),
         {"AAA|B738|T0||cargo"}, {}},
        {"no airline, registration in the database",
         folderWith(oneSection("atc_id=DABCD\n", "B738", "")), {"DLH|B738|T0|DABCD|pax"},
         {{Incomplete, "{PATH} [fltsim.0] icao_airline is missing, or it has invalid info "}}},
        {"heavy without airline and registration", folderWith(oneSection("", "B744", "")), {},
         {{Incomplete, "{PATH} [fltsim.0] icao_airline is missing, or it has invalid info "},
          {Incomplete, "'{FOLDER}' '[fltsim.0]' has no airline and no regcode info"}}},
        {"heavy with an unknown registration", folderWith(oneSection("atc_id=N12345\n", "B744", "")), {},
         {{Incomplete, "{PATH} [fltsim.0] icao_airline is missing, or it has invalid info "},
          {Incomplete, "'{FOLDER}' '[fltsim.0]' has no airline and regcode not in dbase"}}},
        {"light with an unknown registration", folderWith(oneSection("atc_id=N12345\n", "C172", "")),
         {"PVT|C172|T0|N12345|pax"},
         {{Incomplete, "{PATH} [fltsim.0] icao_airline is missing, or it has invalid info "}}},
        {"light without registration takes a short key of the title",
         folderWith("[fltsim.0]\ntitle=C172 DABCD Private\nsim=B738\ntexture=AAA\n[General]\natc_model=C172\n"),
         {"PVT|C172|C172 DABCD Private|DABCD|pax"},
         {{Incomplete, "{PATH} [fltsim.0] icao_airline is missing, or it has invalid info "}}},
        {"ZZZ clears the registration", folderWith(oneSection("atc_id=G-ABCD\n", "B738", "atc_parking_codes=ZZZ\n")),
         {"ZZZ|B738|T0||pax"}, {}},
        {"a model fix", folderWith(oneSection("", "B73H")), {t0},
         {{Fix, "Model fix: B73H found in {PATH} changed into B738"}}},
        {"an unknown model skips the file", folderWith(oneSection("", "XXXX")), {},
         {{Model, "XXXX             in {PATH}"}}},
        {"no atc_model skips the file", folderWith("[fltsim.0]\ntitle=T0\n"), {},
         {{Cfg, "Line atc_model= is missing in [General] section of {PATH}"}}},
        {"a section numbered above 10000 skips the file",
         folderWith(oneSection("") + "[fltsim.10001]\ntitle=T1\n"), {},
         {{Cfg, "{PATH} contains a [fltsim.x] section with a number < 0 or > 10000"}}},
        {"a number beyond 32 bits skips the file silently", folderWith(oneSection("") + "[fltsim.99999999999]\n"), {},
         {}},
        {"minus sign and comment count as section 10000",
         folderWith("[fltsim.-1]\ntitle=T0\nsim=B738\ntexture=AAA\natc_parking_codes=AAA\n"
                    "[fltsim.1] //x\ntitle=T1\nsim=B738\ntexture=AAA\natc_parking_codes=EZY\n[General]\natc_model=B738\n"),
         {t0, "EZY|B738|T1||pax"}, {}},
        {"no header at all", folderWith("[General]\natc_model=B738\n"), {}, {{NoSection, "{PATH}"}}},
        {"a commented header ends the section before it",
         folderWith(oneSection("//[fltsim.2]\natc_id=G-ABCD\n")), {t0}, {}},
        {"another section ends it", folderWith(oneSection("[Other]\natc_id=G-ABCD\n")), {t0}, {}},
        {"a missing texture folder is reported under the model folder",
         folderWith("[fltsim.0]\ntitle=T0\nsim=B738\ntexture=NONE\natc_parking_codes=AAA\n[General]\natc_model=B738\n"),
         {}, {{Incomplete, "{FOLDER}/model or related path does not exist: [fltsim.0]"}}},
        {"a missing flight-model file",
         folderWith("[fltsim.0]\ntitle=T0\nsim=B7X\ntexture=AAA\natc_parking_codes=AAA\n[General]\natc_model=B738\n"),
         {}, {{Incomplete, "{FOLDER}/model or related path does not exist: [fltsim.0]"}}},
        {"misses title", folderWith("[fltsim.0]\nsim=B738\ntexture=AAA\natc_parking_codes=AAA\n[General]\natc_model=B738\n"),
         {}, {{Incomplete, "{FOLDER} [fltsim.0] misses title"}}},
        {"quoted values", folderWith("[fltsim.0]\ntitle=\"T0\"\nsim=B738\nmodel=\"\"\ntexture=\"AAA\"\n"
                                     "atc_parking_codes=AAA\n[General]\natc_model=B738\n"),
         {t0}, {}},
        {"a don't-use title", folderWith(oneSection("")), {}, {}, {"T0"}},
        {"the same title twice in one file",
         folderWith(oneSection("") + "[fltsim.1]\ntitle=T0\nsim=B738\ntexture=AAA\natc_parking_codes=EZY\n"),
         {t0}, {{Incomplete, "{FOLDER} [fltsim.1] title 'T0' already exists"}}},
        {"sim.cfg", [] {
             AircraftFolder f = folderWith(oneSection(""));
             f.cfgName = "sim.cfg";
             return f;
         }(),
         {t0}, {}},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        resetScanState();
        DontUseTitles = row.dontUse;
        const fs::path cfg = makeAircraftFolder(folder_ / "lib" / std::to_string(n++) / "T", row.aircraft);
        const int before = runningTasks.load();
        const Outcome got = scan(cfg);
        EXPECT_EQ(runningTasks.load(), before);
        EXPECT_EQ(got.liveries, row.liveries);
        EXPECT_EQ(got.lines, expand(row.lines, cfg));
    }
}

TEST_F(CfgScanner, IvaoSections)
{
    const auto ivaoCfg = [](const std::string& keys) {
        return "[fltsim.0]\nsim=B738\nmodel=\ntexture=AAA\n" + keys + "\n[General]\natc_model=XXXX\n";
    };
    const Row rows[] = {
        {"airline from the title, always pax",
         folderWith(ivaoCfg("title=AAA Boeing 737\natc_parking_codes=EZY\natc_parking_types=CARGO\natc_id=G-ABCD")),
         {"AAA|B738|AAA Boeing 737|G-ABCD|pax"}, {}},
        {"atc_id not cut at ';'", folderWith(ivaoCfg("title=AAA x\natc_id=G-ABCD;x")), {"AAA|B738|AAA x|G-ABCD;x|pax"}, {}},
        {"a refused atc_id", folderWith(ivaoCfg("title=AAA x\natc_id=G-AB*")), {"AAA|B738|AAA x||pax"},
         {{Incomplete, "invalid atc_id=G-AB* in AAA x"}}},
        {"an unknown airline code", folderWith(ivaoCfg("title=QQQ x")), {},
         {{Airline, "QQQ          in {PATH} [fltsim.0]"}}},
        {"ZZZ clears the registration", folderWith(ivaoCfg("title=ZZZ x\natc_id=G-ABCD")), {"ZZZ|B738|ZZZ x||pax"}, {}},
        {"no code in the title, registration known", folderWith(ivaoCfg("title=A-B x\natc_id=DABCD")),
         {"DLH|B738|A-B x|DABCD|pax"}, {}},
        {"no code in the title, no registration", folderWith(ivaoCfg("title=A-B x")), {},
         {{Incomplete, "{FOLDER} [fltsim.0] misses airlinecode in title: A-B x, and no regcode"}}},
        {"no code in the title, unknown registration", folderWith(ivaoCfg("title=A-B x\natc_id=N1")), {},
         {{Incomplete, "{FOLDER} [fltsim.0] misses airlinecode in title: A-B x, and regcode unknown N1"}}},
        {"a second title", folderWith(ivaoCfg("title=AAA x\ntitle=AAA y")), {},
         {{Incomplete, "{FOLDER} [fltsim.0] has more than one title key"}}},
        {"every missing file is named", folderWith("[fltsim.0]\ntitle=AAA x\nmodel=M\nsim=S\ntexture=T\n"), {},
         {{Incomplete, "{FOLDER}/model.M [fltsim.0] does not exist"},
          {Incomplete, "{FOLDER}/S.air [fltsim.0] does not exist"},
          {Incomplete, "{FOLDER}/texture.T [fltsim.0] does not exist"}}},
        {"misses title", folderWith(ivaoCfg("atc_id=G-ABCD")), {}, {{Incomplete, "{FOLDER} [fltsim.0] misses title"}}},
        {"any '[' ends the section", folderWith(ivaoCfg("title=AAA x\nui_type=[x]\natc_id=G-ABCD")),
         {"AAA|B738|AAA x||pax"}, {}},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        resetScanState();
        const fs::path cfg =
            makeAircraftFolder(folder_ / "lib" / std::to_string(n++) / "IVAO_MTL" / "IVAO_B738w", row.aircraft);
        const Outcome got = scan(cfg, true);
        EXPECT_EQ(got.liveries, row.liveries);
        EXPECT_EQ(got.lines, expand(row.lines, cfg));
    }
}

TEST_F(CfgScanner, IvaoModelFromTheFolder)
{
    struct ModelRow {
        const char* folder;
        const char* model;
        Lines lines;
    };
    const ModelRow rows[] = {
        {"IVAO_B738w", "B738", {}},
        {"IVAO_B744F", "B744", {}},
        {"ivao_T154M", "T154", {}},
        {"IVAO_T154B2", "T154", {}},
        {"IVAO_GLID_SH", "GLID", {}},
        {"IVAO_GLID_KA6", "GLID", {}},
        {"IVAO_B73H", "B738", {{Fix, "Model fix: B73H found in {PATH} changed into B738"}}},
        {"IVAO_XXXX", "", {{Model, "XXXX             in {PATH}"}}},
        {"OTHER_B738", "", {{Model, "                 in {PATH}"}}},
    };
    for (const ModelRow& row : rows) {
        SCOPED_TRACE(row.folder);
        const fs::path cfg = fs::path("/data/AI/IVAO_MTL") / row.folder / "aircraft.cfg";
        ScanReportLines reports;
        EXPECT_EQ(lf_fixIvaoModel(cfg, reports), row.model);
        Lines got;
        for (std::size_t i = 0; i < scanReportCount; ++i) {
            for (const auto& line : reports.lines[i]) got.emplace_back(static_cast<ScanReport>(i), line);
        }
        EXPECT_EQ(got, expand(row.lines, cfg));
    }
    // A Windows path text read from a file matches with backslashes too.
    ScanReportLines reports;
    EXPECT_EQ(lf_fixIvaoModel(fs::path("D:\\AI\\IVAO_MTL\\IVAO_B744F\\aircraft.cfg"), reports), "B744");
}

// The same sections in every character set give the same Liveries; an ANSI
// title keeps its bytes.
TEST_F(CfgScanner, Charsets)
{
    const std::string utf8 = "[fltsim.0]\r\ntitle=TEST Caf\xC3\xA9\r\nsim=B738\r\ntexture=AAA\r\n"
                             "atc_parking_codes=AAA\r\natc_id=G-ABCD\r\n\r\n[General]\r\natc_model=B738\r\n";
    const auto utf16 = [&](bool bigEndian) {
        std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        const std::u16string text = u"[fltsim.0]\r\ntitle=TEST Caf\u00E9\r\nsim=B738\r\ntexture=AAA\r\n"
                                    u"atc_parking_codes=AAA\r\natc_id=G-ABCD\r\n\r\n[General]\r\natc_model=B738\r\n";
        for (char16_t c : text) {
            const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
            out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
        }
        return out;
    };
    std::string ansi = utf8;
    ansi.replace(ansi.find("\xC3\xA9"), 2, "\xE9");
    const std::string expected = "AAA|B738|TEST Caf\xC3\xA9|G-ABCD|pax";
    const std::pair<const char*, std::string> files[] = {
        {"UTF-8", utf8}, {"UTF-8 with BOM", "\xEF\xBB\xBF" + utf8}, {"UTF-16 LE", utf16(false)},
        {"UTF-16 BE", utf16(true)}, {"ANSI", ansi}};
    int n = 0;
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        resetScanState();
        const fs::path cfg = makeAircraftFolder(folder_ / "cs" / std::to_string(n++) / "T", folderWith(bytes));
        const Outcome got = scan(cfg);
        const std::string want = std::string(name) == "ANSI" ? "AAA|B738|TEST Caf\xE9|G-ABCD|pax" : expected;
        EXPECT_EQ(got.liveries, std::vector<std::string>{want});
        EXPECT_TRUE(got.lines.empty());
    }
}

TEST_F(CfgScanner, ABinaryFileGivesNothingAndNoCrash)
{
    std::string bytes;
    for (int i = 0; i < 70000; ++i) bytes += static_cast<char>((i * 7919 + i / 13) & 0xFF);
    bytes += "\n[fltsim.3]\ntitle=" + std::string(200000, 'x') + "\n";
    const fs::path cfg = makeAircraftFolder(folder_ / "bin" / "T", folderWith(bytes));
    const Outcome got = scan(cfg);
    EXPECT_TRUE(got.liveries.empty());
}

// The task body gives its slot back exactly once, also when it throws: here
// the message line throws while an invalid UTF-16 file is read.
class ThrowingMessages : public AppServicesFake {
public:
    void showMessage(const std::string& text, bool) override { throw std::runtime_error("message: " + text); }
};

TEST_F(CfgScanner, TheSlotIsReleasedOnceOnAThrow)
{
    ThrowingMessages messages;
    const fs::path cfg = makeAircraftFolder(folder_ / "bad" / "T", folderWith(std::string("\xFF\xFE\x00\xD8\x41\x00", 6)));
    ++runningTasks;
    EXPECT_THROW(lf_searchLiveriesinFile(1, cfg), std::runtime_error);
    EXPECT_EQ(runningTasks.load(), 0);
    const fs::path ivao = makeAircraftFolder(folder_ / "bad" / "IVAO_MTL" / "IVAO_B738",
                                             folderWith(std::string("\xFF\xFE\x00\xD8\x41\x00", 6)));
    ++runningTasks;
    EXPECT_THROW(lf_searchIvaoLiveriesinFile(1, ivao), std::runtime_error);
    EXPECT_EQ(runningTasks.load(), 0);
    // A file that is not there gives nothing and releases its slot too.
    ++runningTasks;
    EXPECT_TRUE(lf_searchLiveriesinFile(1, folder_ / "none" / "aircraft.cfg").liveries.empty());
    EXPECT_EQ(runningTasks.load(), 0);
}

}  // namespace
