#pragma once
// Merging the registration codes into RegcodeTable (livery_index.h) once the
// livery index exists, from three sources in this order, a later one replacing
// a clashing regcode of an earlier one:
//   1 the atc_id the scanned liveries declare themselves (clashes are only
//     reported, in output/errors/InlineRegcodes.txt: the first livery keeps it);
//   2 input/AIG-regcodes.enc (decrypted for the time it is read);
//   3 the user's files in input/my_regcodes.
// Only installed titles become targets; special entries go to SpecialTitles.
// The report of sources 2 and 3 is output/info/OfflineRegcodes.txt.
//
// Worker thread, during the processing of the scanned liveries (livery_init.h).

#include <vector>

#include "liveries/regcodes.h"

// Source 1, from ScannedLiveries. Throws the file system's error when the errors
// folder cannot be made.
void lf_checkInlineRegcodes();
// Sources 2 and 3 and the report. A missing or corrupt AIG file skips only that
// source. Catches every standard exception ("exception: {}", marked).
void lf_processOfflineRegcodes();
void lf_processAigRegcodeFile();
void lf_processMyRegcodeFiles();
// Merges the entries in order and adds their summary line to RegcodeReportLines.
void lf_mergeRegcodes(std::vector<RegcodeEntry> entries);
