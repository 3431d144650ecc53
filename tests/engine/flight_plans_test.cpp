// Flight-plan files: the exact bytes, escaping, the folder's creation and its
// removal with retries.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/paths.h"
#include "engine/ac_records.h"
#include "engine/flight_plans.h"
#include "support/engine_harness.h"

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string expectedPlan(const std::string& rule, const std::string& from, const std::string& to)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
           "<FlightPlan.FlightPlan>\n<FPType>" +
           rule + "</FPType>\n<DepartureID>" + from + "</DepartureID>\n<DestinationID>" + to +
           "</DestinationID>\n</FlightPlan.FlightPlan>\n</SimBase.Document>\n";
}

TEST(FlightPlans, Content)
{
    struct Row {
        const char* name;
        AcCategory category;
        std::string origin;
        std::string destination;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"Rotorcraft: VFR", AcCategory::Rotorcraft, "EHAM", "EHRD", expectedPlan("VFR", "EHAM", "EHRD")},
        {"Heavy: IFR", AcCategory::Heavy, "KJFK", "EGLL", expectedPlan("IFR", "KJFK", "EGLL")},
        {"Light: VFR", AcCategory::Light, "EHLE", "EHTE", expectedPlan("VFR", "EHLE", "EHTE")},
        {"Buzjets: IFR", AcCategory::Buzjets, "A", "B", expectedPlan("IFR", "A", "B")},
        {"empty route", AcCategory::Large, "", "", expectedPlan("IFR", "", "")},
        {"escaped", AcCategory::Large, "A&B", "<x>\"'", expectedPlan("IFR", "A&amp;B", "&lt;x&gt;&quot;&apos;")},
        {"control characters dropped", AcCategory::Large, "EH\nAM", "EG\x01LL", expectedPlan("IFR", "EHAM", "EGLL")},
    };
    EngineHarness h;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AcIdentity id;
        id.category = row.category;
        id.origin = row.origin;
        id.destination = row.destination;
        const fs::path p = h.folder() / "plan.pln";
        ASSERT_TRUE(gf_writeFlightPlan(p, id));
        EXPECT_EQ(readAll(p), row.expected);
    }
}

TEST(FlightPlans, Names)
{
    EXPECT_EQ(gf_flightPlanFileName(1234), fs::path("1234.pln"));
}

TEST(FlightPlans, AnUnwritablePathGivesFalse)
{
    EngineHarness h;
    AcIdentity id;
    EXPECT_FALSE(gf_writeFlightPlan(h.folder() / "missing" / "1.pln", id));
    EXPECT_FALSE(fs::exists(h.folder() / "missing"));
}

TEST(FlightPlans, TheFolder)
{
    EngineHarness h;  // creates dataFolderPath()/orig_dest in its own folder
    const fs::path folder = dataFolderPath() / "orig_dest";
    EXPECT_EQ(flightPlanFolder(), folder);
    ASSERT_TRUE(fs::is_directory(folder));

    // Removed with its files; a second removal finds nothing and logs nothing.
    std::ofstream(folder / "1.pln") << "x";
    std::ofstream(folder / "2.pln") << "y";
    EXPECT_TRUE(gf_removeFlightPlanFolder());
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(gf_removeFlightPlanFolder());
    EXPECT_EQ(h.logText().find("gf_removeFlightPlanFolder"), std::string::npos);

    // The base data folder is created too when it is missing.
    fs::remove_all(dataFolderPath());
    EXPECT_TRUE(gf_createFlightPlanFolder());
    EXPECT_TRUE(fs::is_directory(folder));
}

TEST(FlightPlans, RemovalRetries)
{
    struct Row {
        const char* name;
        int failures;  // tries that fail before one succeeds
        std::errc error;
        int tries;
        bool removed;
        bool logged;
    };
    const std::vector<Row> rows = {
        {"busy twice, then gone", 2, std::errc::directory_not_empty, 3, true, false},
        {"access denied ten times: logged", 99, std::errc::permission_denied, 10, false, true},
        {"another error: no retry", 99, std::errc::io_error, 1, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EngineHarness h;
        int tries = 0;
        setTreeRemover([&](const fs::path& p, std::error_code& ec) -> std::uintmax_t {
            if (++tries <= row.failures) {
                ec = std::make_error_code(row.error);
                return 0;
            }
            return fs::remove_all(p, ec);
        });
        h.clock().clearSleeps();
        EXPECT_EQ(gf_removeFlightPlanFolder(), row.removed);
        EXPECT_EQ(tries, row.tries);
        EXPECT_EQ(h.clock().sleeps().size(), static_cast<std::size_t>(row.tries - 1));
        EXPECT_EQ(h.logText().find("gf_removeFlightPlanFolder: ") != std::string::npos, row.logged);
        setTreeRemover(nullptr);
    }
}

}  // namespace
