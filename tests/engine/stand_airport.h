#pragma once
// A hand-built park airport for the stand tests: ten stands of every kind (gates,
// a heavy gate, cargo, ramps, a cargo ramp, a helipad) with two overlapping
// pairs (A3/A3A and R1/R2, each the other's neighbour), the engine reset through
// the harness (virtual clock, fixed seed, seam fakes), and small builders of
// live and static aircraft placed at stands.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/time.h"
#include "core/run_state.h"
#include "engine/ac_records.h"
#include "engine/motion.h"
#include "engine/stand.h"
#include "support/engine_harness.h"

namespace standtest {

inline constexpr double metre = 1.0 / 1852.0;  // nm
inline const ParkAirportInfo park{"EHAM", "AMS", 52.30, 4.76, -11.0};

// A point metres north and east of the park airport (60 nm a degree of latitude).
inline LatLon offset(double northMetres, double eastMetres, const LatLon& from = {park.lat, park.lon})
{
    const double metresPerDegree = 60.0 * 1852.0;
    return {from.lat + northMetres / metresPerDegree,
            from.lon + eastMetres / (metresPerDegree * std::cos(from.lat * 0.017453292519943295))};
}

// Half wingspans of the types used (nm).
inline constexpr double b738 = 17.9 * metre;
inline constexpr double a320 = 17.0 * metre;
inline constexpr double b744 = 32.3 * metre;
inline constexpr double c172 = 5.5 * metre;
inline constexpr double ec35 = 5.1 * metre;

enum Sid : std::uint32_t { A1 = 1, A2, A3, A3A, C1, R1, R2, H1, B1, CR };

inline Stand standAt(std::uint32_t sid, const std::string& name, double north, double east, double radiusMetres,
                     Stand::Kind kind = {})
{
    const LatLon at = offset(north, east);
    Stand s(name, {}, at.lat, at.lon, 1.5, radiusMetres, kind);
    s.sid = sid;
    return s;
}

inline std::vector<Stand> airportStands()
{
    std::vector<Stand> v{
        standAt(A1, "A1", 0, 0, 20),
        standAt(A2, "A2", 0, 60, 20),
        standAt(A3, "A3", 0, 120, 20),
        standAt(A3A, "A3A", 0, 140, 15.9),
        standAt(C1, "C1", 0, 220, 30, {.cargo = true}),
        standAt(R1, "R1", 120, 0, 10, {.ramp = true}),
        standAt(R2, "R2", 120, 22, 10, {.ramp = true}),
        standAt(H1, "H1", 120, 120, 8, {.heli = true}),
        standAt(B1, "B1", 0, 320, 34),
        standAt(CR, "CR", 120, 220, 25, {.cargo = true, .ramp = true}),
    };
    v[A3 - 1].conflictingStands = {A3A};
    v[A3A - 1].conflictingStands = {A3};
    v[R1 - 1].conflictingStands = {R2};
    v[R2 - 1].conflictingStands = {R1};
    return v;
}

inline LatLon standPos(std::uint32_t sid)
{
    const Stand* s = findStandById(sid);
    return s ? LatLon{s->latitude, s->longitude} : LatLon{};
}

inline ScenarioOptions standOptions()
{
    ScenarioOptions o;
    o.park = park;
    o.user = offset(-3000, 0);  // on the ground, far from every stand
    o.userAltitudeFt = park.elevationFt;
    o.userHeightAboveGroundFt = 0;
    o.userGroundSpeedKt = 0;
    o.userOnGround = true;
    o.keepTrace = false;
    o.log = true;
    return o;
}

// The harness with the airport's stands loaded; Wednesday, half hour 20.
class StandAirport {
public:
    explicit StandAirport(ScenarioOptions options = standOptions()) : h(std::move(options))
    {
        useStands(airportStands());
        h.airports.loaded = true;
        h.liveries.halfSpans = {{"B738", b738}, {"A320", a320}, {"B744", b744}, {"C172", c172}, {"EC35", ec35}};
        h.liveries.categories = {{"B738", AcCategory::Large},
                                 {"A320", AcCategory::Large},
                                 {"B744", AcCategory::Heavy},
                                 {"C172", AcCategory::Light},
                                 {"EC35", AcCategory::Rotorcraft}};
        currentSlotAndWeekday.store(packSlotAndWeekday(20, 3));
    }

    void useStands(std::vector<Stand> v)
    {
        h.airports.standNames.clear();
        for (const Stand& s : v) h.airports.standNames[s.sid] = s.name;
        replaceStands(std::move(v));
    }

    EngineHarness h;
};

// A live aircraft of a type, active with an object, at a place.
inline LiveAc liveAc(std::uint32_t id, const std::string& callsign, const std::string& type = "B738",
                     AcPhase phase = AcPhase::parked, std::uint32_t standId = 0)
{
    LiveAc ac;
    ac.aircraftId = id;
    ac.callsign = callsign;
    ac.coupledCs = callsign;
    ac.airline = callsign.substr(0, 3);
    ac.type = type;
    ac.registration = "PH-" + callsign;
    ac.category = type == "B744" ? AcCategory::Heavy
                  : type == "C172" ? AcCategory::Light
                  : type == "EC35" ? AcCategory::Rotorcraft
                                   : AcCategory::Large;
    setCategoryConstants(ac, ac.category);
    ac.halfWingspan = type == "B744" ? b744 : type == "C172" ? c172 : type == "EC35" ? ec35 : type == "A320" ? a320 : b738;
    ac.phase = phase;
    ac.simState = SimState::active;
    ac.objectId = 100 + id % 1000;
    ac.standId = standId;
    if (const Stand* s = findStandById(standId)) {
        ac.position = {s->latitude, s->longitude};
        ac.posBlock.latitude = s->latitude;
        ac.posBlock.longitude = s->longitude;
    }
    return ac;
}

// A static aircraft at a stand (callsign with the static "*").
inline SimAc staticAc(std::uint32_t id, const std::string& callsign, std::uint32_t standId,
                      const std::string& type = "B738", SimState state = SimState::active)
{
    SimAc st;
    st.aircraftId = id;
    st.callsign = callsign;
    st.type = type;
    st.airline = callsign.substr(0, 3);
    st.halfWingspan = type == "B744" ? b744 : type == "A320" ? a320 : b738;
    st.standId = standId;
    st.position = standPos(standId);
    st.simState = state;
    st.objectId = state == SimState::active ? 500 + id : 0;
    return st;
}

}  // namespace standtest
