// add-ons.cfg, add-on.xml and simobjects.cfg are written by installers and by
// hand: any lines must be read without a crash, and every path found must be
// a path.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/addon_discovery.h"
#include "split_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = fuzzLines(text);
    std::vector<std::filesystem::path> folders;
    const auto packages = lf_addOnPackagePaths(lines);
    lf_readAddOnXmlSimObjects(lines, "/package", folders);
    lf_readSimObjectsLines(lines, "/install", folders);
    std::size_t total = packages.size();
    for (const auto& f : folders) total += f.native().size();
    return total == static_cast<std::size_t>(-1);
}
