#pragma once
// The line tests of the aircraft.cfg scanner, written by hand: they run for every
// line of every aircraft.cfg of a library (millions of calls), so they allocate
// nothing, take linear time and never recurse, whatever the line.
//
// A key line is a whole line of the form
//     [white space] KEY [white space] '=' [white space] VALUE [white space]
// with KEY compared ignoring ASCII case, white space being blank, tab, line feed,
// vertical tab, form feed and carriage return, and VALUE what is left between:
// never empty, never ending in white space, holding no CR or LF. A section header
// is "[fltsim.N]" (ignoring case) with white space around and N a run of ASCII
// digits; any other line that holds "[fltsim." or "[FLTSIM." and does not begin
// with "//" is a header of section 10000.

#include <optional>
#include <string>
#include <string_view>

// The raw VALUE of the key line, or nothing when the line is no line of that key.
// The view points into `line`.
std::optional<std::string_view> lf_matchKeyLine(std::string_view line, std::string_view key);

// The key readers: true when the line holds the key; `value` then gets its value,
// without the double quotes when the whole value stands in them (the simulator
// reads `model=""` as the empty model folder and a quoted title without quotes).
bool lf_readTitleKey(std::string_view line, std::string& value);
bool lf_readAtcParkingCodesKey(std::string_view line, std::string& value);
bool lf_readAtcParkingTypesKey(std::string_view line, std::string& value);
bool lf_readAtcIdKey(std::string_view line, std::string& value);
bool lf_readModelKey(std::string_view line, std::string& value);
bool lf_readSimKey(std::string_view line, std::string& value);
bool lf_readTextureKey(std::string_view line, std::string& value);
bool lf_readAtcModelKey(std::string_view line, std::string& value);

// N of a "[fltsim.N]" header line as written (a run of digits), "10000" for the
// other header lines, empty for a line that is no header.
std::string lf_readFltsimHeader(std::string_view line);

// The first three characters of the title are word characters (ASCII letters,
// digits, '_') after leading white space: they are the airline code of an IVAO
// livery. Nothing otherwise.
std::optional<std::string_view> lf_titleAirlineCode(std::string_view title);

// The raw <code> of a path "<something>\IVAO_MTL\IVAO_<code>\aircraft.cfg"
// (either separator, ignoring case; <code> of word characters; the character
// before "cfg" may be any but a line break). Nothing for another path.
std::optional<std::string> lf_matchIvaoPath(std::string_view pathText);
