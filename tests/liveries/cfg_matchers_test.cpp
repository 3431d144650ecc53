#include "liveries/cfg_matchers.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <regex>
#include <string>

namespace {

TEST(CfgMatchers, KeyLines)
{
    struct Row {
        const char* name;
        std::string line;
        const char* key;
        std::optional<std::string> value;  // nothing: no line of the key
    };
    const Row rows[] = {
        {"plain", "title=TEST B738", "title", "TEST B738"},
        {"blanks around", "  title \t= \tTEST B738  ", "title", "TEST B738"},
        {"key in any case", "TiTlE=x", "title", "x"},
        {"value keeps its case and inner blanks", "title=a  B\tc", "title", "a  B\tc"},
        {"trailing CR of a UTF-16 line", "texture=AAA\r", "texture", "AAA"},
        {"empty value", "model=", "model", std::nullopt},
        {"blank value", "model=  \t", "model", std::nullopt},
        {"no equals sign", "title TEST", "title", std::nullopt},
        {"longer key", "title2=x", "title", std::nullopt},
        {"key inside another", "atc_model=B738", "model", std::nullopt},
        {"prefix before the key", "xtitle=x", "title", std::nullopt},
        {"comment", "//title=x", "title", std::nullopt},
        {"CR inside the value", "title=a\rb", "title", std::nullopt},
        {"second equals sign is value", "atc_id==G-ABCD", "atc_id", "=G-ABCD"},
        {"vertical tab and form feed are white space", "\vsim\f=\fB738\v", "sim", "B738"},
        {"quotes are kept by the raw matcher", "model=\"\"", "model", "\"\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto got = lf_matchKeyLine(row.line, row.key);
        ASSERT_EQ(got.has_value(), row.value.has_value());
        if (got) {
            EXPECT_EQ(std::string(*got), *row.value);
        }
    }
}

TEST(CfgMatchers, KeyReadersTakeAQuotedValueWithoutItsQuotes)
{
    struct Row {
        const char* line;
        bool (*reader)(std::string_view, std::string&);
        bool found;
        const char* value;
    };
    const Row rows[] = {
        {"model=\"\"", lf_readModelKey, true, ""},
        {"title=\"TEST B738\"", lf_readTitleKey, true, "TEST B738"},
        {"title=\"a", lf_readTitleKey, true, "\"a"},
        {"title=\"", lf_readTitleKey, true, "\""},
        {"atc_parking_codes=AAA", lf_readAtcParkingCodesKey, true, "AAA"},
        {"atc_parking_types=GATE", lf_readAtcParkingTypesKey, true, "GATE"},
        {"atc_id=G-ABCD", lf_readAtcIdKey, true, "G-ABCD"},
        {"sim=B738", lf_readSimKey, true, "B738"},
        {"texture=AAA", lf_readTextureKey, true, "AAA"},
        {"atc_model=B738", lf_readAtcModelKey, true, "B738"},
        {"atc_model=", lf_readAtcModelKey, false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        std::string value = "unchanged";
        EXPECT_EQ(row.reader(row.line, value), row.found);
        if (row.found) {
            EXPECT_EQ(value, row.value);
        }
    }
}

TEST(CfgMatchers, Headers)
{
    struct Row {
        std::string line;
        const char* number;
    };
    const Row rows[] = {
        {"[fltsim.0]", "0"},
        {"  [FltSim.12]  \r", "12"},
        {"[fltsim.007]", "007"},
        {"[fltsim.99999999999]", "99999999999"},
        {"[fltsim.-1]", "10000"},
        {"[fltsim.1] //x", "10000"},
        {"[fltsim.]", "10000"},
        {"x [FLTSIM.3]", "10000"},
        {"[Fltsim.3] x", ""},  // neither the whole-line form nor one of the two spellings
        {"//[fltsim.2]", ""},
        {"  //[fltsim.2]", "10000"},
        {"[General]", ""},
        {"", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(lf_readFltsimHeader(row.line), row.number);
    }
}

TEST(CfgMatchers, IvaoPathsAndTitles)
{
    struct PathRow {
        const char* path;
        std::optional<std::string> code;
    };
    const PathRow paths[] = {
        {"C:\\AI\\IVAO_MTL\\IVAO_B738w\\aircraft.cfg", "B738w"},
        {"/data/AI/IVAO_MTL/IVAO_GLID_SH/aircraft.cfg", "GLID_SH"},
        {"/data/ivao_mtl/ivao_T154B2/AIRCRAFT.CFG", "T154B2"},
        {"/data/IVAO_MTL/IVAO_B738/aircraftxcfg", "B738"},
        {"/data/IVAO_MTL/IVAO_/aircraft.cfg", std::nullopt},
        {"/data/IVAO_MTL/IVAO_B7-8/aircraft.cfg", std::nullopt},
        {"/IVAO_MTL/IVAO_B738/aircraft.cfg", std::nullopt},
        {"/data/IVAO_MTL/x/IVAO_B738/aircraft.cfg", std::nullopt},
        {"/data/IVAO_MTL/IVAO_B738/sim.cfg", std::nullopt},
    };
    for (const PathRow& row : paths) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(lf_matchIvaoPath(row.path), row.code);
    }
    EXPECT_EQ(lf_titleAirlineCode("AAA Boeing 737"), "AAA");
    EXPECT_EQ(lf_titleAirlineCode(" \tK_9x"), "K_9");
    EXPECT_EQ(lf_titleAirlineCode("A-B Boeing"), std::nullopt);
    EXPECT_EQ(lf_titleAirlineCode("AB"), std::nullopt);
}

// A template with up to three random edits (insert, delete, replace) from an
// alphabet that holds every character the patterns care about: lines that match
// and lines that just miss.
std::string mutated(std::mt19937& rng, std::string line, std::string_view alphabet)
{
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    const int edits = static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
        const std::size_t at = line.empty() ? 0 : rng() % (line.size() + 1);
        switch (rng() % 3) {
        case 0:
            line.insert(line.begin() + static_cast<std::ptrdiff_t>(at), alphabet[pick(rng)]);
            break;
        case 1:
            if (at < line.size()) line.erase(at, 1);
            break;
        default:
            if (at < line.size()) line[at] = alphabet[pick(rng)];
            break;
        }
    }
    return line;
}

TEST(CfgMatchers, AgreeWithTheRegularExpressions)
{
    std::mt19937 rng(20240611);
    const std::string alphabet = std::string(" \t\r\n\v\f=\"[].\\_-aAeEiItTlLmM019xX") + '\0' + "\xE9";
    const std::regex keyRegex(R"(\s*(title)\s*=\s*(.*\S)\s*)", std::regex::icase);
    const std::regex headerRegex(R"(\s*(\[fltsim\.)(\d+)\]\s*)", std::regex::icase);
    const std::regex titleRegex(R"(\s*(\w\w\w).*$)", std::regex::icase);
    const std::regex ivaoRegex(R"(.+\\IVAO_MTL\\IVAO_(\w+)\\aircraft.cfg$)", std::regex::icase);
    const char* keyLines[] = {"title=TEST x", "  TITLE = a b  ", "title=\t\"q\"\r", "Title==", "title= x\ny"};
    const char* headerLines[] = {"[fltsim.1]", " [FLTSIM.12] \r", "[FltSim.]", "//[fltsim.3]", "x[fltsim.0]"};
    const char* titleLines[] = {"AAA Boeing", "  K_9 x", "A-B x", "\tab\r"};
    const char* ivaoPaths[] = {"C:\\AI\\IVAO_MTL\\IVAO_B738w\\aircraft.cfg", "x\\ivao_mtl\\ivao_GLID_SH\\AIRCRAFT_CFG",
                               "\\IVAO_MTL\\IVAO_T154\\aircraft.cfg"};
    int keyMatches = 0, headerMatches = 0, ivaoMatches = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string line = mutated(rng, keyLines[i % 5], alphabet);
        std::smatch m;
        const bool matched = std::regex_match(line, m, keyRegex);
        const auto got = lf_matchKeyLine(line, "title");
        ASSERT_EQ(got.has_value(), matched) << testing::PrintToString(line);
        keyMatches += matched;
        if (matched) {
            ASSERT_EQ(std::string(*got), m[2].str()) << testing::PrintToString(line);
        }

        const std::string header = mutated(rng, headerLines[i % 5], alphabet);
        std::string expected;
        if (std::regex_match(header, m, headerRegex)) {
            expected = m[2].str();
            ++headerMatches;
        } else if (!header.starts_with("//") && (header.find("[fltsim.") != std::string::npos ||
                                                 header.find("[FLTSIM.") != std::string::npos)) {
            expected = "10000";
        }
        ASSERT_EQ(lf_readFltsimHeader(header), expected) << testing::PrintToString(header);

        const std::string title = mutated(rng, titleLines[i % 4], alphabet);
        const bool titleMatched = std::regex_match(title, m, titleRegex);
        const auto code = lf_titleAirlineCode(title);
        ASSERT_EQ(code.has_value(), titleMatched) << testing::PrintToString(title);
        if (titleMatched) {
            ASSERT_EQ(std::string(*code), m[1].str());
        }

        const std::string path = mutated(rng, ivaoPaths[i % 3], alphabet);
        const bool pathMatched = std::regex_match(path, m, ivaoRegex);
        const auto ivao = lf_matchIvaoPath(path);
        ASSERT_EQ(ivao.has_value(), pathMatched) << testing::PrintToString(path);
        ivaoMatches += pathMatched;
        if (pathMatched) {
            ASSERT_EQ(*ivao, m[1].str());
        }
    }
    // The seeds make every pattern match often enough to compare values.
    EXPECT_GT(keyMatches, 200);
    EXPECT_GT(headerMatches, 200);
    EXPECT_GT(ivaoMatches, 50);
}

TEST(CfgMatchers, AMebibyteLineIsReadWithoutRecursion)
{
    std::string line = "title=" + std::string(1 << 20, 'x') + "  ";
    const auto value = lf_matchKeyLine(line, "title");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->size(), std::size_t{1} << 20);
    line = "[fltsim." + std::string(1 << 20, '7') + "]";
    EXPECT_EQ(lf_readFltsimHeader(line).size(), std::size_t{1} << 20);
}

}  // namespace
