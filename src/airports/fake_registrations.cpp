#include "airports/fake_registrations.h"

#include <array>
#include <cstdint>

#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/random.h"
#include "core/time.h"

namespace {

using C = FakeCandidate;

constexpr C heliCandidate{"PVT", "EC35"};
constexpr C anyRegionCandidate{"ZZZ", "B738"};
constexpr std::array cargoTable{C{"FDX", "C208"}, C{"FDX", "B752"}, C{"FDX", "B763"}, C{"UPS", "A306"},
                                C{"DHK", "B763"}};
constexpr std::array rampTable{C{"PVT", "C172"}, C{"PVT", "C206"}, C{"PVT", "P28A"}, C{"PVT", "PC12"},
                               C{"PVT", "C550"}, C{"PVT", "TBM9"}, C{"PVT", "LJ25"}, C{"PVT", "GLF6"},
                               C{"PVT", "FA6X"}, C{"PVT", "FA8X"}, C{"PVT", "GLF4"}, C{"PVT", "GLF5"},
                               C{"PVT", "LJ60"}, C{"PVT", "DHC7"}, C{"PVT", "DH8A"}, C{"PVT", "DH8C"},
                               C{"PVT", "E550"}, C{"PVT", "CL30"}, C{"PVT", "GA6C"}};
constexpr std::array canadaTable{C{"ACA", "B789"}, C{"ACA", "B38M"}, C{"ROU", "A321"}, C{"JZA", "CRJ9"}};
constexpr std::array europeTable{C{"KLM", "B77W"}, C{"SAS", "A320"}, C{"EZY", "A320"}, C{"RYR", "B738"},
                                 C{"DLH", "A320"}, C{"KLM", "B738"}, C{"BAW", "A21N"}};
// FFT A320 is listed twice: it is drawn twice as often.
constexpr std::array usTable{C{"UAL", "B77W"}, C{"DAL", "B739"}, C{"JBU", "BCS3"}, C{"FFT", "A320"},
                             C{"UAL", "B78X"}, C{"UAL", "B738"}, C{"AAL", "B738"}, C{"SKW", "E75L"},
                             C{"SWA", "B737"}, C{"FFT", "A320"}};
constexpr std::array japanTable{C{"ANA", "A20N"}, C{"JAL", "A35K"}, C{"JAL", "B738"}};
constexpr std::array chinaTable{C{"CSA", "A320"}, C{"CES", "A333"}, C{"CES", "A321"}};

bool lf_fits(const Stand& stand, const C& c) { return lf_radiusFitsStand(stand, gf_halfWingspan(std::string(c.type))); }

void lf_addFitting(const Stand& stand, std::span<const C> table, std::vector<C>& out)
{
    for (const C& c : table)
        if (lf_fits(stand, c)) out.push_back(c);
}

}  // namespace

void lf_addFakeCandidates(const Stand& stand, std::span<const FakeCandidate, 3> table,
                          std::vector<FakeCandidate>& candidates)
{
    lf_addFitting(stand, table, candidates);
}

std::vector<FakeCandidate> lf_fakeCandidates(const std::string& icao, const Stand& stand)
{
    std::vector<C> out;
    if (stand.heli) {
        out.push_back(heliCandidate);
    } else if (stand.cargo) {
        lf_addFitting(stand, cargoTable, out);
    } else if (stand.ramp) {
        lf_addFitting(stand, rampTable, out);
    } else {
        switch (icao.empty() ? '\0' : icao.front()) {
        case 'C': lf_addFitting(stand, canadaTable, out); break;
        case 'E': lf_addFitting(stand, europeTable, out); break;
        case 'K': lf_addFitting(stand, usTable, out); break;
        case 'R': lf_addFitting(stand, japanTable, out); break;
        case 'Z': lf_addFakeCandidates(stand, chinaTable, out); break;
        default: out.push_back(anyRegionCandidate); break;
        }
    }
    return out;
}

void lf_makeFakeRegistrations(const std::string& icao, std::vector<Stand>& stands)
{
    const std::uint64_t now = slotAndWeekday();
    const auto slot = static_cast<std::uint32_t>(now >> 32);
    const auto weekday = static_cast<std::uint32_t>(now & 0xFFFFFFFFu);
    if (slot > 47) return;  // no valid time: nothing to invent
    std::uint32_t n = 1;
    for (Stand& stand : stands) {
        const std::vector<C> candidates = lf_fakeCandidates(icao, stand);
        if (candidates.empty()) continue;
        const C& pick = candidates.size() == 1 ? candidates.front()
                                               : candidates[tlRandomEngine()() % candidates.size()];
        SlotRecord r;
        r.airl = pick.airline;
        r.type = pick.type;
        r.reg = vr::format("REGFAKE{}", n);
        r.cs = vr::format("FAKE{}", n);
        r.slots.set(slot);
        r.optionIndex = stand.options.empty() ? 1 : stand.options.back().optionIndex + 1;
        r.weekday = weekday;
        r.source = 1;
        r.real = 0;
        r.fake = true;
        stand.options.push_back(std::move(r));
        ++n;
    }
}
