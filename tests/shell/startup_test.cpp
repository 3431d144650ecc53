#include <gtest/gtest.h>

#include <fmt/format.h>

#include <fstream>

#include "core/airport_services_fake.h"
#include "core/errors.h"
#include "core/paths.h"
#include "platform/registry.h"
#include "shell_fixture.h"

namespace {

namespace fs = std::filesystem;

class Startup : public ShellFixture {
protected:
    void TearDown() override
    {
        platform::setRegistry(nullptr);
        ShellFixture::TearDown();
    }
    void writeParameters(const std::string& entries)
    {
        std::ofstream(parametersFile()) << "<?xml version=\"1.0\"?>\n<parameters>\n" << entries << "</parameters>\n";
    }
    static std::string entry(const std::string& name, const std::string& value)
    {
        return "<parameter name=\"" + name + "\" value=\"" + value + "\"/>\n";
    }
    static std::string fileText(const fs::path& p)
    {
        std::ifstream in(p);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    AppServicesFake app;
};

TEST_F(Startup, SnapTables)
{
    struct Row {
        std::int32_t (*snap)(std::int32_t);
        std::int32_t in;
        std::int32_t out;
    };
    const Row rows[] = {
        {snapRangeChoice, 6, 6},         {snapRangeChoice, 7, 8},         {snapRangeChoice, 22, 20},
        {snapRangeChoice, 23, 25},       {snapRangeChoice, 89, 80},       {snapRangeChoice, 90, 100},
        {snapSelectionCount, -1, 500},   {snapSelectionCount, 0, 0},      {snapSelectionCount, 17, 10},
        {snapSelectionCount, 18, 25},    {snapSelectionCount, 299, 100},  {snapSelectionCount, 300, 500},
        {snapAirportRange, 7, 5},        {snapAirportRange, 8, 10},       {snapAirportRange, 26, 25},
        {snapAirportRange, 27, 30},      {snapAirportHeight, 2999, 2000}, {snapAirportHeight, 3000, 4000},
        {snapAirportHeight, 26999, 18000}, {snapAirportHeight, 46999, 36000}, {snapAirportHeight, 49000, 48000},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.in);
        EXPECT_EQ(r.snap(r.in), r.out);
    }
}

TEST_F(Startup, VersionUpdateTable)
{
    struct Row {
        const char* name;
        std::string file;
        bool installer;
        std::int32_t range;
        std::int32_t maxPark;
        std::int32_t arHeight;
        bool rescans;
        bool installerGone;
    };
    const std::string legacy = entry("LATERAL_RANGE", "40") + entry("AIRPORT_RANGE", "20") +
                               entry("AUTO_RANGE_ABOVE_HEIGHT", "49000") + entry("AIRPORT_HEIGHT", "18000") +
                               entry("CUSTOM_MAX_PARK", "-1") + entry("MAX_LIVE", "-1");
    const Row rows[] = {
        {"first run", "", true, RANGE.defaultValue(), MAX_PARK_SEL.defaultValue(), AR_ABOVE_HEIGHT.defaultValue(),
         false, false},
        {"from 11.0.2", entry("PROGRAM_VERSION", "11.0.2") + entry("RANGE", "30"), true, 30,
         MAX_PARK_SEL.defaultValue(), AR_ABOVE_HEIGHT.defaultValue(), true, true},
        {"from 10.1.0 with legacy entries", entry("PROGRAM_VERSION", "10.1.0") + legacy, false, 40, 500, 48000, true,
         false},
        {"from a newer version", entry("PROGRAM_VERSION", "12.0.0") + entry("RANGE", "30"), true, 30,
         MAX_PARK_SEL.defaultValue(), AR_ABOVE_HEIGHT.defaultValue(), false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        resetOptionsToDefaults();
        writeParameters(r.file + entry("SCAN_LIVERIES", "false") + entry("SCAN_AIRPORTS", "false"));
        if (r.installer) std::ofstream(installerFileName) << "x";
        setAppServices(&shellAppServices());
        initParameters();
        setAppServices(&app);
        EXPECT_EQ(PROGRAM_VERSION.get(), "11.0.3");
        EXPECT_EQ(RANGE.get(), r.range);
        EXPECT_EQ(MAX_PARK_SEL.get(), r.maxPark);
        EXPECT_EQ(AR_ABOVE_HEIGHT.get(), r.arHeight);
        EXPECT_EQ(SCAN_LIVERIES.get(), r.rescans);
        EXPECT_EQ(SCAN_AIRPORTS.get(), r.rescans);
        if (r.installer) {
            EXPECT_EQ(!fs::exists(installerFileName), r.installerGone);
        }
        const std::string stored = fileText(parametersFile());
        EXPECT_NE(stored.find("value=\"11.0.3\""), std::string::npos);
        if (r.file.find("LATERAL_RANGE") != std::string::npos) {
            EXPECT_EQ(stored.find("LATERAL_RANGE"), std::string::npos) << "legacy entries are removed";
            EXPECT_NE(stored.find("name=\"AIRP_RANGE\" value=\"20\""), std::string::npos);
        }
        fs::remove(installerFileName);
    }
}

TEST_F(Startup, StatusFoldersAndObsoleteFiles)
{
    fs::create_directories(inputFolder);
    std::ofstream(inputFolder / "AIG-regcodes0.xml") << "x";
    std::ofstream(inputFolder / "AIG-regcodes00.xml") << "x";
    createStatusFolders();
    for (const fs::path& f : {outputInfoFolder, outputErrorsFolder, learnedStockFolder, learnedSimaddonFolder,
                              learnedThirdpartyFolder, myOrbxFolder, myThirdpartyFolder, myRegcodesFolder})
        EXPECT_TRUE(fs::is_directory(f)) << f;
    EXPECT_FALSE(fs::exists(inputFolder / "AIG-regcodes0.xml"));
    EXPECT_FALSE(fs::exists(inputFolder / "AIG-regcodes00.xml"));
    createStatusFolders();  // a second time changes nothing
    // A file where a folder must be is an error for the worker.
    fs::remove_all(outputFolder);
    std::ofstream(outputFolder) << "x";
    EXPECT_THROW(createStatusFolders(), fs::filesystem_error);
}

TEST_F(Startup, InstallPathFromTheRegistry)
{
    const std::string v5 =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\r\n\"SetupPath\"=\"D:\\\\P3D v5\\\\\"\r\n";
    const std::string v6 =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\r\n\"SetupPath\"=\"E:\\\\P3D v6\\\\\"\r\n";
    const std::string v6empty =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\r\n\"SetupPath\"=\"\"\r\n";
    struct Row {
        const char* name;
        std::string reg;
        bool folderOption;
        int code;  // 0: no error
        std::string path;
    };
    const Row rows[] = {
        {"none", "", false, 151, ""},
        {"none, with a livery folder set", "", true, 0, ""},
        {"v5", v5, false, 0, "D:\\P3D v5\\"},
        {"v6", v6, false, 0, "E:\\P3D v6\\"},
        {"both", v5 + v6, false, 153, ""},
        {"empty SetupPath", v6empty, false, 151, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        resetOptionsToDefaults();
        auto reg = std::make_unique<platform::MemoryRegistry>();
        const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n" + r.reg;
        platform::parseRegFileBytes(text, *reg);
        platform::setRegistry(std::move(reg));
        if (r.folderOption) lfolder[3]->set("D:\\Liveries");
        int code = 0;
        try {
            detectP3DInstallPath();
        } catch (const qxv::UserErrorException& e) {
            code = std::stoi(e.what());
        }
        EXPECT_EQ(code, r.code);
        EXPECT_EQ(SIM_INSTALL_PATH.get(), r.path);
        EXPECT_EQ(ALL_INSTALL_PATH.get(), r.path);
    }
}

TEST_F(Startup, TheExceptionLadder)
{
    struct Row {
        const char* name;
        std::function<void()> body;
        std::string error;  // the first error shown
        ClosingReason reason;
        std::int32_t delay;
    };
    const Row rows[] = {
        {"user error", [] { throw qxv::UserErrorException(41, "x"); }, "41: x", ClosingReason::SystemError, 0},
        {"format", [] { throw fmt::format_error("bad"); }, "std::format error: bad", ClosingReason::SystemError, 0},
        {"memory", [] { throw std::bad_alloc(); }, "std::bad_alloc", ClosingReason::SystemError, 0},
        {"file system", [] { throw fs::filesystem_error("status", std::make_error_code(std::errc::io_error)); },
         "filesystem error: status: Input/output error", ClosingReason::SystemError, 0},
        {"anything", [] { throw 42; }, "Unknown exception", ClosingReason::SystemError, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        resetRunState();
        const std::size_t before = app.errors().size();
        runWithExceptionLadder(r.body);
        ASSERT_GT(app.errors().size(), before);
        EXPECT_EQ(app.errors()[before], r.error);
        EXPECT_EQ(closingReason(), r.reason);
        EXPECT_EQ(restartDelaySeconds(), r.delay);
        EXPECT_TRUE(closingFlag.load()) << "the other threads stop too";
    }
    // A user error replaces an earlier reason; the others keep it.
    resetRunState();
    requestClosing(ClosingReason::ReaderError, 15);
    runWithExceptionLadder([] { throw qxv::UserErrorException(151, "no path"); });
    EXPECT_EQ(closingReason(), ClosingReason::SystemError);
    resetRunState();
    requestClosing(ClosingReason::ReaderError, 15);
    runWithExceptionLadder([] { throw std::runtime_error("late"); });
    EXPECT_EQ(closingReason(), ClosingReason::ReaderError);
}

TEST_F(Startup, WorkerOutsideTheProgramFolderShowsError41AndWaitsForTheClose)
{
    ui::resetUi();
    windowClosedFlag = true;  // the user closes at once
    workerThread();
    ASSERT_FALSE(app.errors().empty());
    EXPECT_EQ(app.errors()[0], "41: VRMT_P3D must be run from the VRMT_P3D folder!");
    EXPECT_EQ(closingReason(), ClosingReason::SystemError);
    EXPECT_EQ(calls.count("readDbase"), 0u);
}

TEST_F(Startup, TheDatabaseIsReadOncePerProcessAndARestartSkipsNothingElse)
{
    fs::create_directories(docsFolder);
    SIM_INSTALL_PATH.set("D:\\P3D v5");
    writeParameters(entry("SIM_INSTALL_PATH", "D:\\P3D v5") + entry("PROGRAM_VERSION", "11.0.3"));
    startupInit();
    restartPending = true;
    startupInit();
    EXPECT_EQ(calls.count("readDbase"), 1u);
    EXPECT_EQ(calls.count("readAirports"), 2u);
    EXPECT_EQ(PROGRAM_INSTALL_PATH.get(), fs::current_path().string());
    EXPECT_EQ(ALL_INSTALL_PATH.get(), "D:\\P3D v5");
}

// The time-shift controls wait, grey, for the start-up (a restart's reset greys them).
TEST_F(Startup, TheStartUpEnablesTheTimeShiftControls)
{
    fs::create_directories(docsFolder);
    SIM_INSTALL_PATH.set("D:\\P3D v5");
    writeParameters(entry("SIM_INSTALL_PATH", "D:\\P3D v5") + entry("PROGRAM_VERSION", "11.0.3"));
    mainWindow().resetForRestart();
    EXPECT_FALSE(mainWindow().timeShiftControlsEnabled.load());
    startupInit();
    EXPECT_TRUE(mainWindow().timeShiftControlsEnabled.load());
}

TEST_F(Startup, SimulatorTimeState)
{
    TIME_SHIFT_HOURS.set(3);
    fake.simUtcEpoch = 1234;
    SIM_TIME.set(false);
    applySimTimeState();
    EXPECT_EQ(TIME_SHIFT_HOURS.get(), 0);
    EXPECT_EQ(mainCycle().lastSimTimeSeconds, 1234);
    EXPECT_EQ(calls.count("setTimeOffsets 0"), 1u);
    SIM_TIME.set(true);
    applySimTimeState();
    EXPECT_EQ(mainCycle().lastSimTimeSeconds, 0);
}

TEST_F(Startup, TimeShiftSplitsAndCaps)
{
    applyTimeShift(1 * 1440 + 2 * 60 + 3, true);
    EXPECT_EQ(TIME_SHIFT_DAYS.get(), 1);
    EXPECT_EQ(TIME_SHIFT_HOURS.get(), 2);
    EXPECT_EQ(TIME_SHIFT_MINS.get(), 3);
    EXPECT_TRUE(timeShiftActive.load());
    EXPECT_FALSE(mainCycle().timeShiftRemovalRequested.load()) << "quiet";
    applyTimeShift(50000, false);
    EXPECT_EQ(calls.count("setTimeOffsets 40320"), 1u);
    EXPECT_TRUE(mainCycle().timeShiftRemovalRequested.load());
    applyTimeShift(0, true);
    EXPECT_FALSE(timeShiftActive.load());
}

// The user aircraft's height against AIRP_HEIGHT ("Height above gnd:") is its
// height above the ground, as in the park-airport step; AR_ABOVE_HEIGHT is altitude.
TEST_F(Startup, AutoRangeByHeight)
{
    AirportServicesFake airports;
    airports.park.code = "LOWI";
    airports.park.lat = 47.26;
    airports.park.lon = 11.34;
    AR_ABOVE_HEIGHT.set(20000);
    AIRP_HEIGHT.set(3000);
    struct Row {
        const char* name;
        double altitude, aboveGround;
        std::int32_t range;
    };
    const Row rows[] = {
        {"above AR_ABOVE_HEIGHT", 21000, 19000, 100},
        {"high above the ground", 8000, 6000, 40},
        {"high above the sea, low above the ground (near the airport)", 4500, 1500, 10},
        {"low", 2500, 500, 10},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        fake.onGround = false;
        mainCycle().userState = UserAcState{47.27, 11.35, 0, 0, 0, r.altitude, r.aboveGround, 0, 0, 0, 0, 0};
        applyAutoRange();
        EXPECT_EQ(RANGE.get(), r.range);
    }
}

TEST_F(Startup, AutoRangeByDistance)
{
    struct Row {
        double d;
        std::int32_t range;
    };
    for (const Row& r : {Row{7.0, 10}, Row{20.4, 25}, Row{37.0, 40}, Row{3.0, 10}}) {
        SCOPED_TRACE(r.d);
        EXPECT_EQ(autoRangeForDistance(r.d), r.range);
    }
}

}  // namespace
