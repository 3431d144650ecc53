// The injected-aircraft records: defaults, the per-category constants, the
// identity from a traffic record, the texts and the small helpers.

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <functional>
#include <random>
#include <utility>
#include <vector>

#include "core/livery_services_fake.h"
#include "core/options.h"
#include "core/random.h"
#include "engine/ac_records.h"
#include "traffic_service/parked_record.h"
#include "traffic_service/traffic_record.h"

namespace {

constexpr double deg = 0.017453292519943295;

AcIdentity identity(std::string airline, std::string type, std::string origin, std::string destination,
                    std::string callsign, std::string registration)
{
    AcIdentity id;
    id.airline = std::move(airline);
    id.type = std::move(type);
    id.origin = std::move(origin);
    id.destination = std::move(destination);
    id.callsign = std::move(callsign);
    id.registration = std::move(registration);
    return id;
}

TEST(AcRecords, EnumNameTablesAreInValueOrder)
{
    for (std::size_t i = 0; i < simStateNames.size(); ++i) EXPECT_EQ(static_cast<std::size_t>(simStateNames[i].value), i);
    for (std::size_t i = 0; i < acPhaseNames.size(); ++i) EXPECT_EQ(static_cast<std::size_t>(acPhaseNames[i].value), i);
    EXPECT_EQ(simStateText(SimState::removingfromsim), "removingfromsim");
    EXPECT_EQ(acPhaseText(AcPhase::birth), "birth");
    EXPECT_EQ(acPhaseText(static_cast<AcPhase>(9)), "?");
    EXPECT_EQ(acCategoryText(AcCategory::Buzjets), "Buzjets");
    EXPECT_EQ(acCategoryText(static_cast<AcCategory>(6)), "?");
}

TEST(AcRecords, CategoryTableInRadians)
{
    const CategoryConstants& heavy = categoryConstants(AcCategory::Heavy);
    EXPECT_EQ(heavy.flareTicks, 450u);
    EXPECT_EQ(heavy.climbTransitionTicks, 400u);
    EXPECT_DOUBLE_EQ(heavy.takeOffPitch, -5.0 * deg);
    EXPECT_DOUBLE_EQ(heavy.climbPitch, -12.5 * deg);
    EXPECT_DOUBLE_EQ(heavy.groundTurnStep, 0.05 * deg);
    EXPECT_DOUBLE_EQ(heavy.maxVerticalStep, 0.5);
    EXPECT_DOUBLE_EQ(heavy.manoeuvreSpeed, 3.0);
    const CategoryConstants& rotor = categoryConstants(AcCategory::Rotorcraft);
    EXPECT_DOUBLE_EQ(rotor.takeOffPitch, -20.0 * deg);
    EXPECT_EQ(rotor.rotationTicks, 100u);
    EXPECT_THROW(categoryConstants(static_cast<AcCategory>(6)), std::out_of_range);
    EXPECT_THROW(categoryConstants(static_cast<AcCategory>(-1)), std::out_of_range);
}

TEST(AcRecords, IdentityFromTrafficWithVariedPitches)
{
    LiveryServicesFake liveries;
    liveries.categories["A320"] = AcCategory::Large;
    liveries.halfSpans["A320"] = 0.0097;
    TrafficRecord r;
    r.airline = "DLH";
    r.type = "A320";
    r.origin = "EDDF";
    r.destination = "LSZH";
    r.callsign = "DLH4AB";
    r.coupledCs = "DLH4AB";
    r.registration = "D-AIZA";
    r.coupledCsSearched = true;
    r.aircraftId = 0x3C6444;
    seedRandomEngine(1234);
    const CategoryConstants& large = categoryConstants(AcCategory::Large);
    bool above = false, below = false;
    for (int i = 0; i < 200; ++i) {
        const AcIdentity id = acIdentityFromTraffic(r);
        EXPECT_EQ(id.category, AcCategory::Large);
        EXPECT_EQ(id.halfWingspan, 0.0097);
        EXPECT_EQ(id.aircraftId, 0u);  // the caller sets it
        EXPECT_TRUE(id.liveryTitle.empty());
        EXPECT_EQ(id.flareTicks, 400u);
        EXPECT_EQ(id.groundTurnStep, large.groundTurnStep);
        EXPECT_EQ(id.manoeuvreSpeed, 0.0);  // set when the live aircraft is added
        EXPECT_NEAR(std::fabs(id.takeOffPitch), std::fabs(large.takeOffPitch), std::fabs(large.takeOffPitch) * 0.025 + 1e-12);
        EXPECT_NEAR(std::fabs(id.climbPitch), std::fabs(large.climbPitch), std::fabs(large.climbPitch) * 0.05 + 1e-12);
        above |= id.climbPitch > large.climbPitch;
        below |= id.climbPitch < large.climbPitch;
        if (i == 0) {
            EXPECT_EQ(id.airline, "DLH");
            EXPECT_EQ(id.destination, "LSZH");
            EXPECT_EQ(id.registration, "D-AIZA");
            EXPECT_TRUE(id.coupledCsSearched);
        }
    }
    EXPECT_TRUE(above && below);

    ParkedTrafficRecord parked;
    parked.type = "A320";
    parked.callsign = "DLH5";
    EXPECT_EQ(acIdentityFromTraffic(parked).category, AcCategory::Large);
}

TEST(AcRecords, NewLiveAcDefaults)
{
    PositionSample s;
    s.latitude = 47.46;
    s.airborne = true;
    const LiveAc ac = newLiveAc(s, identity("SWR", "A220", "", "", "SWR12", "HB-JCA"), 1700000000.5);
    EXPECT_EQ(ac.simState, SimState::buffer);
    EXPECT_EQ(ac.phase, AcPhase::birth);
    EXPECT_EQ(ac.prevPhase, AcPhase::birth);
    EXPECT_FALSE(ac.curve.active());  // NaN control points
    EXPECT_TRUE(std::isnan(ac.curve.ctrlEast) && std::isnan(ac.curve.ctrlNorth));
    EXPECT_EQ(ac.samples.size(), 1u);
    EXPECT_EQ(ac.samples.front().latitude, 47.46);
    EXPECT_EQ(ac.lastSampleTime, 1700000000.5);
    EXPECT_EQ(ac.heightAboveGround, 2500.0);
    EXPECT_EQ(ac.dueLead, 1000);
    EXPECT_EQ(ac.dueLag, 1000);
    EXPECT_EQ(ac.countdown, 1);
    EXPECT_EQ(ac.throttleStep, 5u);
    EXPECT_EQ(ac.flapsIndex, 4u);
    EXPECT_EQ(ac.source, 1u);
    EXPECT_EQ(ac.callsign, "SWR12");
    EXPECT_FALSE(ac.pushBackAltEnd.has_value());
}

TEST(AcRecords, StaticAcAtAStand)
{
    SimAc ac;
    ac.objectId = 99;
    ac.removedInBuffer = true;
    initStaticAc(ac, identity("EZY", "A319", "", "", "EZY1*", "G-EZAA"), 17, {47.45, 8.56}, 1.5, true);
    EXPECT_EQ(ac.objectId, 0u);
    EXPECT_FALSE(ac.removedInBuffer);
    EXPECT_EQ(ac.standId, 17u);
    EXPECT_EQ(ac.position, (LatLon{47.45, 8.56}));
    EXPECT_EQ(ac.heading, 1.5);
    EXPECT_TRUE(ac.cargoLook);
    EXPECT_EQ(ac.callsign, "EZY1*");
    EXPECT_EQ(ac.simState, SimState::buffer);
}

TEST(AcRecords, Texts)
{
    struct Case {
        AcIdentity id;
        std::string route, description, description3, typeReg;
    } cases[] = {
        {identity("DLH", "A320", "EDDF", "LSZH", "DLH4AB", "D-AIZA"), "EDDF->LSZH",
         "EDDF->LSZH DLH4AB   D-AIZA DLH A320", "DLH4AB   D-AIZA DLH A320", "DLH A320 D-AIZA"},
        {identity("SW", "B38M", "", "KLAX", "SWA1", ""), "   ->KLAX", "   ->KLAX SWA1      SW  B38M",
         "SWA1      SW  B38M", "SW  B38M "},
        {identity("", "C172", "", "", "N12345", "N12345"), "        ", "         N12345   N12345     C172",
         "N12345   N12345     C172", "    C172 N12345"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(acRouteText(c.id), c.route);
        EXPECT_EQ(acDescription(c.id), c.description);
        EXPECT_EQ(acDescription3(c.id), c.description3);
        EXPECT_EQ(acTypeRegText(c.id), c.typeReg);
    }
    EXPECT_EQ(acTypeText(identity("DLH", "A320", "", "", "", "")), "DLH A320");
}

TEST(AcRecords, CallsignsAndAirlines)
{
    EXPECT_TRUE(callsignUsable("DLH4ABCD"));
    EXPECT_FALSE(callsignUsable("DLH4ABCDE"));
    EXPECT_FALSE(callsignUsable(""));
    EXPECT_FALSE(callsignUsable("@@@@@@@@"));
    EXPECT_EQ(airlineFromCallsign("abc1"), std::optional<std::string>("ABC"));
    EXPECT_EQ(airlineFromCallsign("DLH4AB"), std::optional<std::string>("DLH"));
    EXPECT_EQ(airlineFromCallsign("AB1C"), std::nullopt);
    EXPECT_EQ(airlineFromCallsign("ABC"), std::nullopt);
    EXPECT_EQ(airlineFromCallsign("\xC3\xA4" "BC1"), std::nullopt);
    AcIdentity id = identity("XXX", "A320", "", "", "ezy12", "");
    EXPECT_TRUE(setAirlineFromCallsign(id));
    EXPECT_EQ(id.airline, "EZY");
    id.callsign = "N123AB";
    EXPECT_FALSE(setAirlineFromCallsign(id));
    EXPECT_EQ(id.airline, "EZY");
}

TEST(AcRecords, CategoriesIncludedByOptions)
{
    LIGHT_AIRCRAFT.set(false);
    HIGH_PERF_AIRCRAFT.set(true);
    HELICOPTERS.set(false);
    EXPECT_FALSE(lf_isCategoryIncluded(AcCategory::Light));
    EXPECT_TRUE(lf_isCategoryIncluded(AcCategory::HighPerf));
    EXPECT_FALSE(lf_isCategoryIncluded(AcCategory::Rotorcraft));
    EXPECT_TRUE(lf_isCategoryIncluded(AcCategory::Buzjets));
    EXPECT_TRUE(lf_isCategoryIncluded(AcCategory::Heavy));
    EXPECT_FALSE(lf_isCategoryIncluded(static_cast<AcCategory>(6)));
    LIGHT_AIRCRAFT.reset();
    HIGH_PERF_AIRCRAFT.reset();
    HELICOPTERS.reset();
}

TEST(AcRecords, EraseMovesTheLastRecordIn)
{
    liveAircraft.clear();
    for (std::uint32_t id : {11000u, 12000u, 13000u}) {
        LiveAc ac;
        ac.aircraftId = id;
        liveAircraft.push_back(std::move(ac));
    }
    eraseLiveAc(liveAircraft[0]);
    ASSERT_EQ(liveAircraft.size(), 2u);
    EXPECT_EQ(liveAircraft[0].aircraftId, 13000u);
    EXPECT_EQ(liveAircraft[1].aircraftId, 12000u);
    eraseLiveAc(liveAircraft[1]);  // the last one itself
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].aircraftId, 13000u);
    liveAircraft.clear();
}

TEST(AcRecords, CreationRequestOwnsItsTitle)
{
    std::string table = "Airbus A320 Lufthansa";
    LiveAc ac;
    ac.callsign = "DLH4AB";
    ac.aircraftId = 0x3C6444;
    ac.liveryTitle = table;
    ac.posBlock.latitude = 50.0;
    ac.posBlock.heading = 3.141592653589793;
    ac.posBlock.pitch = -0.05;
    PositionSample s;
    s.airborne = true;
    ac.samples.push_back(s);
    const AcCreation c = liveAcCreation(ac);
    table = "changed";  // the livery table moves on; the request keeps its copy
    EXPECT_EQ(c.liveryTitle, "Airbus A320 Lufthansa");
    EXPECT_EQ(c.initPosition.Latitude, 50.0);
    EXPECT_DOUBLE_EQ(c.initPosition.Heading, 180.0);
    EXPECT_DOUBLE_EQ(c.initPosition.Pitch, -0.05 * 57.29577951308232);
    EXPECT_EQ(c.initPosition.OnGround, 0u);
    EXPECT_EQ(c.initPosition.Airspeed, 0u);
    EXPECT_EQ(c.aircraftId, 0x3C6444u);
}

TEST(AcRecords, LiveryRequestCarriesTheMatchFields)
{
    AcIdentity ac;
    ac.airline = "DLH";
    ac.type = "A320";
    ac.registration = "D-AIZA";
    ac.callsign = "DLH4AB";
    ac.origin = "EDDF";
    ac.destination = "LSZH";
    ac.category = AcCategory::Large;
    ac.cargo = true;
    const std::string title = "Airbus A320 Lufthansa";
    ac.liveryTitle = title;
    const LiveryRequest r = liveryRequest(ac);
    EXPECT_EQ(r.airline, "DLH");
    EXPECT_EQ(r.type, "A320");
    EXPECT_EQ(r.registration, "D-AIZA");
    EXPECT_EQ(r.callsign, "DLH4AB");
    EXPECT_EQ(r.origin, "EDDF");
    EXPECT_EQ(r.destination, "LSZH");
    EXPECT_EQ(r.category, AcCategory::Large);
    EXPECT_TRUE(r.cargo);
    EXPECT_EQ(r.title.data(), title.data());
}

}  // namespace

#include "engine/timed_queues.h"

namespace {

TEST(TimedQueues, WithdrawingAQueuedCreation)
{
    clearTimedQueues();
    // Two live aircraft may share a callsign (their types differ): only the one asked for is withdrawn.
    lf_pushCreation(liveCreationQueue, AcCreation{{}, "AAL1", "T", 11000});
    lf_pushCreation(liveCreationQueue, AcCreation{{}, "DLH2", "T", 12000});
    lf_pushCreation(liveCreationQueue, AcCreation{{}, "AAL1", "T", 13000});
    EXPECT_FALSE(isCreationPending(liveCreationQueue, "", 11000));
    EXPECT_FALSE(isCreationPending(liveCreationQueue, "UAL3", 11000));
    EXPECT_FALSE(isCreationPending(liveCreationQueue, "AAL1", 12000));
    EXPECT_TRUE(isCreationPending(liveCreationQueue, "AAL1", 13000));
    ASSERT_EQ(liveCreationQueue.size(), 2u);
    EXPECT_EQ(liveCreationQueue.front().aircraftId, 11000u);
    EXPECT_EQ(liveCreationQueue.back().callsign, "DLH2");
    clearTimedQueues();
    EXPECT_TRUE(liveCreationQueue.empty());
}

}  // namespace

// The front copy of a live aircraft's sample queue always says what the queue's
// front says, and the roll's copy of a sample what that sample says, whatever
// changed the queue and however its samples were reached.
namespace {

PositionSample queueSample(std::int32_t due, bool airborne, double groundSpeed, bool stationary)
{
    PositionSample s = positionSampleAt({52.0, 4.0}, groundSpeed, due, airborne ? 3000.0 : 0.0, airborne);
    s.stationary = stationary;
    return s;
}

SampleFront frontOf(const SampleQueue& q)
{
    if (q.empty()) return {};
    const PositionSample& s = q.front();
    return {s.dueTick, true, s.stationary, !s.airborne && s.groundSpeed != 0};
}

void expectCopyIsFront(SampleQueue& q)
{
    const SampleFront want = frontOf(q);
    const SampleFront got = q.frontCopy();
    EXPECT_EQ(got.present, want.present);
    EXPECT_EQ(got.dueTick, want.dueTick);
    EXPECT_EQ(got.stationary, want.stationary);
    EXPECT_EQ(got.movingOnGround, want.movingOnGround);
}

// The roll's copy of the sample at index, worked out plainly from the queue.
SampleAim aimOf(const SampleQueue& q, std::size_t index)
{
    SampleAim a;
    a.index = static_cast<std::uint32_t>(index);
    a.present = index < q.size();
    if (a.present) {
        a.place = {q[index].latitude, q[index].longitude};
        a.dueTick = q[index].dueTick;
        a.nextMoves = index + 1 < q.size() && !q[index + 1].stationary;
    }
    return a;
}

::testing::AssertionResult aimIs(SampleQueue& q, std::size_t index, SampleAim& copy)
{
    const SampleAim want = aimOf(std::as_const(q), index);
    const SampleAim& got = q.aimCopy(index, copy);
    if (got.present == want.present && got.dueTick == want.dueTick && got.place == want.place &&
        got.nextMoves == want.nextMoves && got.index == want.index)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "index " << index << ": copy present " << got.present << " due "
                                         << got.dueTick << " next moves " << got.nextMoves << ", queue present "
                                         << want.present << " due " << want.dueTick << " next moves "
                                         << want.nextMoves;
}

struct QueueChange {
    const char* name;
    std::function<void(SampleQueue&)> change;
};

// Every kind of change, on a queue of the three samples of queueChangeBase().
std::vector<QueueChange> queueChanges()
{
    const PositionSample a = queueSample(100, true, 250, false);
    const PositionSample b = queueSample(200, false, 12, false);
    const PositionSample c = queueSample(300, false, 0, true);
    PositionSample d = queueSample(400, false, 14, false);
    d.latitude = 52.1;
    return {
        {"push_back into an empty queue", [=](SampleQueue& q) { q.clear(), q.push_back(b); }},
        {"push_back behind the front", [=](SampleQueue& q) { q.push_back(c); }},
        {"push_back of a moving one behind a standing one", [=](SampleQueue& q) { q.resize(2), q.push_back(d); }},
        {"push_front", [=](SampleQueue& q) { q.push_front(c); }},
        {"pop_front", [](SampleQueue& q) { q.pop_front(); }},
        {"pop_back of the last one", [](SampleQueue& q) { q.resize(1), q.pop_back(); }},
        {"pop_back behind the front", [=](SampleQueue& q) { q.push_back(c), q.pop_back(); }},
        {"pop_back of the sample behind", [](SampleQueue& q) { q.pop_back(); }},
        {"resize to one", [](SampleQueue& q) { q.resize(1); }},
        {"resize to two", [](SampleQueue& q) { q.resize(2); }},
        {"resize to none", [](SampleQueue& q) { q.resize(0); }},
        {"resize of an empty queue", [](SampleQueue& q) { q.clear(), q.resize(2); }},
        {"clear", [](SampleQueue& q) { q.clear(); }},
        {"insert at the front", [=](SampleQueue& q) { q.insert(q.begin(), c); }},
        {"insert behind the front", [=](SampleQueue& q) { q.insert(q.begin() + 1, c); }},
        {"erase the front", [](SampleQueue& q) { q.erase(q.begin()); }},
        {"erase behind the front", [](SampleQueue& q) { q.erase(q.begin() + 1); }},
        {"front() written", [](SampleQueue& q) { q.front().dueTick = 7; }},
        {"front() made to roll", [](SampleQueue& q) { q.front().airborne = false, q.front().groundSpeed = 3; }},
        {"front() moved", [](SampleQueue& q) { q.front().longitude = 4.5; }},
        {"[0] written", [](SampleQueue& q) { q[0].stationary = !q[0].stationary; }},
        {"[1] written", [](SampleQueue& q) { q[1].dueTick = 9; }},
        {"[1] made to stand", [](SampleQueue& q) { q[1].stationary = true; }},
        {"[2] made to move", [](SampleQueue& q) { q[2].stationary = false; }},
        {"[2] moved", [](SampleQueue& q) { q[2].latitude = 51.9; }},
        {"back() of a single sample written", [](SampleQueue& q) { q.resize(1), q.back().dueTick = 11; }},
        {"back() behind the front written", [](SampleQueue& q) { q.back().dueTick = 12; }},
        {"through an iterator", [](SampleQueue& q) { for (PositionSample& s : q) s.dueTick += 5; }},
        {"through a kept reference", [](SampleQueue& q) {
             PositionSample& s0 = q.front();
             q.push_back(queueSample(400, true, 200, false));
             s0.dueTick = 13;
         }},
        {"assigned a list", [=](SampleQueue& q) { q = {c, a}; }},
        {"copied from another", [=](SampleQueue& q) {
             SampleQueue other;
             other.push_back(b);
             (void)other.frontCopy();
             q = other;
         }},
        {"moved from another", [=](SampleQueue& q) {
             SampleQueue other;
             other.push_back(c);
             (void)other.frontCopy();
             q = std::move(other);
         }},
    };
}

SampleQueue queueChangeBase()
{
    SampleQueue q;
    q = {queueSample(100, true, 250, false), queueSample(200, false, 12, false), queueSample(300, false, 0, true)};
    return q;
}

}  // namespace

TEST(SampleQueue, TheFrontCopyFollowsEveryChange)
{
    for (const QueueChange& row : queueChanges()) {
        SCOPED_TRACE(row.name);
        SampleQueue q = queueChangeBase();
        expectCopyIsFront(q);  // read before the change: the copy is current
        row.change(q);
        expectCopyIsFront(q);
    }
}

TEST(SampleQueue, TheRollsCopyFollowsEveryChange)
{
    for (const QueueChange& row : queueChanges()) {
        SCOPED_TRACE(row.name);
        for (std::size_t index = 0; index < 4; ++index) {
            SampleQueue q = queueChangeBase();
            SampleAim copy;
            EXPECT_TRUE(aimIs(q, index, copy));  // taken before the change: the copy is current
            row.change(q);
            EXPECT_TRUE(aimIs(q, index, copy));
            EXPECT_TRUE(aimIs(q, index, copy));  // and kept while nothing changes
        }
    }
}

TEST(SampleQueue, TheRollsCopyIsTakenAgainForAnotherIndex)
{
    SampleQueue q = queueChangeBase();
    SampleAim copy;
    for (std::size_t index : {0u, 1u, 0u, 2u, 3u, 1u}) {
        SCOPED_TRACE(index);
        EXPECT_TRUE(aimIs(q, index, copy));
    }
}

TEST(SampleQueue, ACopyOrAMovedFromQueueHasItsOwnFront)
{
    SampleQueue q;
    q.push_back(queueSample(100, true, 250, false));
    (void)q.frontCopy();
    SampleQueue copy(q);
    expectCopyIsFront(copy);
    SampleQueue moved(std::move(q));
    expectCopyIsFront(moved);
    expectCopyIsFront(q);  // moved from: whatever the queue holds now
    q.push_back(queueSample(5, false, 0, true));
    expectCopyIsFront(q);
}

TEST(SampleQueue, RandomChangesAgainstAPlainQueue)
{
    // Seeded: every change the queue offers, with the copies read between them.
    std::mt19937 random(26);
    SampleQueue q;
    SampleAim aimCopy;
    std::deque<PositionSample> plain;
    for (int step = 0; step < 20000; ++step) {
        PositionSample s = queueSample(static_cast<std::int32_t>(random() % 1000), random() % 2 == 0,
                                       static_cast<double>(random() % 3), random() % 2 == 0);
        s.latitude += static_cast<double>(random() % 100) * 1e-3;
        const std::size_t n = plain.size();
        switch (random() % 9) {
        case 0: q.push_back(s), plain.push_back(s); break;
        case 1: q.push_front(s), plain.push_front(s); break;
        case 2: if (n > 0) q.pop_front(), plain.pop_front(); break;
        case 3: if (n > 0) q.pop_back(), plain.pop_back(); break;
        case 4: q.resize(n / 2), plain.resize(n / 2); break;
        case 5: if (n > 0) { const std::size_t i = random() % n; q[i] = s, plain[i] = s; } break;
        case 6: if (n > 0) q.back() = s, plain.back() = s; break;
        case 7: if (n > 1) q.erase(q.begin() + 1), plain.erase(plain.begin() + 1); break;
        default: {
            const auto at = static_cast<std::ptrdiff_t>(n > 0 ? random() % n : 0);
            q.insert(q.begin() + at, s), plain.insert(plain.begin() + at, s);
            break;
        }
        }
        if (random() % 3 != 0) continue;  // reads in between, not after every change
        ASSERT_EQ(q.size(), plain.size());
        // The roll asks for one index for a while, then another.
        const std::size_t index = static_cast<std::size_t>(step / 500 % 4);
        const SampleAim& aim = q.aimCopy(index, aimCopy);
        ASSERT_EQ(aim.present, index < plain.size()) << "step " << step;
        if (aim.present) {
            ASSERT_EQ(aim.dueTick, plain[index].dueTick) << "step " << step;
            ASSERT_EQ(aim.place, (LatLon{plain[index].latitude, plain[index].longitude})) << "step " << step;
            ASSERT_EQ(aim.nextMoves, index + 1 < plain.size() && !plain[index + 1].stationary) << "step " << step;
        }
        const SampleFront got = q.frontCopy();
        ASSERT_EQ(got.present, !plain.empty()) << "step " << step;
        if (!plain.empty()) {
            ASSERT_EQ(got.dueTick, plain.front().dueTick) << "step " << step;
            ASSERT_EQ(got.stationary, plain.front().stationary) << "step " << step;
            ASSERT_EQ(got.movingOnGround, !plain.front().airborne && plain.front().groundSpeed != 0) << "step " << step;
        }
    }
}
