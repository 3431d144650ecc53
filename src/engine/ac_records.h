#pragma once
// The records of every aircraft the engine puts into the simulator:
// AcIdentity (what live and static aircraft share) -> SimAc (the simulator
// object) -> LiveAc (a live aircraft's position block, due samples and working
// state), the per-category handling constants, the two global vectors, and the
// small functions that build, compare and describe the records.
//
// LiveAc keeps the state that the per-tick update reads on every tick (the
// position block, the steps and the curve) together in one block right after
// the SimAc part, so the update pass over hundreds of aircraft touches few
// cache lines per aircraft.

#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>
#include <initializer_list>

#include "core/geodesy.h"
#include "core/livery_services.h"
#include "simlink/ac_category.h"
#include "simlink/sim_definitions.h"
#include "simlink/sim_handover.h"

struct TrafficRecord;
struct ParkedTrafficRecord;

// Where a record stands with respect to the simulator.
enum class SimState : std::uint32_t {
    buffer = 0,           // known to the engine, no simulator object (yet, or again)
    adding2sim = 1,       // creation requested, object not yet confirmed
    active = 2,           // the object exists and is driven by the engine
    liveryrespawn = 3,    // being removed to be created again with another livery
    removingfromsim = 4,  // removal requested
};

// The movement phase of a live aircraft.
enum class AcPhase : std::uint32_t {
    pushing_back = 0,
    pushed_back = 1,
    taxi = 2,
    take_off = 3,
    flying = 4,
    parking = 5,
    parked = 6,
    birth = 7,
};

inline constexpr std::array<EnumName<SimState>, 5> simStateNames{{
    {SimState::buffer, "buffer"},
    {SimState::adding2sim, "adding2sim"},
    {SimState::active, "active"},
    {SimState::liveryrespawn, "liveryrespawn"},
    {SimState::removingfromsim, "removingfromsim"},
}};
inline constexpr std::array<EnumName<AcPhase>, 8> acPhaseNames{{
    {AcPhase::pushing_back, "pushing_back"},
    {AcPhase::pushed_back, "pushed_back"},
    {AcPhase::taxi, "taxi"},
    {AcPhase::take_off, "take_off"},
    {AcPhase::flying, "flying"},
    {AcPhase::parking, "parking"},
    {AcPhase::parked, "parked"},
    {AcPhase::birth, "birth"},
}};
// The name of the value; "?" outside the table.
std::string_view simStateText(SimState s);
std::string_view acPhaseText(AcPhase p);

// One row of the per-category handling constants (angles in radians).
struct CategoryConstants {
    std::uint32_t flareTicks;
    std::uint32_t touchdownTicks;
    std::uint32_t rotationTicks;
    std::uint32_t climbTransitionTicks;
    double takeOffPitch;     // rad, negative = nose up
    double climbPitch;       // rad
    double groundTurnStep;   // rad per tick
    double maxVerticalStep;  // ft per tick
    double manoeuvreSpeed;   // kt
};
// The row of a category; std::out_of_range for a value outside 0..5.
const CategoryConstants& categoryConstants(AcCategory category);
// One row of the per-category constants of landing and take-off (angles in radians).
struct FlightConstants {
    double takeOffSpeed;    // kt; every following sample at or above it before lift-off
    double maxPitchStep;    // rad per tick, in flight
    double maxBank;         // rad
    double maxBankStep;     // rad per tick
    double approachHeight;  // ft above ground; below it the approach rules apply
};
// The row of a category; std::out_of_range for a value outside 0..5.
const FlightConstants& flightConstants(AcCategory category);
// The share of random variation of the two pitches (per cent).
inline constexpr double takeOffPitchVariationPct = 2.5;
inline constexpr double climbPitchVariationPct = 5.0;

struct AcIdentity {
    std::string airline;      // ICAO airline code
    std::string type;         // ICAO aircraft type
    std::string origin;
    std::string destination;
    std::string callsign;     // also the tail number given to the simulator
    std::string coupledCs;
    std::string coupledCs2;
    std::string registration;
    double halfWingspan = 0.0;  // nm
    double cgHeight = 0.0;      // ft
    double staticPitch = 0.0;   // rad
    double takeOffPitch = 0.0;  // rad
    double climbPitch = 0.0;    // rad
    double groundTurnStep = 0.0;
    double turnStep = 0.0;
    double maxVerticalStep = 0.0;
    double manoeuvreSpeed = 0.0;
    std::uint32_t aircraftId = 0;  // > 10000 live (the service's hex id), <= 10000 static
    AcCategory category = AcCategory::Light;
    // The matched livery's title: a view into the livery table, which outlives
    // every record. A creation request copies it (AcCreation owns its title).
    std::string_view liveryTitle;
    std::uint32_t flareTicks = 0;
    std::uint32_t touchdownTicks = 0;
    std::uint32_t rotationTicks = 0;
    std::uint32_t climbTransitionTicks = 0;
    bool cargo = false;
    bool fsltlModel = false;
    bool coupledCsSearched = false;
};

// The object id, the state and the removal flags come last, in the part's last
// cache line (LiveAc puts its front copy of the samples beside them: the live
// update pass reads these of every record on every tick).
struct SimAc : AcIdentity {
    std::uint32_t birthDay = 0;
    std::uint32_t birthSlot = 0;
    std::uint32_t linkedAircraftId = 0;
    LatLon position;             // degrees
    double heading = 0.0;        // rad, true
    std::uint32_t standId = 0;
    std::uint32_t throttleStep = 5;  // 5 = never sent
    std::uint32_t flapsIndex = 4;
    std::uint32_t source = 1;
    std::uint32_t objectId = 0;  // 0 = no object
    SimState simState = SimState::buffer;
    bool cargoLook = false;
    bool removeAfterCreate = false;
    bool removedInBuffer = false;
    bool removedWhileQueued = false;
};

// One due position of a live aircraft: the tail of a TrafficRecord from its
// latitude up to (not including) its time.
struct PositionSample {
    double latitude = 0.0;      // degrees
    double longitude = 0.0;     // degrees
    double altitude = 0.0;      // ft
    double groundSpeed = 0.0;   // kt
    double track = 0.0;         // degrees
    double verticalRate = 0.0;  // ft/min
    double speed = 0.0;         // true airspeed, kt
    std::int32_t dueTick = 0;
    bool airborne = false;
    bool stationary = false;
    bool trueHeadingSet = false;
    std::optional<double> bank;         // rad
    std::optional<double> trueHeading;  // rad
};
PositionSample positionSampleFromTraffic(const TrafficRecord& record);
// A sample at a place, its true airspeed taken as the ground speed (scenes and tests).
PositionSample positionSampleAt(const LatLon& at, double groundSpeed, std::int32_t dueTick, double altitude,
                                bool airborne);

inline constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

// What the per-tick update reads of a live aircraft's front sample while that
// sample is not yet due: a copy kept beside the queue, so that the update of an
// aircraft with nothing due touches neither the queue nor its blocks.
struct SampleFront {
    std::int32_t dueTick = 0;
    bool present = false;         // the queue is not empty
    bool stationary = false;
    bool movingOnGround = false;  // not airborne, a ground speed other than 0
};

// What the ground roll reads on every tick of the sample it aims at: a copy
// kept among the roll's own fields (LiveAc::rollAim), so that a rolling
// aircraft touches neither the queue nor its blocks while the queue stays as it is.
struct SampleAim {
    LatLon place;                // the sample's position (degrees)
    std::uint32_t index = 0;     // which sample
    std::int32_t dueTick = 0;
    bool present = false;        // the queue holds a sample at index
    bool nextMoves = false;      // a sample follows it, and it does not stand
};

// The due samples of a live aircraft (oldest in front): a std::deque with the
// copy of its front (SampleFront), and the mark that says whether the roll's
// copy of a sample (SampleAim) still holds. Every way to change the queue or to
// reach one of its samples for writing marks the copies stale here, and
// frontCopy() / aimCopy() take them again from the queue when next read, so no
// caller can forget a refresh.
class SampleQueue {
public:
    using Container = std::deque<PositionSample>;
    using iterator = Container::iterator;
    using const_iterator = Container::const_iterator;

    SampleQueue() = default;
    SampleQueue(const SampleQueue& other) : queue_(other.queue_) {}
    SampleQueue(SampleQueue&& other) noexcept(std::is_nothrow_move_constructible_v<Container>)
        : queue_(std::move(other.queue_))
    {
        other.stale_ = allStale;
    }
    SampleQueue& operator=(const SampleQueue& other)
    {
        queue_ = other.queue_;
        stale_ = allStale;
        return *this;
    }
    SampleQueue& operator=(SampleQueue&& other) noexcept(std::is_nothrow_move_assignable_v<Container>)
    {
        queue_ = std::move(other.queue_);
        stale_ = other.stale_ = allStale;
        return *this;
    }
    SampleQueue& operator=(std::initializer_list<PositionSample> samples)
    {
        queue_ = samples;
        stale_ = allStale;
        return *this;
    }

    // The copy of the front, taken again from the queue when stale.
    SampleFront frontCopy()
    {
        if ((stale_ & frontStale) != 0) refresh();
        return {dueTick_, present_, stationary_, movingOnGround_};
    }
    // The copy of the sample at index, kept by the one reader in `copy`: taken
    // again from the queue when the queue changed since, or for another index.
    // One such copy per queue (LiveAc::rollAim): the mark is the queue's.
    const SampleAim& aimCopy(std::size_t index, SampleAim& copy)
    {
        if ((stale_ & aimStale) != 0 || copy.index != index) refreshAim(index, copy);
        return copy;
    }
    // Whether aimCopy(index, copy) would hand back `copy` as it is.
    bool aimHolds(std::size_t index, const SampleAim& copy) const
    {
        return (stale_ & aimStale) == 0 && copy.index == index;
    }

    bool empty() const { return queue_.empty(); }
    std::size_t size() const { return queue_.size(); }
    const PositionSample& front() const { return queue_.front(); }
    const PositionSample& back() const { return queue_.back(); }
    const PositionSample& operator[](std::size_t i) const { return queue_[i]; }
    const_iterator begin() const { return queue_.begin(); }
    const_iterator end() const { return queue_.end(); }

    // Writable access: the front may change through it.
    PositionSample& front()
    {
        stale_ = allStale;
        return queue_.front();
    }
    PositionSample& back()
    {
        changed(queue_.size() == 1);
        return queue_.back();
    }
    PositionSample& operator[](std::size_t i)
    {
        changed(i == 0);
        return queue_[i];
    }
    iterator begin()
    {
        stale_ = allStale;
        return queue_.begin();
    }
    iterator end()
    {
        stale_ = allStale;
        return queue_.end();
    }

    void push_back(const PositionSample& s)
    {
        changed(queue_.empty());
        queue_.push_back(s);
    }
    void push_front(const PositionSample& s)
    {
        stale_ = allStale;
        queue_.push_front(s);
    }
    void pop_front()
    {
        stale_ = allStale;
        queue_.pop_front();
    }
    void pop_back()
    {
        changed(queue_.size() == 1);
        queue_.pop_back();
    }
    void resize(std::size_t n)
    {
        changed(n == 0 || queue_.empty());
        queue_.resize(n);
    }
    void clear()
    {
        stale_ = allStale;
        queue_.clear();
    }
    iterator insert(const_iterator at, const PositionSample& s)
    {
        stale_ = allStale;
        return queue_.insert(at, s);
    }
    iterator erase(const_iterator at)
    {
        stale_ = allStale;
        return queue_.erase(at);
    }

private:
    static constexpr std::uint8_t frontStale = 1;
    static constexpr std::uint8_t aimStale = 2;
    static constexpr std::uint8_t allStale = frontStale | aimStale;

    // Any change marks the roll's copy stale; the front copy when the front may have changed.
    void changed(bool front) { stale_ |= front ? allStale : aimStale; }

    void refresh()
    {
        present_ = !queue_.empty();
        dueTick_ = 0;
        stationary_ = movingOnGround_ = false;
        if (present_) {
            const PositionSample& s = queue_.front();
            dueTick_ = s.dueTick;
            stationary_ = s.stationary;
            movingOnGround_ = !s.airborne && s.groundSpeed != 0;
        }
        stale_ &= ~frontStale;
    }
    void refreshAim(std::size_t index, SampleAim& copy)
    {
        copy = {};
        copy.index = static_cast<std::uint32_t>(index);
        copy.present = index < queue_.size();
        if (copy.present) {
            const PositionSample& s = queue_[index];
            copy.place = {s.latitude, s.longitude};
            copy.dueTick = s.dueTick;
            copy.nextMoves = index + 1 < queue_.size() && !queue_[index + 1].stationary;
        }
        stale_ &= ~aimStale;
    }

    // The front copy first: LiveAc puts it in the line of the state.
    std::int32_t dueTick_ = 0;
    bool present_ = false;
    bool stationary_ = false;
    bool movingOnGround_ = false;
    std::uint8_t stale_ = allStale;  // frontStale, aimStale
    Container queue_;
};

// What a tick of the ground roll of an aircraft on a straight leg works from and
// writes, besides its aimed sample's copy: compared bit for bit.
struct RollInputs {
    double latitude = 0.0;  // the position block's
    double longitude = 0.0;
    double heading = 0.0;
    double endLat = 0.0;  // rollEnd
    double endLon = 0.0;
    double cosLat = 0.0;
    double cap = 0.0;
    double speed = 0.0;
    double travelled = 0.0;
    double travel = 0.0;  // rollTravel (rollCos and rollSin go with it)
    std::uint32_t index = 0;
    bool straight = false;
    bool stops = false;
};

// The active quadratic curve on the ground: active while ctrlEast and
// ctrlNorth are both numbers.
struct GroundCurve {
    double ctrlEast = notANumber;  // m; first: the per-tick update asks active() of every aircraft
    double ctrlNorth = notANumber;
    double originLat = 0.0;  // deg
    double originLon = 0.0;
    double tStart = 0.0;
    double endNorth = 0.0;  // m
    double endEast = 0.0;
    double tEnd = 0.0;
    // Degrees of longitude per metre east at the origin: 1 / (cos(originLat) x
    // metres per degree), set with the curve; 0: worked out when used.
    double lonPerMetre = 0.0;
    bool active() const { return !std::isnan(ctrlEast) && !std::isnan(ctrlNorth); }
};

// Aligned to a cache line, so that the groups below fall on the same lines of
// every record. The per-tick update of an aircraft with nothing due reads: the
// line of the object id, the state, the removal flags and the front copy of the
// queue (all that a waiting buffered aircraft needs); the line of the phase, the
// flags and the first steps; the position block; the line of the other steps and
// the curve's control point; and one line of the identity (the pitches and turn
// steps). The deque itself lies between the first two, read only at a due sample.
// A rolling aircraft reads the roll's line and the line of its copy of the
// sample it aims at (rollAim) too, and the curve's length table on a curve;
// an aircraft in the air the line of its speed changes (after the curve).
struct alignas(64) LiveAc : SimAc {
    // --- read or written on every tick of an active aircraft ---
    SampleQueue samples;  // oldest in front; its front copy in the line of the state
    AcPhase phase = AcPhase::birth;
    std::uint32_t flareStage = 0;
    bool turning = false;
    bool groundReplySeen = false;
    bool landing = false;
    bool takeOffRoll = false;
    bool rollingOut = false;
    bool touchdownPitch = false;
    // The ground roll (taxi, push-back, roll-out, drive into a stand): the
    // aircraft moves along its nose (its tail while pushed back) towards the end
    // of its leg, or along the curve by distance, at a speed that changes by a
    // bounded step a tick; that speed is the one shown.
    bool rolling = false;
    bool rollStops = false;      // the leg ends at a standstill
    double heightAboveGround = 2500.0;  // ft, as the simulator last reported it
    double latStep = 0.0;  // deg per tick
    double lonStep = 0.0;
    double pitchStep = 0.0;  // rad per tick
    AcPositionBlock posBlock{};  // a line of its own
    double bankStep = 0.0;
    double headingStep = 0.0;
    double altStep = 0.0;        // ft per tick
    double targetBearing = 0.0;  // rad
    std::int32_t countdown = 1;
    // The ground under the aircraft (ft): as the simulator last reported it;
    // until its first report, where a sample on the ground puts it (the park
    // airport's elevation); -infinity while unknown. No position goes out lower
    // than the aircraft standing on it, cgHeight above (keepAboveGround). A float
    // in the room beside countdown: no line of the record moves for it.
    float groundAltitudeFt = -std::numeric_limits<float>::infinity();
    GroundCurve curve;
    // In the air the speed changes evenly along a leg: latStep and lonStep
    // change by these a tick (deg), the speed shown by speedStep (kt). airLeg
    // says that the steps are of such a leg (the speed flown now is theirs).
    double latStepChange = 0.0;
    double lonStepChange = 0.0;
    double speedStep = 0.0;
    bool airLeg = false;
    double curveT = 0.0;
    double curveTStep = 0.0;
    bool rollStraight = false;   // straight at rollEnd, the curve left (or none)
    std::uint32_t rollIndex = 0; // the sample the roll aims at (0: the front)
    double rollSpeed = 0.0;      // kt over the ground, never negative
    double rollCap = 0.0;        // kt, the most the leg may be rolled at
    double rollCosLat = 1.0;     // cos of the latitude at the leg start
    double moveKt = 0.0;         // kt of the leg flown by latStep and lonStep
    double rollTravelled = 0.0;  // m along the curve
    LatLon rollEnd;              // end of the straight leg
    // A line of its own, read only by a rolling aircraft: the copy of the
    // sample the roll aims at (samples.aimCopy), and the cosine and sine of the
    // last direction rolled in (rollCos, rollSin of rollTravel).
    SampleAim rollAim;
    double rollTravel = notANumber;  // rad
    double rollCos = notANumber;
    double rollSin = notANumber;
    // What the roll works from, as it was after a tick of the ground roll that
    // changed none of it (at rest at the end of its leg), and whether it holds:
    // the same again gives the same tick again (live_update.cpp).
    RollInputs rollRest;
    bool rollRestHolds = false;
    std::array<double, 17> curveArc{};  // m along the curve at u = i / 16

    // --- read or written at a due sample ---
    AcPhase prevPhase = AcPhase::birth;
    std::int32_t dueLead = 1000;
    std::int32_t dueLag = 1000;
    std::int32_t parkProgress = 0;
    // The tick of the simulator's last report of the ground under the aircraft
    // (groundAltitudeFt), when there was one: a report goes stale once the
    // simulator stops sending them (the aircraft climbed out of their band).
    std::int32_t groundReportTick = 0;
    bool groundReported = false;
    double verticalSpeed = 0.0;  // ft/min
    double signedSpeed = 0.0;    // kt, negative while pushing back
    double curveAngle = 0.0;     // deg
    double turnAngle = 0.0;      // deg
    double flareHeight = 0.0;  // ft

    // --- the sample queue ---
    double lastSampleTime = 0.0;         // s, of the last record merged
    // Ticks the aircraft runs behind the feed's schedule (negative: ahead): the
    // samples that fell due while the simulator created the object are flown
    // from the activation on, and every later sample is due this much later too.
    // The re-timing works it off (lf_retime in position_prediction.cpp).
    std::int32_t dueShift = 0;
    // The pace of the last cruising leg against the speed served (1: as served),
    // between 0.9 and 1.1 while the aircraft comes back to the feed's schedule.
    double feedPace = 1.0;

    // --- working state of movement, landing and parking ---
    LatLon collisionTestPosition;  // the static-collision test (position at the last test)
    double parkingValue = 0.0;
    std::uint32_t updateValue = 0;
    bool standReported = false;
    bool flightPlanSent = false;
    bool holdForUser = false;
    bool updateFlag = false;
    bool holding = false;
    std::uint32_t holdStartTick = 0;
    bool holdLostMoving = false;  // the hold began when the fixes stopped while it moved
    bool departurePending = false;
    std::int32_t pushBackCountdown = 0;
    bool pushBackTurnRight = false;
    bool pushBackTurnKnown = false;
    std::optional<PositionSample> pushBackAltEnd;
    double nearestSampleNm = 0.0;
    bool towed = false;
    double touchdownHeading = 0.0;  // rad
    std::int64_t parkedSince = 0;   // system time in 100 ns ticks
    double standDistanceFirst = 0.0;  // nm, arrival check
    double standDistanceLast = 0.0;
    std::uint32_t standDistanceCount = 0;
    std::uint32_t parkingCounter = 0;
    double savedHeading = 0.0;  // rad
    LatLon lastStandSearchPosition;
    std::optional<double> flareGroundAlt;    // ft
    std::optional<double> respawnHeading;    // rad, kept over a livery respawn
    std::optional<bool> pushBackChoice;
    std::optional<double> landingAltOffset;  // ft
    std::uint32_t onGroundSlots = 0;
    bool goAround = false;
    bool justLanded = false;
    bool lowAltLights = false;
    bool highAltLights = false;
    bool curveFailLogged = false;  // the failing curve was logged (once per curve)
};

// The global containers (live for the whole run; engine thread).
extern std::vector<LiveAc>& liveAircraft;  // reserved 512
extern std::vector<SimAc>& staticAircraft;  // reserved 256

// An identity from a decoded traffic record: its eight texts and the searched
// flag, span and category from the type, the per-category constants (the two
// pitches with their random variation); aircraft id 0, no livery.
AcIdentity acIdentityFromTraffic(const TrafficRecord& record);
AcIdentity acIdentityFromTraffic(const ParkedTrafficRecord& record);
// Copies every AcIdentity field of source into target.
void copyAcIdentity(AcIdentity& target, const AcIdentity& source);
// A static aircraft at a stand.
void initStaticAc(SimAc& ac, const AcIdentity& identity, std::uint32_t standId, const LatLon& standPosition,
                  double standHeading, bool cargo);
// A live aircraft with its first sample.
LiveAc newLiveAc(const PositionSample& first, const AcIdentity& identity, double time);
// What the livery match looks at of the aircraft (its title included).
LiveryRequest liveryRequest(const AcIdentity& ac);

// "{:3} {:4}" of airline and type.
std::string acTypeText(const AcIdentity& ac);
// "{:3}->{:3}" of origin and destination; eight blanks when both are empty.
std::string acRouteText(const AcIdentity& ac);
// Route, callsign ({:8}), registration, then the type text.
std::string acDescription(const AcIdentity& ac);
// "{:8}" of callsign, registration, type text.
std::string acDescription3(const AcIdentity& ac);
// Type text, a blank, registration.
std::string acTypeRegText(const AcIdentity& ac);
// Not empty, not "@@@@@@@@", fewer than 9 characters.
bool callsignUsable(std::string_view callsign);
// Three letters and a digit at the start: the three letters upper-cased.
std::optional<std::string> airlineFromCallsign(std::string_view callsign);
// airline := airlineFromCallsign(callsign) when there is one; true then.
bool setAirlineFromCallsign(AcIdentity& ac);
// Light, HighPerf and Rotorcraft as their options say; the others always; other values never.
bool lf_isCategoryIncluded(AcCategory category);
// Erases one live record: the last record moves into its place.
void eraseLiveAc(LiveAc& ac);

// The creation request for a live aircraft from its position block (angles to
// degrees), on the ground unless the front sample is airborne, airspeed 0.
AcCreation liveAcCreation(const LiveAc& ac);
