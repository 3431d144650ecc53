// Samples are outside data: any stream of finite values merged into a live
// aircraft and flown tick by tick leaves the aircraft's block finite, or the
// aircraft gone; the prediction always returns.
//
// Input: one byte of set-up (category, on the ground, landing, phase), then
// samples of 15 bytes each (at most 32): latitude, longitude, altitude, ground
// speed, track and vertical rate as 16-bit fractions of their ranges, the due
// tick step, a flags byte, and the ticks to run after the sample.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "core/airport_services_fake.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/motion.h"
#include "engine/spawn.h"
#include "engine/timed_queues.h"
#include "simlink/sim_api_fake.h"
#include "simlink/sim_queues.h"

namespace {

struct Reader {
    const std::uint8_t* p;
    std::size_t left;
    unsigned u8()
    {
        if (left == 0) return 0;
        --left;
        return *p++;
    }
    double fraction() { return static_cast<double>(u8() << 8 | u8()) / 65535.0; }
    double range(double lo, double hi) { return lo + (hi - lo) * fraction(); }
};

bool finiteBlock(const AcPositionBlock& b)
{
    for (double v : {b.latitude, b.longitude, b.pitch, b.bank, b.heading, b.altitude, b.verticalSpeed, b.trueAirspeed}) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

PositionSample next(Reader& r, std::int32_t& due)
{
    PositionSample s;
    s.latitude = r.range(-90.0, 90.0);
    s.longitude = r.range(-180.0, 179.999999);
    s.altitude = r.range(-1000.0, 45000.0);
    s.groundSpeed = r.range(0.0, 700.0);
    s.speed = s.groundSpeed;
    s.track = r.range(0.0, 359.99);
    s.verticalRate = r.range(-8000.0, 8000.0);
    due += static_cast<std::int32_t>(r.u8()) * 20;
    s.dueTick = due;
    const unsigned flags = r.u8();
    s.airborne = (flags & 1) != 0;
    s.stationary = (flags & 2) != 0;
    s.trueHeadingSet = (flags & 4) != 0;
    if (flags & 8) s.bank = (static_cast<double>(flags >> 4) - 8.0) * 0.1;
    if (flags & 4) s.trueHeading = s.track * geo::degToRad;
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static AirportServicesFake* airports = [] {
        auto* a = new AirportServicesFake;
        a->park = {"EHAM", "AMS", 52.3, 4.76, -11.0};
        a->loaded = true;
        return a;
    }();
    static SimApiFake* sim = new SimApiFake;
    (void)airports;
    (void)sim;
    liveAircraft.clear();
    clearTimedQueues();
    IdentityCheckQueue.clear();
    tickCounter = 0;
    {
        std::lock_guard lock(simQueueMutex);
        eventQueue.clear();
    }

    Reader r{data, size};
    const unsigned setup = r.u8();
    std::int32_t due = 0;
    PositionSample first = next(r, due);
    AcIdentity id;
    id.callsign = "FUZZ1";
    id.aircraftId = 0x400001;
    const auto category = static_cast<AcCategory>(setup % 6);
    setCategoryConstants(id, category);
    id.halfWingspan = 0.01;
    id.cgHeight = 8.0;
    liveAircraft.push_back(newLiveAc(first, id, 0.0));
    {
        LiveAc& ac = liveAircraft.back();
        ac.simState = SimState::active;
        ac.objectId = 100;
        ac.groundReplySeen = (setup & 8) != 0;
        ac.landing = (setup & 16) != 0;
        ac.phase = static_cast<AcPhase>((setup >> 5) % 8);
        ac.posBlock.latitude = first.latitude;
        ac.posBlock.longitude = first.longitude;
        ac.posBlock.altitude = first.altitude;
        ac.heightAboveGround = (setup & 8) != 0 ? 0.0 : 300.0;
    }
    for (int k = 0; k < 32 && r.left > 0; ++k) {
        const PositionSample s = next(r, due);
        const unsigned ticks = r.u8();
        LiveAc& ac = liveAircraft.back();
        if (ac.simState != SimState::active) break;
        try {
            decodeExisting(ac, s);
        } catch (const std::exception&) {
            // The merge logs it and goes on.
        }
        for (unsigned t = 0; t < ticks; ++t) {
            updateLiveAc(liveAircraft.back());
            positionQueue.write().clear();
            tickCounter.fetch_add(1);
            const LiveAc& a = liveAircraft.back();
            if (a.simState != SimState::active) break;
            if (!finiteBlock(a.posBlock)) std::abort();
            if (a.posBlock.heading < 0.0 || a.posBlock.heading >= geo::twoPi) std::abort();
        }
        std::lock_guard lock(simQueueMutex);
        eventQueue.clear();
    }
    liveAircraft.clear();
    return 0;
}
