#include "core/parameters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "core/app_services.h"
#include "core/options.h"
#include "core/startup_globals.h"
#include "support/parameters_fixture.h"

namespace {

using testing::Contains;
using testing::Not;

std::string fileWith(const std::string& entriesXml)
{
    return "<?xml version=\"1.0\"?>\n<parameters>\n" + entriesXml + "</parameters>\n";
}

// The value text of one entry, and what the record reads from it.
struct ReadCase {
    const char* name;
    const char* entry;  // the whole <parameter .../> element
    std::string expected;
};

std::string currentText(Parameter* p)
{
    if (auto* b = dynamic_cast<BoolParameter*>(p)) return b->get() ? "true" : "false";
    if (auto* i = dynamic_cast<IntParameter*>(p)) return std::to_string(i->get());
    return dynamic_cast<StringParameter*>(p)->get();
}

class ParametersTest : public ParametersFixture {};

TEST_F(ParametersTest, ValueTextsAreReadWithTheirClampsAndBoolRules)
{
    const ReadCase cases[] = {
        {"RANGE", R"(<parameter name="RANGE" value="7"/>)", "7"},  // not a choice, but within range
        {"RANGE", R"(<parameter name="RANGE" value="150"/>)", "100"},
        {"RANGE", R"(<parameter name="RANGE" value="1"/>)", "2"},
        {"MAX_FIT", R"(<parameter name="MAX_FIT" value="99"/>)", "47"},
        {"MAX_FIT", R"(<parameter name="MAX_FIT" value="abc"/>)", "0"},
        {"MAX_FIT", R"(<parameter name="MAX_FIT" value="  0x10"/>)", "16"},
        {"MAX_FIT", R"(<parameter name="MAX_FIT"/>)", "0"},
        {"MAIN_WINDOW_X", R"(<parameter name="MAIN_WINDOW_X" value="-120"/>)", "-120"},
        {"LAST_EPOCH_TIME:", R"(<parameter name="LAST_EPOCH_TIME:" value="99999999999"/>)", "2147483647"},
        {"P3D_VERSION", R"(<parameter name="P3D_VERSION" value="4"/>)", "5"},
        {"WEEK", R"(<parameter name="WEEK" value="Yes"/>)", "true"},
        {"WEEK", R"(<parameter name="WEEK" value="y"/>)", "true"},
        {"WEEK", R"(<parameter name="WEEK" value="T"/>)", "true"},
        {"WEEK", R"(<parameter name="WEEK" value="1"/>)", "true"},
        {"LOG", R"(<parameter name="LOG" value="no"/>)", "false"},
        {"LOG", R"(<parameter name="LOG" value="0"/>)", "false"},
        {"LOG", R"(<parameter name="LOG" value=""/>)", "false"},
        {"LOG", R"(<parameter name="LOG"/>)", "false"},
        {"LOG", R"(<parameter name="LOG" value="false"/>)", "false"},
        // Neither yes nor no: the default stays (a log line says so, below).
        {"LIGHT_AIRCRAFT", R"(<parameter name="LIGHT_AIRCRAFT" value="maybe"/>)", "true"},
        {"WEEK", R"(<parameter name="WEEK" value="%"/>)", "false"},
        {"BLOCK_CALLSIGN", R"(<parameter name="BLOCK_CALLSIGN" value="DLH4&amp;&lt;x&gt;"/>)", "DLH4&<x>"},
        {"DESTINATION", R"(<parameter name="DESTINATION"/>)", ""},
        {"SIM_INSTALL_PATH", R"(<parameter name="SIM_INSTALL_PATH" value="D:\Prepar3D v6"/>)", "D:\\Prepar3D v6"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.entry);
        resetOptionsToDefaults();
        writeFile(fileWith(c.entry));
        loadStored();
        EXPECT_EQ(currentText(findOptionRecord(c.name)), c.expected);
        // The stored text stays until the option is saved again.
        EXPECT_EQ(entries().front().first, c.name);
    }
}

// What the start-up log says of an entry; a secret never appears in it.
TEST_F(ParametersTest, LogLinesOfTheEntriesRead)
{
    struct Row {
        const char* entry;
        std::string line;       // a line of Log.txt
        std::string forbidden;  // no line of Log.txt contains it ("" for none)
    };
    const Row rows[] = {
        {R"(<parameter name="RT_LICENSE" value="k3y-Secr3t"/>)", "RT_LICENSE is set", "k3y-Secr3t"},
        {R"(<parameter name="RT_LICENSE" value=""/>)", "RT_LICENSE is not set", "RT_LICENSE=\""},
        {R"(<parameter name="DESTINATION" value="EDDF"/>)", "DESTINATION=\"EDDF\"", ""},
        {R"(<parameter name="LIGHT_AIRCRAFT" value="maybe"/>)",
         "===> LIGHT_AIRCRAFT has the value 'maybe', which is neither true nor false: true taken", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.entry);
        TearDown();  // each row on a fresh folder and log
        SetUp();
        writeFile(fileWith(row.entry));
        loadStored();
        const auto lines = logLines();
        EXPECT_THAT(lines, Contains(row.line));
        if (!row.forbidden.empty()) {
            for (const std::string& line : lines) EXPECT_EQ(line.find(row.forbidden), std::string::npos) << line;
        }
    }
}

// A service key saved from the window is not logged either.
TEST_F(ParametersTest, SavingTheKeyDoesNotLogIt)
{
    loadStored();
    setStringParameter(&RT_LICENSE, "k3y-Secr3t");
    EXPECT_EQ(valueOf("RT_LICENSE"), "k3y-Secr3t");
    for (const std::string& line : logLines()) EXPECT_EQ(line.find("k3y-Secr3t"), std::string::npos) << line;
    EXPECT_THAT(logLines(), Contains("RT_LICENSE is set"));
}

TEST_F(ParametersTest, MissingFileIsBuiltWithEveryStoredOptionInListOrder)
{
    WEEK.set(true);  // the defaults are taken, whatever was current
    lfolder[2]->set("C:\\liveries");
    loadStored();

    std::vector<std::string> expected;
    const ParameterLists& l = storedParameterLists();
    for (auto* p : l.checkboxes) expected.push_back(p->name());
    for (auto* p : l.ints) expected.push_back(p->name());
    for (auto* p : l.controlInts) expected.push_back(p->name());
    for (auto* p : l.strings)
        if (!isFolderParameter(p->name())) expected.push_back(p->name());
    for (auto* p : l.controlStrings) expected.push_back(p->name());

    std::vector<std::string> names;
    for (const auto& [n, v] : entries()) names.push_back(n);
    EXPECT_EQ(names, expected);
    EXPECT_EQ(valueOf("SIM_TIME"), "false");
    EXPECT_EQ(valueOf("MAIN_WINDOW_X"), "400");
    EXPECT_EQ(valueOf("PROGRAM_VERSION"), "");
    EXPECT_FALSE(WEEK.get());
    EXPECT_EQ(lfolder[2]->get(), "");
    EXPECT_THAT(logLines(), Contains(file().string() + " not found, default values taken:"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "parameters.xml.bak"));
}

TEST_F(ParametersTest, UnloadableFileIsKeptAsBakAndRebuilt)
{
    // Far bigger than an options file: kept aside, not loaded and rewritten at every save.
    const std::string huge = fileWith(R"(<parameter name="RANGE" value="8"/>)" + std::string(1100000, ' '));
    struct Row {
        std::string broken;
        std::string problem;  // what the first line says of the file
    };
    const Row rows[] = {
        {"<parameters><parameter name=\"RANGE\" value=\"8\"", "could not be read ("},
        {"<foo/>", "holds no <parameters> element"},
        {huge, "is too big ("},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.problem);
        TearDown();  // each row on a fresh folder and log
        SetUp();
        writeFile(row.broken);
        loadStored();
        EXPECT_EQ(readFile(dir_ / "parameters.xml.bak"), row.broken);
        EXPECT_EQ(valueOf("RANGE"), "40");
        EXPECT_EQ(RANGE.get(), 40);
        EXPECT_EQ(entries().size(), 58u);
        const auto lines = logLines();
        const std::string first = file().string() + " " + row.problem;
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(first, 0) == 0; }))
            << first;
        EXPECT_THAT(lines, Not(Contains(file().string() + " not found, default values taken:")));
    }
}

// When no copy of an unreadable file can be kept, the file is not replaced:
// neither the start-up load nor a single save may destroy the user's only copy.
TEST_F(ParametersTest, UnreadableFileThatCannotBeKeptIsLeftAlone)
{
    const std::string broken = "<parameters><parameter name=\"RANGE\" value=\"8\"";
    writeFile(broken);
    std::filesystem::create_directory(dir_ / "parameters.xml.bak");  // no copy can go there

    loadStored();
    EXPECT_EQ(readFile(file()), broken);
    EXPECT_EQ(RANGE.get(), 40);  // the defaults are in force all the same
    EXPECT_THAT(logLines(), Contains("could not save to '" + file().string() + "'"));

    MAX_FIT.set(12);
    saveIntParameter(&MAX_FIT);
    EXPECT_EQ(readFile(file()), broken);
    EXPECT_THAT(logLines(), Contains("Saving '" + file().string() + "' failed"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "parameters.xml.tmp"));
}

TEST_F(ParametersTest, MissingEntryIsAppendedAndSaved)
{
    writeFile(fileWith(R"(<parameter name="RANGE" value="8"/>)"));
    loadStored();
    const auto e = entries();
    ASSERT_EQ(e.size(), 58u);
    EXPECT_EQ(e.front(), (std::pair<std::string, std::optional<std::string>>("RANGE", "8")));
    EXPECT_EQ(RANGE.get(), 8);
    EXPECT_EQ(valueOf("HOLDING_THRESHOLD_METERS"), "250");
    EXPECT_THAT(logLines(), Contains("from '" + file().string() + "'"));
    EXPECT_THAT(logLines(), Contains("RANGE=8"));
}

TEST_F(ParametersTest, EmptyFolderEntryLeavesTheFile)
{
    writeFile(fileWith(R"(<parameter name="lfolder3" value=""/><parameter name="lfolder4" value="C:\AI"/>)"));
    loadStored();
    EXPECT_EQ(valueOf("lfolder3"), std::nullopt);
    EXPECT_EQ(valueOf("lfolder4"), "C:\\AI");
    EXPECT_EQ(lfolder[4]->get(), "C:\\AI");
    EXPECT_THAT(logLines(), Contains("Parameter 'lfolder3' removed"));
    EXPECT_THAT(logLines(), Contains("lfolder4=\"C:\\AI\""));
    EXPECT_THAT(logLines(), Not(Contains("lfolder5=\"\"")));
}

TEST_F(ParametersTest, SaveAfterTheFileWasDeletedWritesOnlyThatEntry)
{
    loadStored();
    std::filesystem::remove(file());
    MAX_FIT.set(12);
    saveIntParameter(&MAX_FIT);
    EXPECT_EQ(entries(), (std::vector<std::pair<std::string, std::optional<std::string>>>{{"MAX_FIT", "12"}}));
    EXPECT_THAT(logLines(), Contains("MAX_FIT=12"));
}

TEST_F(ParametersTest, SaveAppendsAMissingValueAttribute)
{
    writeFile(fileWith(R"(<parameter name="DESTINATION"/><parameter name="WEEK"/>)"));
    setStringParameter(&DESTINATION, "EDDF");
    WEEK.set(true);
    saveBoolParameter(&WEEK);
    EXPECT_EQ(valueOf("DESTINATION"), "EDDF");
    EXPECT_EQ(valueOf("WEEK"), "true");
    EXPECT_THAT(logLines(), Contains("DESTINATION=\"EDDF\""));
    EXPECT_THAT(logLines(), Contains("WEEK=true"));
}

TEST_F(ParametersTest, EveryStoredOptionRoundTrips)
{
    loadStored();
    const ParameterLists& l = storedParameterLists();
    int n = 0;
    for (auto* b : l.checkboxes) {
        b->set(!b->defaultValue());
        saveBoolParameter(b);
    }
    for (const auto* list : {&l.ints, &l.controlInts})
        for (auto* i : *list) {
            i->set(i->max() - (++n % 2));
            saveIntParameter(i);
        }
    for (const auto* list : {&l.strings, &l.controlStrings})
        for (auto* s : *list) setStringParameter(s, s->name() + " \"text\" <&>");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "parameters.xml.tmp"));

    resetOptionsToDefaults();
    loadStored();
    n = 0;
    for (auto* b : l.checkboxes) EXPECT_EQ(b->get(), !b->defaultValue()) << b->name();
    for (const auto* list : {&l.ints, &l.controlInts})
        for (auto* i : *list) EXPECT_EQ(i->get(), i->max() - (++n % 2)) << i->name();
    for (const auto* list : {&l.strings, &l.controlStrings})
        for (auto* s : *list) EXPECT_EQ(s->get(), s->name() + " \"text\" <&>");
}

TEST_F(ParametersTest, RemoveParameterDropsTheEntry)
{
    loadStored();
    removeParameter(&MAX_LIVE);
    removeParameter(&MAX_LIVE);  // gone: silently nothing
    EXPECT_EQ(valueOf("MAX_LIVE"), std::nullopt);
    EXPECT_EQ(entries().size(), 57u);
    const auto lines = logLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Parameter 'MAX_LIVE' removed"), 1);
}

TEST_F(ParametersTest, InitParametersLoadsRunsTheVersionUpdateAndSetsTheRange)
{
    writeFile(fileWith(R"(<parameter name="RANGE" value="65"/>)"));
    EXPECT_EQ(rangeMetres.load(), 74080);
    initParameters();
    EXPECT_EQ(RANGE.get(), 65);
    EXPECT_EQ(rangeNm.load(), 65.0);
    EXPECT_EQ(rangeMetres.load(), 65 * 1852 + 10000);
}

TEST_F(ParametersTest, WindowPositionIsReadFromItsOwnCopy)
{
    writeFile(fileWith(R"(<parameter name="MAIN_WINDOW_X" value="-40000"/>)"));
    pugi::xml_document doc;
    ASSERT_TRUE(loadParametersDocument(doc));
    EXPECT_TRUE(readIntParameter(&MAIN_WINDOW_X, doc, false));
    EXPECT_FALSE(readIntParameter(&MAIN_WINDOW_Y, doc, false));
    EXPECT_EQ(MAIN_WINDOW_X.get(), -30000);
    EXPECT_EQ(MAIN_WINDOW_Y.get(), 20);
}

// ---------------------------------------------------------------------------
// The meta header of generated files.

class MetaInfoTest : public ParametersFixture {};

TEST_F(MetaInfoTest, HeaderNamesTheSimulatorOfTheWriter)
{
    const std::pair<const char*, const char*> cases[][2] = {
        {{"P3D", "P3D"}, {"P3D", "v5/v6"}},
        {{"MSFS", "MSFS"}, {"MSFS", "2020"}},
        {{"X", "X"}, {"MSFS", "2024"}},
    };
    for (const auto& c : cases) {
        generatedFileSimulator.set(c[0].first);
        pugi::xml_document doc;
        ASSERT_TRUE(writeMetaInfo(doc));
        std::vector<std::string> names;
        for (pugi::xml_node info : doc.child("meta").children("info")) names.push_back(info.attribute("name").value());
        EXPECT_THAT(names, testing::ElementsAre("author", "version", "date", "copyright", c[1].first));
        EXPECT_STREQ(doc.child("meta").find_child_by_attribute("info", "name", c[1].first).attribute("value").value(),
                     c[1].second);
        EXPECT_STREQ(doc.child("meta").find_child_by_attribute("info", "name", "version").attribute("value").value(),
                     "11.0.3");
    }
}

TEST_F(MetaInfoTest, NoHeaderUnderANullNode)
{
    EXPECT_FALSE(writeMetaInfo(pugi::xml_node()));
}

TEST_F(MetaInfoTest, FragmentDocumentIsReadBack)
{
    generatedFileSimulator.set("P3D");
    pugi::xml_document out;
    ASSERT_TRUE(writeMetaInfo(out));
    out.append_child("parkpositions").append_child("parkpos").append_attribute("name") = "A1";
    const std::filesystem::path path = dir_ / "EDDF.xml";
    ASSERT_TRUE(out.save_file(path.c_str()));

    pugi::xml_document in;
    ASSERT_TRUE(in.load_file(path.c_str()));
    EXPECT_TRUE(readMetaInfo(in, &metaAuthor));
    EXPECT_EQ(metaAuthor.get(), "VRMT_P3D");
    EXPECT_TRUE(readMetaInfo(in, &metaVersion));
    EXPECT_EQ(metaVersion.get(), "11.0.3");
    EXPECT_TRUE(readMetaInfo(in, &metaDate));
    EXPECT_FALSE(metaDate.get().empty());
    metaMSFS.set("stale");
    EXPECT_FALSE(readMetaInfo(in, &metaMSFS));
    EXPECT_EQ(metaMSFS.get(), "");
}

TEST_F(MetaInfoTest, MissingEntriesAndBadNamesGiveFalse)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(R"(<meta><info name="author" value="VRMT_P3D"/><info name="date"/></meta>
                                   <parkpositions/>)"));
    EXPECT_TRUE(readMetaInfo(doc, &metaAuthor));
    EXPECT_TRUE(readMetaInfo(doc, &metaDate));  // present without a value
    EXPECT_EQ(metaDate.get(), "");
    EXPECT_FALSE(readMetaInfo(doc, &metaVersion));

    StringParameter quoted("it's", "x");
    quoted.set("x");
    EXPECT_FALSE(readMetaInfo(doc, &quoted));
    EXPECT_EQ(quoted.get(), "");
    EXPECT_GE(logLines().size(), 2u);  // banner and the XPath error
}

TEST(SetBoolAttributeTest, SetsOnlyExistingAttributes)
{
    pugi::xml_document doc;
    pugi::xml_node node = doc.append_child("parkpos");
    node.append_attribute("cargo") = "false";
    EXPECT_TRUE(setBoolAttribute(node, "cargo", true));
    EXPECT_STREQ(node.attribute("cargo").value(), "true");
    EXPECT_FALSE(setBoolAttribute(node, "ramp", true));
    EXPECT_FALSE(node.attribute("ramp"));
}

}  // namespace
