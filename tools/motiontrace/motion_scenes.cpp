#include "motion_scenes.h"

#include <cmath>
#include <memory>

#include "core/airport_services_fake.h"
#include "core/app_services_fake.h"
#include "core/geodesy.h"
#include "core/livery_services_fake.h"
#include "engine/adding_stack.h"
#include "engine/motion.h"
#include "engine/scheduling.h"
#include "engine/stand.h"
#include "simlink/sim_api_fake.h"
#include "simlink/sim_client.h"
#include "simlink/sim_handover.h"
#include "simlink/sim_queues.h"

namespace {

constexpr std::uint32_t lf_objectId = 100;
constexpr double lf_deg = geo::degToRad;

LatLon lf_move(const LatLon& from, double bearingDeg, double nm)
{
    return destinationPoint(from, bearingDeg * lf_deg, nm * geo::feetPerNm);
}

PositionSample lf_sample(const LatLon& at, double speed, std::int32_t due, double altitude, bool airborne)
{
    return positionSampleAt(at, speed, due, altitude, airborne);
}

LiveAc lf_aircraft(AcCategory category, std::vector<PositionSample> samples, double headingDeg)
{
    AcIdentity id;
    id.airline = "KLM";
    id.type = "B738";
    id.callsign = "KLM1234";
    id.aircraftId = 0x484000;
    setCategoryConstants(id, category);
    id.halfWingspan = 0.0097;
    id.cgHeight = 9.0;
    id.staticPitch = 0.7 * lf_deg;
    LiveAc ac = newLiveAc(samples.front(), id, 0.0);
    for (std::size_t i = 1; i < samples.size(); ++i) ac.samples.push_back(samples[i]);
    ac.objectId = lf_objectId;
    ac.simState = SimState::active;
    ac.posBlock.latitude = samples.front().latitude;
    ac.posBlock.longitude = samples.front().longitude;
    ac.posBlock.altitude = samples.front().altitude;
    ac.posBlock.heading = headingDeg * lf_deg;
    ac.throttleStep = 3;
    ac.flapsIndex = 0;
    const bool ground = !samples.front().airborne;
    ac.groundReplySeen = ground;
    ac.phase = ground ? AcPhase::taxi : AcPhase::flying;
    if (ground) ac.heightAboveGround = 0.0;
    return ac;
}

// A 3-degree approach at 140 kt, the roll-out, a turn off the runway, the taxi and a stop.
LiveAc lf_landing(double elevation, const LatLon& threshold)
{
    std::vector<PositionSample> out;
    const double runway = 140.0;
    const double glide = std::tan(3 * lf_deg) * geo::feetPerNm;
    const double step = 140.0 * 4 / 3600;
    std::int32_t due = 0;
    for (double d = 4.0; d > 1e-9; d -= step) {
        PositionSample s = lf_sample(lf_move(threshold, runway + 180, d), 140, due, elevation + d * glide, true);
        s.verticalRate = -140.0 * geo::feetPerNm / 60 * std::tan(3 * lf_deg);
        out.push_back(s);
        due += 400;
    }
    LatLon at = threshold;
    for (double v = 140; v > 20; v = std::max(v - 15, 20.0)) {
        out.push_back(lf_sample(at, v, due, elevation, false));
        at = lf_move(at, runway, (v + std::max(v - 15, 20.0)) / 2 * 4 / 3600);
        due += 400;
    }
    double heading = runway;
    for (int i = 0; i < 12; ++i) {
        if (i < 3) heading += 30;
        out.push_back(lf_sample(at, i < 3 ? 12 : 15, due, elevation, false));
        at = lf_move(at, heading, 15.0 * 4 / 3600);
        due += 400;
    }
    for (int i = 0; i < 3; ++i) {
        PositionSample s = lf_sample(at, 0, due, elevation, false);
        s.stationary = i > 0;
        out.push_back(s);
        due += 400;
    }
    LiveAc ac = lf_aircraft(AcCategory::Large, out, runway);
    ac.heightAboveGround = 2500;
    return ac;
}

// Parked at a stand facing north; the first moving sample lies behind it.
LiveAc lf_pushBack(double elevation, const LatLon& standAt)
{
    PositionSample parked = lf_sample(standAt, 0, 0, elevation, false);
    parked.stationary = true;
    LiveAc ac = lf_aircraft(AcCategory::Large, {parked}, 0);
    ac.phase = AcPhase::parked;
    ac.prevPhase = AcPhase::parking;
    ac.standId = 11;
    ac.position = standAt;
    ac.posBlock.altitude = elevation + ac.cgHeight;
    ac.departurePending = true;
    PositionSample away = lf_sample(lf_move(standAt, 150, 0.16), 8, 600, elevation, false);
    away.track = 150;
    ac.samples.push_back(away);
    return ac;
}

// 10 nm eastward aloft from 179.9 E across the antimeridian.
LiveAc lf_antimeridian()
{
    const LatLon from{-16.0, 179.9};
    std::vector<PositionSample> out;
    std::int32_t due = 0;
    LatLon at = from;
    for (int i = 0; i <= 12; ++i) {
        out.push_back(lf_sample(at, 300, due, 9000, true));
        at = lf_move(at, 90, 300.0 * 8 / 3600);
        due += 800;
    }
    return lf_aircraft(AcCategory::Large, out, 90);
}

// The pushback scene's later samples, merged as the feed would bring them: the
// next sample during the push-back (it chooses the turn), then the taxi out.
void lf_pushBackFeed(LiveAc& ac, std::int32_t tick, double elevation, const LatLon& standAt, bool& taxiFed)
{
    if (tick == 50) {
        PositionSample next = lf_sample(lf_move(standAt, 160, 0.22), 10, 5000, elevation, false);
        next.track = 160;
        decodeExisting(ac, next);
    }
    if (ac.phase != AcPhase::pushed_back || taxiFed) return;
    taxiFed = true;
    std::int32_t due = tick + 300;
    LatLon at = lf_move(standAt, 180, 0.08);
    for (int i = 0; i < 10; ++i) {
        decodeExisting(ac, lf_sample(at, 15, due, elevation, false));
        at = lf_move(at, i < 5 ? 180 : 230, 15.0 * 4 / 3600);
        due += 400;
    }
}

}  // namespace

void FlatGround::answer(std::int32_t tick) const
{
    if (tick % (fastRangeRequest ? 20 : 100) != 0) return;
    for (const LiveAc& ac : liveAircraft) {
        if (ac.simState != SimState::active || ac.objectId == 0) continue;
        const double height = ac.posBlock.altitude - elevationFt;
        if (height > 2500) continue;
        SimReply r;
        r.objectId = ac.objectId;
        r.aircraftId = height <= ac.cgHeight ? 1 : 0;
        r.kind = replyGroundInfo;
        r.valueA = elevationFt;
        r.valueB = height;
        pushSimReply(r);
    }
}

std::vector<std::string> motionSceneNames()
{
    return {"landing", "pushback", "antimeridian"};
}

bool runMotionScene(const std::string& name, std::int32_t maxTicks,
                    const std::function<void(std::int32_t, const LiveAc&)>& row)
{
    const LatLon field{52.3086, 4.7639};
    const double elevation = -11.0;
    LiveAc ac;
    if (name == "landing") {
        ac = lf_landing(elevation, field);
    } else if (name == "pushback") {
        ac = lf_pushBack(elevation, field);
    } else if (name == "antimeridian") {
        ac = lf_antimeridian();
    } else {
        return false;
    }
    AppServicesFake app;
    LiveryServicesFake liveries;
    AirportServicesFake airports;
    airports.park = {"EHAM", "AMS", field.lat, field.lon, elevation};
    airports.loaded = true;
    SimApiFake sim;
    lf_reserveEngineContainers();
    removeAllAiObjects();
    resetSimLink();
    (void)takeSimReplies();
    tickCounter = 0;
    Stand stand;
    stand.sid = 11;
    stand.name = "D7";
    stand.latitude = field.lat;
    stand.longitude = field.lon;
    stand.radius = 0.016;
    replaceStands({stand});
    liveAircraft.push_back(std::move(ac));
    bool taxiFed = false;
    const FlatGround ground{elevation};
    for (std::int32_t i = 0; i < maxTicks; ++i) {
        const std::int32_t tick = tickCounter.load();
        lf_handleAddingStack();
        {
            std::lock_guard lock(simQueueMutex);
            eventQueue.clear();
            positionQueue.sendLocked().clear();
        }
        sim.calls.clear();
        if (liveAircraft.empty() || liveAircraft.front().simState != SimState::active) break;
        row(tick, liveAircraft.front());
        if (name == "pushback") lf_pushBackFeed(liveAircraft.front(), tick, elevation, field, taxiFed);
        ground.answer(tick);
    }
    removeAllAiObjects();
    clearStands();
    return true;
}
