// The demo's data files as the build encrypted them: the program reads them.
#include <gtest/gtest.h>

#include <filesystem>

#include "liveries/dbase.h"
#include "liveries/regcodes.h"
#include "support/dbase_fixture.h"

namespace {

const std::filesystem::path demoData = VRMT_DEMO_DATA_DIR;

TEST(DemoData, TheDatabaseReads)
{
    WorkingFolder dir;
    std::filesystem::copy_file(demoData / "dbase.enc", dir / "input/dbase.enc");
    ASSERT_TRUE(gf_readDbase());
    // The stand-in scene's types and airlines, and its registrations.
    for (const char* type : {"A320", "B738", "E190", "A332", "B77W", "A21N"}) {
        SCOPED_TRACE(type);
        EXPECT_TRUE(dbaseIsKnownType(type));
        EXPECT_TRUE(Wingspans.count(type));
    }
    for (const char* airline : {"KLM", "DLH", "BAW", "AFR", "EZY", "TRA", "ZZZ"}) EXPECT_TRUE(gf_isIcaoAirline(airline));
    // And those of the livery generator.
    for (const char* type : {"B738", "A321", "CRJ9", "DH8D", "AT76", "B744", "B763", "C172", "C208", "PC12", "C56X",
                             "GLF5", "EC35", "F16", "T154"})
        EXPECT_TRUE(dbaseIsKnownType(type)) << type;
    for (const char* airline : {"SWA", "ACA", "QFA", "SIA", "UAE", "THY", "LOT", "CSA", "ELY", "JAL", "ANA", "CPA",
                                "KAL", "EVA", "FDX", "UPS", "CGX", "GTI", "CLX", "BOX"})
        EXPECT_TRUE(gf_isIcaoAirline(airline)) << airline;
    EXPECT_EQ(gf_dbaseAirline("PHAAV"), "KLM");
    EXPECT_EQ(dbaseTypeCategory("B77W"), AcCategory::Heavy);
    // Every category has spans of its own, and every known type a span.
    for (std::size_t c = 0; c < acCategoryCount; ++c) EXPECT_GT(CategoryHalfWingspans[c], 0.0) << c;
    EXPECT_EQ(Wingspans.size(), KnownTypes.size());
    for (const auto& line : dir.logLines()) EXPECT_EQ(line.find("===> "), std::string::npos) << line;
    resetDbaseTables();
}

TEST(DemoData, TheRegcodesRead)
{
    WorkingFolder dir;
    std::filesystem::copy_file(demoData / "AIG-regcodes.enc", dir / "input/AIG-regcodes.enc");
    lf_readDontUseTitles();
    EXPECT_EQ(DontUseTitles, std::vector<std::string>{"VRMT Demo BAW A319 Old Colours"});
    EXPECT_TRUE(RegcodeReportLines.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "input/AIG-regcodes.xml"));
    DontUseTitles.clear();
}

}  // namespace
