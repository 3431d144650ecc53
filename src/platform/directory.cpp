#include "platform/directory.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace platform {

std::vector<std::filesystem::directory_entry> listDirectorySorted(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::directory_entry> entries;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) entries.push_back(entry);

    const auto fold = [](unsigned char c) { return std::tolower(c); };
    std::sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
        const std::string x = a.path().filename().string();
        const std::string y = b.path().filename().string();
        const bool less = std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(),
                                                       [&](unsigned char p, unsigned char q) { return fold(p) < fold(q); });
        const bool greater = std::lexicographical_compare(y.begin(), y.end(), x.begin(), x.end(),
                                                          [&](unsigned char p, unsigned char q) { return fold(p) < fold(q); });
        return less || (!greater && x < y);
    });
    return entries;
}

}  // namespace platform
