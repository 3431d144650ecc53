#include "liveries/regcode_merge.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/paths.h"
#include "support/livery_world.h"

namespace {

using testing::Contains;
using testing::IsEmpty;

class RegcodeMerge : public testing::Test {
protected:
    void SetUp() override { readWorldDbase(); }
    void TearDown() override { resetLiveryWorld(); }
    WorkingFolder dir;
};

TEST_F(RegcodeMerge, SourcesInOrder)
{
    const std::string aig = R"(<AIG-regcodes>
  <livery title="B" reg="G-ONE,G-NEW"/>
</AIG-regcodes>)";
    struct Row {
        const char* name;
        std::list<Livery> scanned;           // with their atc_id
        std::optional<std::string> aigFile;  // the encrypted file's plain text; "" = not encrypted at all
        std::optional<std::string> myFile;   // input/my_regcodes/mine.txt
        std::map<std::string, std::string> table;
        std::vector<std::string> inlineReport;  // empty: no file
        std::vector<std::string> offlineReport;
        std::vector<std::string> special;
        std::vector<std::string> logged;
    };
    const auto a = livery("AAA", "B738", "A", false, "G-ONE");
    const Row rows[] = {
        {"in-line: a clash keeps the first livery",
         {a, livery("BBB", "A320", "D", false, "G-ONE"), livery("AAA", "B738", "B", false, "G-TWO")},
         std::nullopt,
         std::nullopt,
         {{"G-ONE", "A"}, {"G-TWO", "B"}},
         {"G-ONE 'D' => already in use by 'A'"},
         {},
         {},
         {"1 in-line regcode clashes, see 'output/errors/InlineRegcodes.txt'"}},
        {"in-line, then the AIG file, then my_regcodes",
         {a},
         aig,
         "C;G-ONE\n",
         {{"G-ONE", "C"}, {"G-NEW", "B"}},
         {},
         {"Processing file input/AIG-regcodes.xml", "   regcode G-ONE for 'B', instead of the same for 'A'",
          "1 new regcode added, 1 regcode replaced", "Processing files in input/my_regcodes",
          "   regcode G-ONE for 'C', instead of the same for 'B'",
          "0 new regcodes added, 1 regcode replaced, 1 regcode defined as special"},
         {"C"},
         {"Offline regcode files processed, results can be found in 'output/info/OfflineRegcodes.txt'",
          "1 special liveries"}},
        {"titles not installed change nothing, special or not",
         {a},
         std::nullopt,
         "Ghost;G-ONE\nGhost;ABC,DEF;#\n",
         {{"G-ONE", "A"}},
         {},
         {"Processing files in input/my_regcodes", "0 new regcodes added"},
         {},
         {}},
        {"no AIG file: my_regcodes still counts",
         {},
         std::nullopt,
         "B;G-TWO,G-THR\nC;G-FOUR,G-FIVE;#\n",
         {{"G-TWO", "B"}, {"G-THR", "B"}, {"G-FOUR", "C"}, {"G-FIVE", "C"}},
         {},
         {"Processing files in input/my_regcodes", "4 new regcodes added, 1 regcode defined as special"},
         {"C"},
         {}},
        {"a corrupt AIG file: my_regcodes still counts",
         {},
         "",
         "B;G-TWO,G-THR\n",
         {{"G-TWO", "B"}, {"G-THR", "B"}},
         {},
         {"Processing files in input/my_regcodes", "2 new regcodes added"},
         {},
         {}},
        {"errors in my_regcodes are shown",
         {},
         std::nullopt,
         "B;G\nC;G-SIX\n",
         {{"G-SIX", "C"}},
         {},
         {"Processing files in input/my_regcodes", "1 new regcode added, 1 regcode defined as special"},
         {"C"},
         {"There were errors processing the regcode files in folder 'input/my_regcodes', see Log.txt"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const char* p : {"input/AIG-regcodes.enc", "input/my_regcodes", "output/errors", "output/info"})
            std::filesystem::remove_all(dir / p);
        if (row.aigFile)
            writeWholeFile(dir / "input/AIG-regcodes.enc",
                           row.aigFile->empty() ? std::string(100, 'x') : gf_encryptText(DataDecryptionKey, *row.aigFile));
        if (row.myFile) {
            std::filesystem::create_directories(dir / "input/my_regcodes");
            writeWholeFile(dir / "input/my_regcodes/mine.txt", *row.myFile);
        }
        lf_indexLiveries({livery("AAA", "B738", "A"), livery("AAA", "B738", "B"), livery("AAA", "B738", "C"),
                          livery("BBB", "A320", "D")});
        ScannedLiveries = row.scanned;
        const std::size_t from = dir.logLines().size();

        lf_checkInlineRegcodes();
        lf_processOfflineRegcodes();

        std::map<std::string, std::string> table;
        for (const auto& [regcode, title] : RegcodeTable) table[regcode] = std::string(title);
        EXPECT_EQ(table, row.table);
        for (const auto& [regcode, title] : RegcodeTable)
            EXPECT_EQ(title.data(), lf_findScannedTitle(title).data());  // views into the index
        if (row.inlineReport.empty())
            EXPECT_FALSE(std::filesystem::exists(dir / inlineRegcodesPath));
        else
            EXPECT_EQ(fileLines(dir / inlineRegcodesPath), row.inlineReport);
        if (row.offlineReport.empty())
            EXPECT_FALSE(std::filesystem::exists(dir / offlineRegcodesPath));
        else
            EXPECT_EQ(fileLines(dir / offlineRegcodesPath), row.offlineReport);
        EXPECT_EQ(std::vector<std::string>(SpecialTitles.begin(), SpecialTitles.end()), row.special);
        EXPECT_EQ(SpecialTitleSet.size(), row.special.size());
        std::vector<std::string> lines = dir.logLines();
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(from));
        for (const std::string& l : row.logged) EXPECT_THAT(lines, Contains(l));
        EXPECT_FALSE(std::filesystem::exists(dir / "input/AIG-regcodes.xml"));
        gf_clearLiveryIndexes();
        ScannedLiveries.clear();
    }
}

}  // namespace
