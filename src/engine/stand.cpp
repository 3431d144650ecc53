#include "engine/stand.h"

namespace {

std::vector<Stand>& lf_stands()
{
    static std::vector<Stand>& v = *new std::vector<Stand>([] {
        std::vector<Stand> s;
        s.reserve(512);
        return s;
    }());
    return v;
}

}  // namespace

const std::vector<Stand>& stands = lf_stands();
std::uint32_t standUpdateCount = 0;

void replaceStands(std::vector<Stand> newStands)
{
    auto& v = lf_stands();
    v.clear();
    for (auto& s : newStands) v.push_back(std::move(s));
}

void clearStands()
{
    lf_stands().clear();
}

Stand* findStandById(std::uint32_t sid)
{
    if (sid == 0) return nullptr;
    for (auto& s : lf_stands()) {
        if (s.sid == sid) return &s;
    }
    return nullptr;
}
