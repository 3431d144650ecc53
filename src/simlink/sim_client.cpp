#include "simlink/sim_client.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>

#include "core/app_services.h"
#include "core/errors.h"
#include "core/fmt.h"
#include "core/install_lookup.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_state.h"
#include "core/tick_wake.h"
#include "platform/clock.h"
#include "platform/thread_name.h"
#include "simlink/sc_api.h"
#include "simlink/sim_definitions.h"
#include "simlink/sim_queues.h"
#include "simlink/user_aircraft.h"

std::atomic<bool> simRunning{false};
std::atomic<float> frameRate{0.0f};
std::atomic<std::int32_t> frameCounter{0};
std::atomic<std::uint32_t> userObjectId{2};
std::atomic<bool> simErrorFlag{false};
std::atomic<bool> notYetConnected{true};
std::vector<std::uint32_t>& addedObjectIds = *new std::vector<std::uint32_t>;

namespace {

constexpr std::uint32_t lf_aircraftObjectType = 2;

// The running thread, and the lock under which it is started and joined: a
// second joiner waits for the first. The SimClient thread never takes it.
std::mutex& lf_threadMutex = *new std::mutex;
std::jthread& lf_thread = *new std::jthread;

void lf_onEvent(const SIMCONNECT_RECV* message, DWORD size)
{
    const auto event = scReadMessage<SIMCONNECT_RECV_EVENT>(message, size);
    switch (event.uEventID) {
    case EVENT_SIM:
        simRunning = event.dwData == 1;
        wakeTickLoop();  // a pause is taken up at once
        statusPanel().simRunning = event.dwData == 1;
        repaintStatusPanel();
        break;
    case EVENT_POSITION_CHANGED:
        logLineMarked("User ac position changed");
        requestClosing(ClosingReason::NewFlight, 30);
        break;
    case EVENT_FLIGHT_LOADED:
        logLine("SimConnect: flight loaded event");
        onFlightLoaded();
        requestClosing(ClosingReason::NewFlight, 30);
        break;
    default:
        break;
    }
}

void lf_onObjectAddRemove(const SIMCONNECT_RECV* message, DWORD size)
{
    const auto event = scReadMessage<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(message, size);
    if (event.eObjType != lf_aircraftObjectType) return;
    const std::uint32_t objectId = event.dwData;
    if (event.uEventID == EVENT_OBJECT_ADDED) {
        if (objectId > userObjectId.load()) {
            addedObjectIds.push_back(objectId);
            probeAddedObject(objectId);
        }
    } else if (event.uEventID == EVENT_OBJECT_REMOVED) {
        pushSimReply({objectId, 0, 0, replyRemoved, 0.0, 0.0});
    }
}

// The flush of a frame the tick loop took is owed once the loop's ticks have
// run: set by the worker when it hands the frame on, cleared by the flush that
// follows (SimClient thread).
std::atomic<bool> lf_flushOwed{false};

void lf_flushFrame()
{
    lf_flushOwed = false;  // cleared first: a hand-over after this look is flushed again
    flushSimQueues();
}

void lf_onFrame(const SIMCONNECT_RECV* message, DWORD size)
{
    // A frame dispatched while the loop runs the ticks of the frame it took
    // (its read brought a message that may not wait, or one came since) is
    // not flushed: it would send the positions of the tick before them, and
    // the loop's hand-over flushes after its ticks.
    if (!takenFrameAwaitsTicks()) lf_flushFrame();
    const auto frame = scReadMessage<SIMCONNECT_RECV_EVENT_FRAME>(message, size);
    if (frameCounter.fetch_add(1) + 1 >= 30) {
        frameCounter = 0;
        frameRate = frame.fFrameRate;
    }
}

// When the last frame came (steady clock, I/O thread), for simFramesFlowing.
constexpr platform::Clock::TimePoint::rep lf_noFrame = std::numeric_limits<platform::Clock::TimePoint::rep>::min();
std::atomic<platform::Clock::TimePoint::rep> lf_lastFrameAt{lf_noFrame};
constexpr auto lf_framesFlowWithin = std::chrono::milliseconds(100);
// A frame of the run of reads in progress may go to the tick loop (I/O thread).
std::atomic<bool> lf_frameForTicks{false};

// A frame serves the flush. One the tick loop takes waits for the loop's ticks
// (the loop then wakes this thread for it); one that finds nothing queued
// would only be counted, so it waits for the next message that wakes this
// thread (the I/O thread then does not wake it 30 times a second while nothing
// is sent).
bool lf_frameCanWait(const std::uint8_t* message, std::size_t size)
{
    if (size < sizeof(SIMCONNECT_RECV)) return false;
    SIMCONNECT_RECV head{};
    std::memcpy(&head, message, sizeof head);
    if (head.dwID != SIMCONNECT_RECV_ID_EVENT_FRAME) return false;
    const platform::Clock::TimePoint now = platform::steadyNow();
    lf_lastFrameAt = now.time_since_epoch().count();
    if (frameTicksWanted(now)) {
        lf_frameForTicks = true;  // offered to the loop once it is queued
        return true;
    }
    return !simQueuesHoldWork();
}

// A run with a frame for the tick loop is queued: the loop takes it now (its
// flush follows the loop's ticks), also when another message of the run wakes
// this thread (`due`): the frame is then dispatched with it but not flushed.
// When the loop no longer waits, the frame is served here as any frame with
// something to send is.
bool lf_runQueued(bool due)
{
    if (!lf_frameForTicks.exchange(false)) return false;
    if (takeFrameForTicks()) return false;
    return !due && simQueuesHoldWork();
}

// The connection's inner loop: dispatch, then sleep until the I/O thread has
// the next message (or the connection closes, or the stop comes).
void lf_dispatchLoop(HANDLE h, const std::stop_token& stop)
{
    while (!stop.stop_requested()) {
        if (SimConnect_CallDispatch(h, simDispatchProc, nullptr) < 0) {
            // The connection broke (the simulator crashed, or closed after it
            // quit): the run ends here, also while the flight is paused, and a
            // restart waits for the simulator again.
            logLineMarked("SimConnect connection lost");
            simRunning = false;
            simErrorFlag = true;
            requestClosing(ClosingReason::SimConnectError, 9);
            return;
        }
        // The flush of a taken frame that was dispatched before the loop's ticks.
        if (lf_flushOwed.load()) lf_flushFrame();
        scWaitForDispatch(h, stop);
    }
}

void lf_closeConnection()
{
    try {
        onFlightLoaded();
    } catch (const std::exception& e) {
        logLineMarked(vr::format("SimClient: {}", e.what()));
    }
    statusPanel().simConnected = false;
    repaintStatusPanel();
    HANDLE h = nullptr;
    {
        // The worker sends through the handle under these locks (its requests
        // under simQueueMutex, its flush of a taken frame under the flush
        // lock): it never sees a handle that is being closed.
        std::lock_guard flushing(simFlushMutex());
        std::lock_guard lock(simQueueMutex);
        h = simHandle.exchange(nullptr);
    }
    if (!h) return;
    if (SimConnect_Close(h) == scOk) {
        logLine("SimConnect closed ok");
    } else {
        logLineMarked("Closing SimConnect failed?!");
    }
}

}  // namespace

bool simFramesFlowing()
{
    const auto last = lf_lastFrameAt.load();
    if (last == lf_noFrame) return false;
    const auto since = platform::steadyNow().time_since_epoch().count() - last;
    return since < std::chrono::duration_cast<platform::Clock::Duration>(lf_framesFlowWithin).count();
}

void serveTakenFrame()
{
    finishTakenFrame();
    if (!simQueuesHoldWork()) return;
    // Flushed here, on the worker: the frame costs no wake of the SimClient
    // thread (the frame's message waits for its next wake, as a frame that
    // finds nothing to send does). The flush waits for simQueueMutex rather
    // than skip the frame, and sends nothing once the connection is closing.
    if (simHandle.load() != nullptr) {
        flushSimQueues(FlushLock::waitWhenBusy);
        return;
    }
    // No connection (yet): whatever connects next flushes, as the frame's own
    // dispatch would. The frame may have been dispatched already: the flush is
    // owed either way (the frame's own dispatch, when it still waits, clears it).
    lf_flushOwed = true;
    // Not under simQueueMutex: the flush this wakes only tries that lock, and
    // would skip the frame while the waker still held it. A handle closed
    // meanwhile is refused by the wake.
    if (HANDLE h = simHandle.load()) scWakeDispatch(h);
}

void simClientThread(std::stop_token stop)
{
    platform::nameThisThread("vrmt-simclient");
    try {
        bool firstPass = true;
        while (!closingFlag && !windowClosedFlag && !stop.stop_requested()) {
            if (firstPass) {
                firstPass = false;
                showMessage(vr::format("Waiting for Prepar3Dv{} ...", p3dVersionFromPath()), true);
                logLine("\n");
                repaintStatusPanel();
            }
            HANDLE h = nullptr;
            if (SimConnect_Open(&h, simClientName, nullptr, 0, nullptr, 0) != scOk || !h) {
                platform::sleepFor(std::chrono::milliseconds(100));
                continue;
            }
            {
                std::lock_guard lock(simQueueMutex);
                simHandle = h;
            }
            notYetConnected = false;
            scSetMessageCanWait(h, &lf_frameCanWait);
            scSetRunQueued(h, &lf_runQueued);
            setupSimDefinitions(h);
            lf_dispatchLoop(h, stop);
        }
    } catch (const qxv::UserErrorException& e) {
        showError(e.what());
    } catch (const std::exception& e) {
        showError(e.what());
        simRunning = false;
        reportSimDisconnected();
    } catch (...) {
        showError(vr::format("Exception in {}", "SimClient"));
        simRunning = false;
        reportSimDisconnected();
    }
    lf_closeConnection();
}

void startSimClientThread()
{
    std::lock_guard lock(lf_threadMutex);
    if (lf_thread.joinable()) {
        lf_thread.request_stop();
        lf_thread.join();
    }
    lf_thread = std::jthread(simClientThread);
}

void joinSimClientThread()
{
    std::lock_guard lock(lf_threadMutex);
    if (!lf_thread.joinable()) return;
    lf_thread.request_stop();
    lf_thread.join();
}

bool simClientThreadStarted()
{
    std::lock_guard lock(lf_threadMutex);
    return lf_thread.joinable();
}

DWORD minimumMessageSize(DWORD id)
{
    switch (id) {
    case SIMCONNECT_RECV_ID_EXCEPTION: return sizeof(SIMCONNECT_RECV_EXCEPTION);
    case SIMCONNECT_RECV_ID_OPEN: return offsetof(SIMCONNECT_RECV_OPEN, dwApplicationBuildMinor) + 4;
    case SIMCONNECT_RECV_ID_EVENT:
    case SIMCONNECT_RECV_ID_EVENT_FILENAME: return sizeof(SIMCONNECT_RECV_EVENT);
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE: return sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE);
    case SIMCONNECT_RECV_ID_EVENT_FRAME: return sizeof(SIMCONNECT_RECV_EVENT_FRAME);
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE: return offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData);
    default: return sizeof(SIMCONNECT_RECV);
    }
}

void simDispatchProc(SIMCONNECT_RECV* message, DWORD size, void* /*context*/)
{
    if (!message || size < sizeof(SIMCONNECT_RECV)) return;
    const DWORD id = message->dwID;
    if (size < minimumMessageSize(id)) {
        logLineMarked(vr::format("SimConnect message dwID {} too short ({} bytes), dropped", id, size));
        return;
    }
    switch (id) {
    case SIMCONNECT_RECV_ID_EXCEPTION: onSimException(message, size); break;
    case SIMCONNECT_RECV_ID_OPEN: onSimOpen(message, size); break;
    case SIMCONNECT_RECV_ID_QUIT:
        simRunning = false;
        wakeTickLoop();
        break;
    case SIMCONNECT_RECV_ID_EVENT: lf_onEvent(message, size); break;
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE: lf_onObjectAddRemove(message, size); break;
    case SIMCONNECT_RECV_ID_EVENT_FILENAME:
        logLineMarked("SimConnect: New file event");
        onFlightLoaded();
        requestClosing(ClosingReason::NewFlight, 30);
        break;
    case SIMCONNECT_RECV_ID_EVENT_FRAME: lf_onFrame(message, size); break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA: onSimObjectData(message, size); break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE: onSimObjectDataByType(message, size); break;
    case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID:
    case SIMCONNECT_RECV_ID_CLIENT_DATA: break;
    default: logLine(vr::format("! Unknown Dispatch dwID {}", id)); break;
    }
}

std::string cleanSimName(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        const bool letter = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
        const bool digit = u >= '0' && u <= '9';
        const bool space = u == ' ' || (u >= '\t' && u <= '\r');
        if (letter || digit || space) out.push_back(c);
    }
    return out;
}

bool simVersionAccepted(std::string_view label, std::string_view installPath, int expectedMajor)
{
    const auto has = [](std::string_view text, std::string_view part) { return text.find(part) != text.npos; };
    if (has(label, "v5") && (has(installPath, "v5") || has(installPath, "V5") || expectedMajor == 5)) return true;
    return has(label, "v6") && (has(installPath, "v6") || has(installPath, "V6") || expectedMajor == 6);
}

void onSimOpen(const SIMCONNECT_RECV* message, DWORD size)
{
    const auto open = scReadMessage<SIMCONNECT_RECV_OPEN>(message, size);
    // Bounded by the field (and, as the copy is zero-filled, by the message end).
    const std::string name(open.szApplicationName, ::strnlen(open.szApplicationName, sizeof open.szApplicationName));
    if (name.empty()) {
        logLine("! Simulator name empty?");
        return;
    }
    statusPanel().simConnected = true;
    repaintStatusPanel();
    const std::string cleaned = cleanSimName(name);
    if (cleaned == "KittyHawk" || cleaned == "SunRise") {
        throw qxv::UserErrorException(78, cleaned + ", (MSFS) not being P3D connects ... ?");
    }
    const std::string label =
        vr::format("{} ({}.{}.{}.{})", cleaned, open.dwApplicationVersionMajor, open.dwApplicationVersionMinor,
                   open.dwApplicationBuildMajor, open.dwApplicationBuildMinor);
    logLine(vr::format("{} connected", label));
    statusPanel().simLabel.set(label);
    repaintStatusPanel();
    if (simVersionAccepted(label, SIM_INSTALL_PATH.get(), expectedSimMajor.load())) {
        clearMessage();
        return;
    }
    ALL_INSTALL_PATH.enable();
    throw qxv::UserErrorException(78, vr::format("wrong P3D version '{}' connects ... ?)", label));
}

void onSimException(const SIMCONNECT_RECV* message, DWORD size)
{
    const auto ex = scReadMessage<SIMCONNECT_RECV_EXCEPTION>(message, size);
    switch (ex.dwException) {
    case SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID: {
        const UserAcState user = userAcSnapshot();
        if (positionKnown(user.latitude, user.longitude) && !closingFlag && !windowClosedFlag) {
            logLineMarked("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
        }
        break;
    }
    case SIMCONNECT_EXCEPTION_VERSION_MISMATCH:
        throw qxv::UserErrorException(95, vr::format("SimConnect Version Mismatch, dwIndex: {}", ex.dwIndex));
    case SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS: showMessage("SimConnect: too many objects (max 1000)", true); break;
    case SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE: logLine("SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE"); break;
    case SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED: {
        std::uint32_t aircraftId = 0;
        {
            std::lock_guard lock(keptCreationsMutex);
            const auto kept = std::find_if(keptCreations.begin(), keptCreations.end(),
                                           [&](const KeptCreation& k) { return k.packetId == ex.dwSendID; });
            if (kept == keptCreations.end()) break;
            aircraftId = kept->aircraftId;
            *kept = std::move(keptCreations.back());
            keptCreations.pop_back();
        }
        if (aircraftId != 0) pushSimReply({0, aircraftId, 0, replyCreationFailed, 0.0, 0.0});
        break;
    }
    case SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED:
        logLineMarked("SimConnect exception: load flight plan failed");
        break;
    case SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE:
        logLine("SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE");
        break;
    default: logLineMarked(vr::format("SIMCONNECT_EXCEPTION #{}", ex.dwException)); break;
    }
}

void reportSimConnectError()
{
    showMessage("SimConnect request error", true);
    simErrorFlag = true;
    requestClosing(ClosingReason::SimConnectError, 9);
}

void resetSimLink()
{
    simRunning = false;
    simErrorFlag = false;
    frameRate = 0.0f;
    frameCounter = 0;
    userObjectId = 2;
    notYetConnected = true;
    lf_lastFrameAt = lf_noFrame;
    lf_frameForTicks = false;
    lf_flushOwed = false;
    finishTakenFrame();
    resetSimQueues();
    resetUserAircraft();
}
