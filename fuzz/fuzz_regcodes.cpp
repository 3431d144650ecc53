// The regcode sources are downloaded or written by users: any AIG document and
// any my_regcodes line gives entries or report lines, never a crash, and every
// entry keeps the rules (a title, regcodes of 3 to 12 characters, sorted, no repeats).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "liveries/regcodes.h"

namespace {

void lf_check(const std::vector<RegcodeEntry>& entries, bool fromLines)
{
    for (const RegcodeEntry& e : entries) {
        if (fromLines && e.title.empty() && e.regcodes.empty()) std::abort();
        if (!fromLines && e.title.empty()) std::abort();
        if (!std::is_sorted(e.regcodes.begin(), e.regcodes.end())) std::abort();
        if (std::adjacent_find(e.regcodes.begin(), e.regcodes.end()) != e.regcodes.end()) std::abort();
        if (fromLines)
            for (const std::string& r : e.regcodes)
                if (r.size() < 3 || r.size() > 12) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    std::vector<RegcodeEntry> entries;
    pugi::xml_document doc;
    if (doc.load_buffer(data, size)) {
        lf_readAigRegcodesDocument(doc, "AIG-regcodes.xml", entries);
        lf_check(entries, false);
    }

    entries.clear();
    std::size_t start = 0;
    while (start <= bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) end = bytes.size();
        lf_readRegcodeLine(std::string(bytes.substr(start, end - start)), "my.txt", entries);
        start = end + 1;
    }
    lf_check(entries, true);
    return 0;
}
