#include "motion_scenes.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "core/airport_services_fake.h"
#include "core/app_services_fake.h"
#include "core/geodesy.h"
#include "core/livery_services_fake.h"
#include "core/options.h"
#include "engine/adding_stack.h"
#include "engine/motion.h"
#include "engine/scheduling.h"
#include "engine/stand.h"
#include "platform/clock.h"
#include "simlink/sim_api_fake.h"
#include "simlink/sim_client.h"
#include "simlink/sim_handover.h"
#include "simlink/sim_queues.h"
#include "simlink/user_aircraft.h"
#include "traffic_service/traffic_record.h"

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

// Three samples standing at `at` (the last two marked stationary), 4 s apart from `due` on.
void lf_appendStop(std::vector<PositionSample>& out, const LatLon& at, std::int32_t& due, double elevation)
{
    for (int i = 0; i < 3; ++i) {
        PositionSample s = lf_sample(at, 0, due, elevation, false);
        s.stationary = i > 0;
        out.push_back(s);
        due += 400;
    }
}

// A 3-degree approach at 140 kt (its records without an airspeed), the roll-out,
// a turn off the runway, the taxi and a stop.
LiveAc lf_landing(double elevation, const LatLon& threshold)
{
    std::vector<PositionSample> out;
    const double runway = 140.0;
    const double glide = std::tan(3 * lf_deg) * geo::feetPerNm;
    const double step = 140.0 * 4 / 3600;
    std::int32_t due = 0;
    for (double d = 4.0; d > 1e-9; d -= step) {
        PositionSample s = lf_sample(lf_move(threshold, runway + 180, d), 140, due, elevation + d * glide, true);
        s.speed = 180;  // the airspeed of a record without one, by its height
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
    lf_appendStop(out, at, due, elevation);
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

// 10 nm eastward aloft from 179.9 E across the antimeridian; the last sample is
// due after 96 s, and the scene runs on past it (the aircraft slows, and shows it).
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


// A departure as the live feed reports one, a sample every 2 s: lined up and
// standing, then the take-off roll from 20 kt up at 3.5 kt a second (the feed
// knows no standstill start), the lift-off at 160 kt after 40 s, and a climb
// at 2000 fpm gaining a knot a second. The samples come 10 s before they are due.
std::vector<PositionSample> lf_departure(double elevation, const LatLon& lineUp)
{
    constexpr double runway = 240.0, rollFrom = 20.0, rollAccel = 3.5, rollSeconds = 40.0;
    std::vector<PositionSample> out{lf_sample(lineUp, 0, 0, elevation, false)};
    const double rollNm = (rollFrom * rollSeconds + rollAccel / 2 * rollSeconds * rollSeconds) / 3600;
    const double liftOffKt = rollFrom + rollAccel * rollSeconds;
    for (double s = 0; s <= 100; s += 2) {
        const std::int32_t due = 500 + static_cast<std::int32_t>(s * 100);
        if (s < rollSeconds) {
            const double nm = (rollFrom * s + rollAccel / 2 * s * s) / 3600;
            out.push_back(lf_sample(lf_move(lineUp, runway, nm), rollFrom + rollAccel * s, due, elevation, false));
            continue;
        }
        const double v = s - rollSeconds;
        const double nm = rollNm + (liftOffKt * v + v * v / 2) / 3600;
        PositionSample a = lf_sample(lf_move(lineUp, runway, nm), liftOffKt + v, due, elevation + 2000 * v / 60, true);
        a.verticalRate = 2000;
        out.push_back(a);
    }
    for (PositionSample& x : out) x.track = runway;
    return out;
}

void lf_departureFeed(LiveAc& ac, std::int32_t tick, std::vector<PositionSample>& toCome)
{
    while (!toCome.empty() && toCome.front().dueTick - 1000 <= tick) {
        decodeExisting(ac, toCome.front());
        toCome.erase(toCome.begin());
    }
}


// A taxi at 15 kt with samples every 4 s: east, a right-angle corner to the
// south, another back to the east, then a stop.
LiveAc lf_taxiCorners(double elevation, const LatLon& start)
{
    std::vector<PositionSample> out;
    std::int32_t due = 0;
    LatLon at = start;
    const double leg = 15.0 * 4 / 3600;
    for (int i = 0; i < 18; ++i) {
        PositionSample s = lf_sample(at, 15, due, elevation, false);
        const double heading = i < 6 ? 90 : i < 12 ? 180 : 90;
        s.track = heading;
        out.push_back(s);
        at = lf_move(at, heading, leg);
        due += 400;
    }
    lf_appendStop(out, at, due, elevation);
    return lf_aircraft(AcCategory::Large, out, 90);
}

// The light aircraft of the feed: a Cessna served level 800 ft above the field
// at 75 kt on a straight track, its position renewed every 4 s (MLAT).
constexpr double lf_lightKt = 75.0, lf_lightHeight = 800.0, lf_lightTrack = 210.0, lf_wallStart = 1'700'000'000.0;

TrafficRecord lf_lightRecord(const LatLon& field, double elevation, double seconds)
{
    const double t = std::floor(seconds / 4.0) * 4.0;  // the last MLAT fix
    const LatLon at = lf_move(lf_move(field, lf_lightTrack + 180, 6.0), lf_lightTrack, lf_lightKt * t / 3600);
    TrafficRecord r;
    r.aircraftId = 0x4840AA;
    r.airline = "PVT";
    r.type = "C172";
    r.callsign = "PHVAB";
    r.registration = "PH-VAB";
    r.lat = at.lat;
    r.lon = at.lon;
    r.altitude = elevation + lf_lightHeight;
    r.groundSpeed = lf_lightKt;
    r.speed = lf_lightKt;
    r.track = lf_lightTrack;
    r.airborne = true;
    r.time = lf_wallStart + t;
    return r;
}

// The scene's simulator: creations answered after a pause, removals
// confirmed, what it was handed recorded by object.
class SceneSim {
public:
    SceneSim(double elevation, SceneRecord* record) : elevation_(elevation), record_(record) {}

    // The scene's clock: 10 ms a tick plus the pauses without ticks.
    double now(std::int32_t tick) const { return tick * 0.01 + pause_; }
    void pause(double seconds) { pause_ += seconds; }
    // Ticks from a creation to the simulator's answer that ties it (50 ms: the
    // creation leaves with a frame, the object is announced, and the answer to
    // the request for it comes with the next frame; longer while it loads).
    void answerCreationsAfter(std::int32_t ticks) { creationTicks_ = ticks; }

    // Served samples as the engine will have them due.
    void served(std::uint32_t objectId, const PositionSample& s)
    {
        served_[objectId].push_back({now(s.dueTick) , s.altitude, s.groundSpeed, s.airborne});
    }
    void servedRecords(std::vector<TrafficRecord> batch, int delaySeconds, std::int32_t tick)
    {
        lf_setDueTicks(batch, delaySeconds, tick);
        for (const TrafficRecord& r : batch) servedByAircraft_[r.aircraftId].push_back(
            {now(r.dueTick), r.altitude, r.groundSpeed, r.airborne});
    }

    // After the tick: takes what the engine handed over and answers.
    void collect(std::int32_t tick)
    {
        const double t = now(tick);
        std::vector<AcCreation> creations;
        std::vector<std::uint32_t> removals;
        {
            std::lock_guard lock(simQueueMutex);
            if (record_) {
                for (const QueuedPosition& q : positionQueue.sendLocked()) {
                    const AcPositionBlock& b = q.block;
                    stream(q.objectId).seen.push_back({t, b.latitude, b.longitude, b.altitude,
                                                       b.heading * geo::radToDeg, b.trueAirspeed, b.verticalSpeed});
                }
            }
            creations.swap(creationQueue);
            removals.swap(removalQueue);
            eventQueue.clear();
            positionQueue.sendLocked().clear();
        }
        for (const AcCreation& c : creations) {
            const std::uint32_t object = nextObject_++;
            const SIMCONNECT_DATA_INITPOSITION& p = c.initPosition;
            pending_.push_back({tick + creationTicks_,
                                {object, c.aircraftId, 0, replyLiveCreated, elevation_, std::max(0.0, p.Altitude - elevation_)},
                                p});
            aircraftOf_[object] = c.aircraftId;
        }
        for (std::uint32_t object : removals) pending_.push_back({tick + 10, {object, 0, 0, replyRemoved, 0, 0}, {}});
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->tick > tick) {
                ++it;
                continue;
            }
            // The object is made when the simulator answers: its creation, at the place asked for, is of this moment.
            if (record_ && it->reply.kind == replyLiveCreated) {
                const SIMCONNECT_DATA_INITPOSITION& p = it->place;
                record_->creations.push_back(t);
                stream(it->reply.objectId)
                    .seen.push_back({t, p.Latitude, p.Longitude, p.Altitude, p.Heading, static_cast<double>(p.Airspeed), 0.0});
            }
            pushSimReply(it->reply);
            it = pending_.erase(it);
        }
    }

    // The streams with the ground and what was served for their aircraft.
    void finish()
    {
        if (!record_) return;
        for (motionjudge::Stream& s : record_->streams) {
            const std::uint32_t object = static_cast<std::uint32_t>(std::stoul(s.name));
            s.groundFt = elevation_;
            s.served = served_[object];
            const auto a = aircraftOf_.find(object);
            if (a != aircraftOf_.end()) {
                const auto& byAc = servedByAircraft_[a->second];
                s.served.insert(s.served.end(), byAc.begin(), byAc.end());
            }
            std::sort(s.served.begin(), s.served.end(),
                      [](const motionjudge::Served& x, const motionjudge::Served& y) { return x.t < y.t; });
        }
    }

private:
    motionjudge::Stream& stream(std::uint32_t objectId)
    {
        const std::string name = std::to_string(objectId);
        for (motionjudge::Stream& s : record_->streams)
            if (s.name == name) return s;
        record_->streams.push_back({});
        record_->streams.back().name = name;
        return record_->streams.back();
    }

    double elevation_;
    SceneRecord* record_;
    double pause_ = 0.0;
    std::int32_t creationTicks_ = 5;
    std::uint32_t nextObject_ = 200;
    // A reply that comes at `tick`; a creation's with the place it was asked for.
    struct Pending {
        std::int32_t tick;
        SimReply reply;
        SIMCONNECT_DATA_INITPOSITION place;
    };
    std::vector<Pending> pending_;
    std::map<std::uint32_t, std::uint32_t> aircraftOf_;
    std::map<std::uint32_t, std::vector<motionjudge::Served>> served_, servedByAircraft_;
};

// The answers of the light-aircraft scenes: the light aircraft first, then
// eight airliners level at 6000 ft on their own tracks 8 to 15 nm out, whose
// creations (taken last first) go before it.
std::vector<TrafficRecord> lf_answer(const LatLon& field, double elevation, double seconds)
{
    std::vector<TrafficRecord> out{lf_lightRecord(field, elevation, seconds)};
    for (std::uint32_t i = 0; i < 8; ++i) {
        const double t = std::floor(seconds);
        const double track = 45.0 * i;
        TrafficRecord r = out.front();
        r.aircraftId = 0x484100 + i;
        r.airline = "KLM";
        r.type = "B738";
        r.callsign = "KLM10" + std::to_string(i);
        r.registration = "PH-BX" + std::string(1, static_cast<char>('A' + i));
        const LatLon at = lf_move(lf_move(field, track + 90, 8.0 + i), track, 250.0 * t / 3600);
        r.lat = at.lat;
        r.lon = at.lon;
        r.altitude = 6000;
        r.groundSpeed = r.speed = 250;
        r.track = track;
        r.time = lf_wallStart + t;
        out.push_back(r);
    }
    return out;
}

// The feed as the traffic reader brings it: at a start the five buffered
// answers (6 s apart, handed over for 0, 6, ... 24 s), then an answer every
// 2 s handed over for 30 s.
void lf_startFeed(SceneSim& sim, const LatLon& field, double elevation, double seconds, std::int32_t tick)
{
    for (int i = 0; i < 5; ++i) {
        std::vector<TrafficRecord> batch = lf_answer(field, elevation, seconds - 6.0 * (4 - i));
        sim.servedRecords(batch, 6 * i, tick);
        lf_scheduleTrafficRecords(batch, 6 * i);
    }
}

void lf_liveFeed(SceneSim& sim, const LatLon& field, double elevation, double seconds, std::int32_t tick)
{
    std::vector<TrafficRecord> batch = lf_answer(field, elevation, seconds);
    sim.servedRecords(batch, 30, tick);
    lf_scheduleTrafficRecords(batch, 30);
}

// The user aircraft aloft over the field, as the simulator link reports it:
// the engine takes it from there again every second.
void lf_putUserAloft(const LatLon& field)
{
    std::lock_guard lock(simQueueMutex);
    UserAcState& user = userAcStateLocked();
    user = UserAcState{};
    user.latitude = field.lat;
    user.longitude = field.lon;
    user.altitude = 30000;
    user.altAboveGround = 30000;
    engineUserAcState = user;
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
        r.aircraftId = heldFlag.value_or(height <= ac.cgHeight) ? 1 : 0;
        r.kind = replyGroundInfo;
        r.valueA = elevationFt;
        r.valueB = height;
        pushSimReply(r);
    }
}

const std::vector<MotionScene>& motionScenes()
{
    static const std::vector<MotionScene> scenes = {
        {"landing", "a 3-degree approach at 140 kt, the flare, the roll-out, a turn off and the taxi to a stop", 25000},
        {"pushback", "a push-back from a stand with a turn, the wait, then the taxi out with a corner", 9000},
        {"antimeridian", "10 nm eastward at 300 kt aloft across 180 degrees, then on past the last sample", 16000},
        {"taxi-corners", "a taxi at 15 kt with two right-angle corners, then a stop", 9000},
        {"takeoff", "a departure from a standstill: the take-off roll, the lift-off at 160 kt and the climb", 12000},
        {"light-mlat", "a light aircraft level at 800 ft, 75 kt, a fix every 4 s, among 8 airliners, from the start", 12000},
        {"reconnect", "the same, the simulator lost after 60 s, back 9 s later and slow to create (6.5 s)", 15000},
    };
    return scenes;
}

std::vector<std::string> motionSceneNames()
{
    std::vector<std::string> names;
    for (const MotionScene& s : motionScenes()) names.push_back(s.name);
    return names;
}

bool runMotionScene(const std::string& name, std::int32_t maxTicks,
                    const std::function<void(std::int32_t, const LiveAc&)>& row, SceneRecord* record,
                    std::optional<bool> heldGroundFlag)
{
    const LatLon field{52.3086, 4.7639};
    const double elevation = -11.0;
    const bool fed = name == "light-mlat" || name == "reconnect";
    LiveAc ac;
    std::vector<PositionSample> departure;  // the take-off's samples still to come
    if (name == "landing") {
        ac = lf_landing(elevation, field);
    } else if (name == "pushback") {
        ac = lf_pushBack(elevation, field);
    } else if (name == "antimeridian") {
        ac = lf_antimeridian();
    } else if (name == "taxi-corners") {
        ac = lf_taxiCorners(elevation, lf_move(field, 0, 0.5));
    } else if (name == "takeoff") {
        departure = lf_departure(elevation, lf_move(field, 60, 1.0));
        ac = lf_aircraft(AcCategory::Large, {departure.front()}, 240);
        departure.erase(departure.begin());
    } else if (!fed) {
        return false;
    }
    // The program clock runs with the ticks: 10 ms each, and the restart's pause.
    const auto clock = std::make_shared<platform::VirtualClock>(lf_wallStart);
    const platform::ScopedClock scopedClock(clock);
    AppServicesFake app;
    LiveryServicesFake liveries;
    liveries.knownTypes.insert("C172");
    liveries.categories["C172"] = AcCategory::Light;
    liveries.titles["PVT C172"] = "Cessna Skyhawk 172SP Paint1";
    liveries.knownTypes.insert("B738");
    liveries.categories["B738"] = AcCategory::Large;
    liveries.titles["KLM B738"] = "Boeing 737-800 KLM";
    AirportServicesFake airports;
    airports.park = {"EHAM", "AMS", field.lat, field.lon, elevation};
    airports.loaded = true;
    SimApiFake sim;
    lf_reserveEngineContainers();
    removeAllAiObjects();
    resetSimLink();
    (void)takeSimReplies();
    tickCounter = 0;
    const bool lightWas = LIGHT_AIRCRAFT.get();
    LIGHT_AIRCRAFT.set(true);
    lf_putUserAloft(field);
    Stand stand;
    stand.sid = 11;
    stand.name = "D7";
    stand.latitude = field.lat;
    stand.longitude = field.lon;
    stand.radius = 0.016;
    replaceStands({stand});
    SceneSim world(elevation, record);
    if (fed) {
        setRunningFlag(true);
        lf_startFeed(world, field, elevation, 0.0, 0);
    } else {
        for (const PositionSample& s : ac.samples) world.served(lf_objectId, s);
        for (const PositionSample& s : departure) world.served(lf_objectId, s);
        liveAircraft.push_back(std::move(ac));
    }
    bool taxiFed = false;
    bool lost = false;
    const FlatGround ground{elevation, heldGroundFlag};
    for (std::int32_t i = 0; i < maxTicks; ++i) {
        const std::int32_t tick = tickCounter.load();
        const double seconds = world.now(tick);
        if (fed && tick > 0 && tick % 200 == 0) lf_liveFeed(world, field, elevation, seconds, tick);
        lf_handleAddingStack();
        clock->advance(std::chrono::milliseconds(10));
        world.collect(tick);
        sim.calls.clear();
        if (!fed && (liveAircraft.empty() || liveAircraft.front().simState != SimState::active)) break;
        if (!liveAircraft.empty() && liveAircraft.front().simState == SimState::active) row(tick, liveAircraft.front());
        if (name == "takeoff") lf_departureFeed(liveAircraft.front(), tick, departure);
        if (name == "pushback") {
            const std::size_t before = liveAircraft.front().samples.size();
            lf_pushBackFeed(liveAircraft.front(), tick, elevation, field, taxiFed);
            const auto& q = liveAircraft.front().samples;
            for (std::size_t k = std::min(before, q.size()); k < q.size(); ++k) world.served(lf_objectId, q[k]);
        }
        ground.answer(tick);
        if (name == "reconnect" && !lost && seconds >= 60.0) {
            // The simulator is gone: the run ends, its aircraft with it; the
            // next run starts 9 s later from the buffered traffic.
            lost = true;
            removeAllAiObjects();
            resetSimLink();
            (void)takeSimReplies();
            lf_putUserAloft(field);
            replaceStands({stand});
            airports.park = {"EHAM", "AMS", field.lat, field.lon, elevation};
            world.pause(9.0);
            // The simulator just started again and loads its scenery: it creates
            // objects 6.5 s after being asked, long after their samples fell due.
            world.answerCreationsAfter(650);
            clock->advance(std::chrono::seconds(9));
            lf_startFeed(world, field, elevation, world.now(tick + 1), tickCounter.load());
        }
    }
    world.finish();
    removeAllAiObjects();
    clearStands();
    LIGHT_AIRCRAFT.set(lightWas);
    return true;
}

motionjudge::Verdict judgeMotionScene(const std::string& name, SceneRecord* record)
{
    SceneRecord local;
    SceneRecord& r = record ? *record : local;
    r = {};
    std::int32_t ticks = 0;
    for (const MotionScene& s : motionScenes())
        if (s.name == name) ticks = s.ticks;
    runMotionScene(name, ticks, [](std::int32_t, const LiveAc&) {}, &r);
    return motionjudge::judgeAll(r.streams, r.creations);
}
