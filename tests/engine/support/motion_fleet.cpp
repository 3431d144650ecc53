#include "support/motion_fleet.h"

#include <cmath>

#include "core/geodesy.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/motion.h"

namespace {

constexpr int lf_sampleSeconds = 4;

PositionSample lf_sample(const LatLon& at, double speed, std::int32_t due, double altitude, bool airborne)
{
    return positionSampleAt(at, speed, due, altitude, airborne);
}

}  // namespace

LiveAc motionFleetAircraft(std::size_t i, AcCategory category)
{
    AcIdentity id;
    id.airline = "KLM";
    id.type = "B738";
    id.callsign = "KLM" + std::to_string(i);
    id.aircraftId = 0x400000 + static_cast<std::uint32_t>(i);
    setCategoryConstants(id, category);
    id.halfWingspan = 0.01;
    id.cgHeight = 8.0;
    id.staticPitch = 0.01;
    PositionSample first;
    LiveAc ac = newLiveAc(first, id, 0.0);
    ac.samples.clear();
    ac.objectId = 1000 + static_cast<std::uint32_t>(i);
    ac.simState = SimState::active;
    ac.throttleStep = 2;
    ac.flapsIndex = 1;
    return ac;
}

void buildMotionFleet(std::size_t n, std::int32_t startTick, int seconds)
{
    liveAircraft.clear();
    const int count = seconds / lf_sampleSeconds;
    for (std::size_t i = 0; i < n; ++i) {
        const int kind = static_cast<int>(i % 4);
        LiveAc ac = motionFleetAircraft(i, kind == 3 ? AcCategory::Heavy : AcCategory::Large);
        LatLon at{50.0 + 0.01 * static_cast<double>(i % 50), 4.0 + 0.01 * static_cast<double>(i / 50)};
        double heading = 90.0;
        double speed = kind == 0 ? 300.0 : kind == 1 ? 140.0 : kind == 2 ? 15.0 : 160.0;
        double altitude = kind == 0 ? 20000.0 : kind == 1 ? 2000.0 : kind == 2 ? 0.0 : 1000.0;
        const bool airborne = kind != 2;
        for (int k = 0; k < count; ++k) {
            const std::int32_t due = startTick + k * lf_sampleSeconds * 100 + static_cast<std::int32_t>(i % 400);
            PositionSample s = lf_sample(at, speed, due, altitude, airborne);
            s.verticalRate = kind == 1 ? -700.0 : kind == 3 ? 1500.0 : 0.0;
            ac.samples.push_back(s);
            if (kind == 2) heading += k % 2 == 0 ? 40.0 : -40.0;  // taxi bends: curves
            at = destinationPoint(at, heading * geo::degToRad, speed * lf_sampleSeconds / 3600.0 * geo::feetPerNm);
            if (kind == 1) altitude -= 700.0 * lf_sampleSeconds / 60.0;
            if (kind == 3) altitude += 1500.0 * lf_sampleSeconds / 60.0;
        }
        ac.posBlock.latitude = ac.samples.front().latitude;
        ac.posBlock.longitude = ac.samples.front().longitude;
        ac.posBlock.altitude = ac.samples.front().altitude;
        ac.posBlock.heading = 90.0 * geo::degToRad;
        switch (kind) {
        case 0:
            ac.phase = AcPhase::flying;
            ac.highAltLights = true;
            break;
        case 1:  // on final, flaring from the start
            ac.phase = AcPhase::flying;
            ac.landing = true;
            ac.heightAboveGround = 300.0;
            ac.flareStage = 1;
            ac.altStep = -0.1;
            ac.lowAltLights = true;
            break;
        case 2:
            ac.phase = AcPhase::taxi;
            ac.prevPhase = AcPhase::pushed_back;
            ac.groundReplySeen = true;
            ac.heightAboveGround = 0.0;
            break;
        default:  // climbing out after the rotation
            ac.phase = AcPhase::take_off;
            ac.takeOffRoll = true;
            ac.countdown = 1;
            ac.altStep = 0.4;
            ac.heightAboveGround = 500.0;
            ac.lowAltLights = true;
            break;
        }
        liveAircraft.push_back(std::move(ac));
    }
}
