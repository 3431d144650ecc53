#include "simlink/user_aircraft.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#include "core/airport_services.h"
#include "core/app_services.h"
#include "core/errors.h"
#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_state.h"
#include "core/tick_wake.h"
#include "simlink/ac_category.h"
#include "simlink/sim_client.h"
#include "simlink/sim_handover.h"
#include "simlink/sim_queues.h"

std::atomic<bool> userOnGround{false};
std::atomic<bool> userOnGroundKnown{false};
std::atomic<bool> newSecondFlag{false};
std::atomic<std::int64_t> simUtcEpoch{0};

namespace {

constexpr std::size_t lf_titleLength = 48;
constexpr double lf_teleportNm = 10.0;

// Guarded by simQueueMutex: the state of the last 109 reply, the state last
// handed to the engine, and the previous position.
UserAcState lf_state{};
UserAcState lf_handedState{};
LatLon lf_lastPosition{};

SharedText& lf_title = *new SharedText;
SharedText& lf_standText = *new SharedText;
std::atomic<double> lf_halfWingspan{std::numeric_limits<double>::quiet_NaN()};

std::mutex& lf_neighboursMutex = *new std::mutex;
std::shared_ptr<const UserAcNeighbours>& lf_neighbours = *new std::shared_ptr<const UserAcNeighbours>;

std::shared_ptr<const UserAcNeighbours> lf_getNeighbours()
{
    std::lock_guard lock(lf_neighboursMutex);
    return lf_neighbours;
}

std::string lf_nearestStand(const LatLon& position)
{
    const auto n = lf_getNeighbours();
    return n && n->nearestStandAirport ? n->nearestStandAirport(position) : std::string();
}

bool lf_contains(std::string_view text, std::string_view part)
{
    return text.find(part) != text.npos;
}

// Steps 3 to 8 of the model handling; the caller turns foreign exceptions into code 73.
void lf_handleModel(std::string model)
{
    logLineIndented(vr::format("model raw: {}", model));
    std::string report = "SimConnect: User aircraft model: " + model;
    if (lf_contains(model, "camerapod") || lf_contains(model, "Crew Vessel")) {
        // Not an aircraft: take a middle-sized span.
        statusPanel().userAircraftKnown = true;
        repaintStatusPanel();
        logLineIndented(report);
        lf_halfWingspan = gf_halfWingspan("E190");
        return;
    }
    const double largest = liveryServices().largestHalfWingspan();
    double span = model.size() < 5 ? gf_halfWingspan(model) : largest;
    bool known = span != largest;
    if (!known) {
        static constexpr std::pair<std::string_view, std::string_view> deductions[] = {
            {"Aerosoft A319", "A319"}, {"Aerosoft A320", "A320"}, {"Aerosoft A321", "A321"}};
        const std::string title = lf_title.get();
        if (title.size() >= 13) {
            for (const auto& [prefix, type] : deductions) {
                if (title.compare(0, 13, prefix) != 0) continue;
                model = type;
                report = "SimConnect: User aircraft model deduced from title: " + model;
                span = gf_halfWingspan(model);
                if (span == 0.0) {
                    span = largest;
                } else {
                    known = true;
                }
                break;
            }
        }
    }
    statusPanel().userAircraftKnown = known;
    repaintStatusPanel();
    if (known) {
        report += vr::format(", half wing span: {:.1F} meter", span * 1852.0);
    } else {
        showMessage("User aircraft wing span unknown, max is taken instead, please report in my Forum!", true);
    }
    report += vr::format(", category: {}", acCategoryText(gf_typeCategory(model)));
    logLineIndented(report);
    // Last: the span tells the engine (and the status readers) the model is handled.
    lf_halfWingspan = span;
}

}  // namespace

UserAcState userAcSnapshot()
{
    std::lock_guard lock(simQueueMutex);
    return lf_state;
}

UserAcState& userAcStateLocked()
{
    return lf_state;
}

UserAcState& handedUserAcStateLocked()
{
    return lf_handedState;
}

std::string userAcTitle()
{
    return lf_title.get();
}

std::optional<double> userHalfWingspan()
{
    const double v = lf_halfWingspan.load();
    return std::isnan(v) ? std::nullopt : std::optional<double>(v);
}

std::string userStandText()
{
    return lf_standText.get();
}

LatLon lastUserPosition()
{
    std::lock_guard lock(simQueueMutex);
    return lf_lastPosition;
}

void setUserAcNeighbours(UserAcNeighbours neighbours)
{
    auto n = std::make_shared<const UserAcNeighbours>(std::move(neighbours));
    std::lock_guard lock(lf_neighboursMutex);
    lf_neighbours = std::move(n);
}

bool positionKnown(double latitude, double longitude)
{
    return std::fabs(latitude) > 0.0001 || std::fabs(longitude) > 0.0001;
}

bool isTeleport(const LatLon& previous, const LatLon& next)
{
    return positionKnown(previous.lat, previous.lon) && positionKnown(next.lat, next.lon) &&
           distanceNm(previous, next) > lf_teleportNm;
}

std::int64_t simEpochSeconds(std::int64_t year, std::int64_t dayOfYear, std::int64_t zuluSeconds)
{
    const std::int64_t y = year - 1;
    const std::int64_t days = 365 * y + y / 4 - y / 100 + y / 400 + dayOfYear - 719163;
    return days * 86400 + zuluSeconds;
}

std::string cutUserTitle(std::string_view title)
{
    return std::string(title.substr(0, lf_titleLength));
}

void onSimObjectData(const SIMCONNECT_RECV* message, DWORD size)
{
    constexpr DWORD dataOffset = offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData);
    if (size < dataOffset) return;
    const auto head = scReadMessage<SIMCONNECT_RECV_SIMOBJECT_DATA>(message, size);
    const char* data = reinterpret_cast<const char*>(message) + dataOffset;
    const std::size_t available = size - dataOffset;
    // A reply too short for its block is malformed: logged and dropped (an empty
    // model would otherwise end the connection as a missing atc_model).
    const auto blockFits = [&](std::size_t blockSize) {
        if (available >= blockSize) return true;
        logLineMarked(vr::format("SimConnect data reply {} too short ({} bytes), dropped", head.dwRequestID, size));
        return false;
    };
    switch (head.dwRequestID) {
    case REQUEST_STATIC_ATTITUDE: {
        if (!blockFits(sizeof(StaticAttitudeBlock))) return;
        StaticAttitudeBlock block;
        std::memcpy(&block, data, sizeof block);
        pushSimReply({head.dwObjectID, 0, 0, replyStaticAttitude, block.staticCgHeight, block.staticPitch});
        break;
    }
    case REQUEST_NEW_OBJECT: {
        if (!blockFits(sizeof(GroundInfoBlock)) || head.dwObjectID <= userObjectId.load()) return;
        GroundInfoBlock block;
        std::memcpy(&block, data, sizeof block);
        onAddedObjectData(head.dwObjectID, block);
        break;
    }
    case REQUEST_USER_TITLE: onUserAcTitle(std::string_view(data, ::strnlen(data, available))); break;
    case REQUEST_USER_MODEL: {
        constexpr std::size_t field = 32;
        if (!blockFits(field)) return;
        onUserAcModel(std::string_view(data, ::strnlen(data, field)));
        break;
    }
    case REQUEST_USER_ON_GROUND: {
        if (!blockFits(sizeof(std::int64_t))) return;
        std::int64_t flag;
        std::memcpy(&flag, data, sizeof flag);
        onUserOnGround(flag);
        break;
    }
    case REQUEST_USER_STATE: {
        if (!blockFits(sizeof(UserAcState))) return;
        UserAcState state;
        std::memcpy(&state, data, sizeof state);
        onUserAcState(state, head.dwObjectID);
        break;
    }
    default: break;
    }
}

void onUserAcState(const UserAcState& reply, std::uint32_t objectId)
{
    UserAcState state = reply;
    if (state.altitude < 0.0) state.altitude = 0.0;
    const LatLon next{state.latitude, state.longitude};
    // What comes with the reply is stored before the state itself: whoever
    // reads the new state finds its time, object id and stand too.
    const std::string stand = lf_nearestStand(next);
    const std::string before = lf_standText.get();
    if (!stand.empty() && stand != before) {
        statusPanel().standText.set(stand);
        repaintStatusPanel();
    } else if (stand.empty() && !before.empty()) {
        statusPanel().standText.set("");
        repaintStatusPanel();
    }
    lf_standText.set(stand);
    simUtcEpoch = simEpochSeconds(state.zuluYear, state.zuluDayOfYear, state.zuluTime);
    userObjectId = objectId;
    LatLon previous;
    {
        std::lock_guard lock(simQueueMutex);
        lf_state = state;
        previous = lf_lastPosition;
        lf_lastPosition = next;
    }
    if (isTeleport(previous, next)) {
        logLine("Teleport");
        requestClosing(ClosingReason::NewFlight, 30);
    }
}

void onUserOnGround(std::int64_t flag)
{
    const UserAcState state = userAcSnapshot();
    if (positionKnown(state.latitude, state.longitude)) {
        userOnGround = static_cast<std::uint32_t>(flag) != 0;
        userOnGroundKnown = true;
    }
    newSecondFlag = true;
    wakeTickLoop();  // the once-a-second step runs on this second
}

void onUserAcTitle(std::string_view raw)
{
    if (raw.empty()) {
        logLine("! Title of your aircraft is empty?");
        return;
    }
    const std::string title = cutUserTitle(raw);
    if (lf_title == title) return;
    statusPanel().userAcTitle.set(title);
    repaintStatusPanel();
    lf_title.set(title);
    logLineIndented("SimConnect: User aircraft title: " + title);
}

void onUserAcModel(std::string_view model)
{
    if (model.empty()) {
        throw qxv::UserErrorException(71, "atc_model= in [General] section of your aircraft.cfg is empty or missing");
    }
    try {
        lf_handleModel(std::string(model));
    } catch (const qxv::UserErrorException&) {
        throw;
    } catch (...) {
        throw qxv::UserErrorException(73, "It looks like you have not selected an aircraft as user vehicle");
    }
}

void onFlightLoaded()
{
    if (!userOnGroundKnown) return;
    UserAcState state;
    double handedSpeed;
    {
        std::lock_guard lock(simQueueMutex);
        state = lf_state;
        handedSpeed = lf_handedState.groundVelocity;
    }
    if (handedSpeed > 2.0) return;
    const std::string stand = lf_nearestStand({state.latitude, state.longitude});
    if (stand.empty()) return;
    const auto n = lf_getNeighbours();
    const std::optional<ParkListHead> head = n && n->firstParkAirport ? n->firstParkAirport() : std::nullopt;
    if (!head) return;
    if (head->airportCode != airportServices().parkAirport().code) return;
    if (head->reservedStand == stand) return;
    airportServices().setFirstParkAirportReservedStand(stand);
    addMyParkAirport();
}

std::string userStandAirport()
{
    const UserAcState state = userAcSnapshot();
    return lf_nearestStand({state.latitude, state.longitude});
}

void resetUserAircraft()
{
    {
        std::lock_guard lock(simQueueMutex);
        lf_state.latitude = 0.0;
        lf_state.longitude = 0.0;
    }
    lf_title.set("");
    userOnGroundKnown = false;
    newSecondFlag = false;
}

void resetUserAircraftForTest()
{
    {
        std::lock_guard lock(simQueueMutex);
        lf_state = {};
        lf_handedState = {};
        lf_lastPosition = {};
    }
    resetUserAircraft();
    userOnGround = false;
    simUtcEpoch = 0;
    lf_standText.set("");
    lf_halfWingspan = std::numeric_limits<double>::quiet_NaN();
}
