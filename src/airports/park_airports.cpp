#include "airports/park_airports.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>
#include <unordered_set>
#include <vector>

#include <gsl/util>

#include "airports/airport_list.h"
#include "airports/airport_load.h"
#include "airports/learned_merge.h"
#include "airports/parking_renewal.h"
#include "airports/stand_file.h"
#include "airports/stand_learning.h"
#include "airports/static_parking.h"
#include "core/app_services.h"
#include "core/files.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/log_repeats.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/time.h"
#include "core/utils.h"
#include "engine/ghosts.h"
#include "engine/live_parking.h"
#include "engine/stand.h"
#include "engine/stand_search.h"
#include "platform/fs_path.h"
#include "simlink/user_aircraft.h"
#include "traffic_service/traffic_reader.h"

bool parkingRestartPending = false;
LatLon lastSortPosition;
std::atomic<bool>& softLearningAllowed = *new std::atomic<bool>(false);
std::atomic<bool> parkParametersChanged{false};

namespace {

// The list and the reserved stand (leaf lock: held only to copy or change them).
std::mutex& parkListMutex = *new std::mutex;
std::list<ParkAirport>& lf_list = *new std::list<ParkAirport>;
std::string& lf_reservedStand = *new std::string;
// my_park_airports.txt is written under its own lock.
std::mutex& myParkFileMutex = *new std::mutex;

constexpr std::size_t kManyParkAirports = 3000;

// The fields of a line, split at every comma; none for an empty line.
// The trimmed comma fields of a line; none for a line of blanks only.
std::vector<std::string> lf_fields(const std::string& line)
{
    std::vector<std::string> fields = gf_tokenize(line, ',');
    if (fields.size() == 1 && fields.front().empty()) fields.clear();
    return fields;
}

std::string lf_fileName() { return myParkAirportsPath.filename().string(); }

std::string lf_entryLine(const ParkAirport& entry)
{
    return entry.stand.empty() ? entry.code : entry.code + "," + entry.stand;
}

// Writes the lines to a temporary file in the folder and renames it over the
// file; the old file stays whole when anything fails.
bool lf_writeLinesAtomically(const std::vector<std::string>& lines, const std::filesystem::path& path)
{
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    std::filesystem::path temp = path;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out.is_open()) return false;
        for (const std::string& line : lines) out << line << '\n';
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

double lf_userHeightFt(const UserAcState& user)
{
    // The user aircraft's "height" against AIRP_HEIGHT is its altitude above the ground.
    return user.altAboveGround;
}

bool lf_withinRange(double distanceNm, double heightFt)
{
    return distanceNm <= AIRP_RANGE.get() && heightFt <= AIRP_HEIGHT.get();
}

}  // namespace

std::list<ParkAirport> parkAirports()
{
    std::lock_guard lock(parkListMutex);
    return lf_list;
}

std::optional<ParkAirport> firstParkAirport()
{
    std::lock_guard lock(parkListMutex);
    if (lf_list.empty()) return std::nullopt;
    return lf_list.front();
}

void setParkAirports(std::list<ParkAirport> list)
{
    std::lock_guard lock(parkListMutex);
    lf_list = std::move(list);
}

std::string reservedStand()
{
    std::lock_guard lock(parkListMutex);
    return lf_reservedStand;
}

void setReservedStand(const std::string& name)
{
    std::lock_guard lock(parkListMutex);
    lf_reservedStand = name;
}

void setFirstParkAirportStand(const std::string& stand)
{
    std::lock_guard lock(parkListMutex);
    if (!lf_list.empty()) lf_list.front().stand = stand;
}

bool parseMyParkAirports(const std::vector<std::string>& lines, std::list<ParkAirport>& list)
{
    bool result = true;
    std::unordered_set<std::string> taken;
    // A broken file of millions of lines gives a few lines of each kind and their count.
    RepeatedLines repeats(lf_fileName());
    for (const std::string& line : lines) {
        const std::vector<std::string> fields = lf_fields(line);
        if (fields.empty()) continue;
        const auto shown = [&line] { return !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line; };
        if (fields.size() >= 3) {
            if (repeats.admit("wrong syntax"))
                logLineMarked(vr::format("{}:{} wrong syntax, skipped", lf_fileName(), shown()));
            continue;
        }
        if (taken.count(fields[0]) != 0) {
            if (repeats.admit("double")) logLineMarked(vr::format("{}:{} double, skipped", lf_fileName(), shown()));
            continue;
        }
        const Airport* airport = findAirport(fields[0]);
        if (airport == nullptr) {
            if (repeats.admit("unknown airport")) showMessage(vr::format("airport {} is unknown", fields[0]), true);
            result = false;
            continue;
        }
        list.push_back({fields[0], fields.size() > 1 ? fields[1] : std::string(), LatLon{airport->lat, airport->lon},
                        0.0});
        taken.insert(fields[0]);
    }
    return result;
}

bool lf_readMyParkAirports()
{
    bool result = true;
    try {
        std::list<ParkAirport> list;
        const std::filesystem::path& path = myParkAirportsPath;
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            logLine(platform::pathText(path) + " not found");
        } else {
            result = parseMyParkAirports(gf_readTextFile(path), list);
            if (!list.empty()) {
                logLine(vr::format("{} park airport{} read from '{}'", list.size(),
                                   pluralSuffix(static_cast<int>(list.size())), platform::pathText(path)));
                if (list.size() > kManyParkAirports)
                    showMessage(vr::format("Warning: There are a lot of airports ({}), that will cost VRMT much cpu "
                                           "time and may cause stutters",
                                           list.size()),
                                true);
            }
        }
        setParkAirports(std::move(list));
        scanThirdPartyParkAirports();
    } catch (const std::exception& e) {
        logLineMarked(vr::format("{}: {}", "lf_readMyParkAirports", e.what()));
        return false;
    }
    return result;
}

void scanThirdPartyParkAirports()
{
    std::error_code ec;
    if (!std::filesystem::is_directory(myThirdpartyFolder, ec)) return;
    std::list<ParkAirport> list = parkAirports();
    std::size_t added = 0;
    for (const auto& entry : std::filesystem::directory_iterator(myThirdpartyFolder)) {  // throws on failure
        if (!entry.is_regular_file()) continue;
        const std::string code = entry.path().stem().string();
        if (std::any_of(list.begin(), list.end(), [&](const ParkAirport& p) { return p.code == code; })) continue;
        const Airport* airport = findAirport(code);
        if (airport == nullptr) continue;
        list.push_back({code, {}, LatLon{airport->lat, airport->lon}, 0.0});
        ++added;
    }
    if (added == 0) return;
    setParkAirports(std::move(list));
    logLine(vr::format("{} park airport{} added from my_thirdparty folder(-s)", added,
                       pluralSuffix(static_cast<int>(added))));
}

bool updateMyParkAirportStand(const ParkAirport& entry, std::string& line)
{
    const std::vector<std::string> fields = lf_fields(line);
    if (fields.empty() || fields[0] != entry.code) return false;
    line = lf_entryLine(entry);
    return true;
}

void addMyParkAirportEntry()
{
    const std::optional<ParkAirport> first = firstParkAirport();
    if (!first) return;
    const std::string line = lf_entryLine(*first);
    std::lock_guard lock(myParkFileMutex);
    const std::filesystem::path& path = myParkAirportsPath;
    std::error_code ec;
    std::vector<std::string> lines;
    if (!std::filesystem::exists(path, ec)) {
        lines.push_back(line);
        logLine(vr::format("{} created with {}", lf_fileName(), line));
    } else {
        for (std::string& l : gf_readTextFile(path)) {
            while (!l.empty() && l.back() == '\r') l.pop_back();
            lines.push_back(std::move(l));
        }
        bool updated = false;
        for (std::string& l : lines) {
            if (updateMyParkAirportStand(*first, l)) {
                logLine(vr::format("{}:{} updated stand", lf_fileName(), line));
                updated = true;
                break;
            }
        }
        if (!updated) {
            lines.insert(lines.begin(), line);
            logLine(vr::format("{}:{} new entry", lf_fileName(), line));
        }
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    if (!lf_writeLinesAtomically(lines, path))
        logLineMarked(vr::format("{} saving '{}' did not succeed", timeOfDay(), platform::pathText(path)));
}

void addDestination(const std::string& code, const LatLon& position)
{
    bool added = false;
    {
        std::lock_guard lock(parkListMutex);
        auto it = std::find_if(lf_list.begin(), lf_list.end(), [&](const ParkAirport& p) { return p.code == code; });
        if (it == lf_list.end()) {
            lf_list.push_front({code, {}, position, 0.0});
            added = true;
        } else {
            lf_list.splice(lf_list.begin(), lf_list, it);
        }
    }
    if (added) addMyParkAirportEntry();
}

bool checkReservedStand(bool followChange, std::string& message)
{
    if (!lf_readMyParkAirports()) return false;
    const std::optional<ParkAirport> first = firstParkAirport();
    const ParkAirportInfo park = currentParkAirport();
    const std::string current = reservedStand();
    if (followChange && userOnGround.load() && !mainControlsDisabled() && first && first->code == park.code &&
        statusPanel().standText.get().empty() && !first->stand.empty() && first->stand != current) {
        message = vr::format("reserved stand changed from '{}' to '{}'", current, first->stand);
        if (!current.empty())
            if (Stand* old = findStandByName(current)) old->reserved = false;
        setReservedStand(first->stand);
        removeAtStand(first->stand);
        if (Stand* now = findStandByName(first->stand)) now->reserved = true;
        statusPanel().reservedStandSet = true;
        repaintStatusPanel();
    }
    if (message.empty()) message = "park airports and stands are okay";
    return true;
}

void logCalculatingStatic(bool show)
{
    disableMainControls();
    trafficReader().collectMaps.store(true);
    if (show) showMessage("Calculating static parked aircraft ...", false);
}

bool logParkAirport(const std::string& code)
{
    const Airport* airport = findAirport(code);
    if (airport == nullptr) return false;
    setCurrentParkAirport({airport->code, airport->iata, airport->lat, airport->lon, airport->alt});
    logLine(vr::format("\nThe park airport is {}", airportLabel(*airport)));
    return true;
}

namespace {

bool lf_askAheadOnStart = false;  // within beginFirstStaticParking
bool lf_firstParkingWaits = false;

}  // namespace

void startStaticParking(bool now)
{
    if (now && lf_askAheadOnStart && MAX_PARK_SEL.get() >= 1 && askParkedTrafficAhead()) {
        lf_firstParkingWaits = true;
        return;
    }
    if (now) {
        parkingRestartPending = false;
        const std::string error = lf_readParkedFile();
        if (error.empty()) {
            calculateStaticParking();
        } else {
            showMessage(error, true);
            finishStaticParking();
        }
        DESTINATION.enable(true);
    } else {
        parkingRestartPending = true;
        logCalculatingStatic(false);
    }
}

void findParkAirport(const LatLon& position, bool onStart)
{
    const UserAcState user = userAcSnapshot();
    if (!userOnGround.load()) {
        DESTINATION.enable(true);
        const std::optional<ParkAirport> first = firstParkAirport();
        if (first && lf_withinRange(first->distance, lf_userHeightFt(user)) && logParkAirport(first->code)) {
            showMessage(vr::format("{} in sight at {:.1F} nm", first->code, first->distance), true);
            parkingRestartPending = true;
            logCalculatingStatic(false);
        }
        return;
    }
    const Airport* airport = closestAirportOrStand(position);
    if (airport == nullptr) {
        showMessage("User aircraft on the ground, no airport in sight", false);
        return;
    }
    const std::string atText = vr::format("User aircraft on the ground at {}", airport->code);
    if (haveAirportFile(airport->code)) {
        logLine(atText);
        if (logParkAirport(airport->code)) startStaticParking(onStart);
    } else {
        showMessage(atText + ", no airport file found", false);
    }
}

void checkParkAirportInSight(const LatLon& position)
{
    if (userOnGround.load()) return;
    const UserAcState user = userAcSnapshot();
    const double height = lf_userHeightFt(user);
    const ParkAirportInfo park = currentParkAirport();
    const Airport* parkAirport = findAirport(park.code);
    const std::string label = parkAirport ? airportLabel(*parkAirport) : park.code;
    const double d = distanceNm(position, {park.lat, park.lon});
    if (!lf_withinRange(d, height)) {
        logLine(vr::format("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed", logTimePrefix(),
                           label, d));
        removeStaticParked();
        return;
    }
    const std::optional<ParkAirport> first = firstParkAirport();
    if (first && first->code != park.code && lf_withinRange(first->distance, height) && first->distance <= d) {
        logLine(vr::format("\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be removed first",
                           logTimePrefix(), first->code, first->distance, label));
        removeStaticParked();
    }
}

void updateStaticParking(bool onStart)
{
    if (mainControlsDisabled() && parkingSelections.empty()) {
        enableMainControls();
        clearMessage();
        lf_countStaticsInSlot(true);
        lf_averageLiveParked(true);
    }
    if (!parkingRestartPending) {
        const UserAcState user = userAcSnapshot();
        const LatLon position{user.latitude, user.longitude};
        if (std::fabs(position.lat) <= 0.0001 && std::fabs(position.lon) <= 0.0001) return;
        {
            std::lock_guard lock(parkListMutex);
            if (!lf_list.empty()) {
                if (std::fabs(position.lat - lastSortPosition.lat) >= 1e-8 ||
                    std::fabs(position.lon - lastSortPosition.lon) >= 1e-8) {
                    lastSortPosition = position;
                    if (DESTINATION.get().empty()) {
                        for (ParkAirport& p : lf_list) p.distance = distanceNm(position, p.position);
                        lf_list.sort([](const ParkAirport& a, const ParkAirport& b) { return a.distance < b.distance; });
                    } else {
                        lf_list.front().distance = distanceNm(position, lf_list.front().position);
                    }
                } else {
                    lf_list.front().distance = distanceNm(position, lf_list.front().position);
                }
            }
        }
        if (currentParkAirport().code.empty())
            findParkAirport(position, onStart);
        else
            checkParkAirportInSight(position);
    }
    if (parkingRestartPending) {
        clearMessage();
        startStaticParking(true);
    }
}

void beginFirstStaticParking()
{
    forgetParkedTrafficAhead();
    lf_firstParkingWaits = false;
    lf_askAheadOnStart = true;
    const auto reset = gsl::finally([] { lf_askAheadOnStart = false; });
    updateStaticParking(true);
}

void finishFirstStaticParking()
{
    if (!lf_firstParkingWaits || !parkedTrafficAheadReady()) return;
    lf_firstParkingWaits = false;
    startStaticParking(true);
}

std::string lf_readParkedFile()
{
    clearStands();
    const ParkAirportInfo park = currentParkAirport();
    const std::string reference = locateArchivedAirport(park.code);
    if (reference.empty()) return vr::format("{} {} not found", "lf_readParkedFile", park.code);
    if (reference.size() >= 7 && reference.find("unknown") != std::string::npos)
        return vr::format("{} {} has publisher:{}, {}", "lf_readParkedFile", park.code, "unknown", reference);

    StatusPanel& panel = statusPanel();
    panel.airportNameLine.set("");
    panel.airportPublisher.set("");
    if (maxLiveForParking < 0) maxLiveForParking = MAX_LIVE_SEL.get();
    AirportHeader header;
    const std::string error = gf_readApf(reference, header);
    if (error.empty()) {
        loadedAirport = {reference, header.airportName, header.publisher, header.altitude};
        if (header.qf.first < 45 || stands.size() < 20) {
            softLearningAllowed.store(true);
            LEARN_SOFT.enable(true);
        } else {
            softLearningAllowed.store(false);
            if (LEARN_SOFT.get()) {
                LEARN_SOFT.set(false);
                showCheckboxState(LEARN_SOFT);
                LEARN_SOFT.enable(false);
                parkParametersChanged = true;
            }
        }
        if (userOnGround.load()) {
            const UserAcState user = userAcSnapshot();
            const std::string userStand = nearestStandAirport({user.latitude, user.longitude});
            bool write = false;
            {
                std::lock_guard lock(parkListMutex);
                if (lf_list.empty() || lf_list.front().code != park.code) {
                    lf_list.push_front({park.code, userStand, LatLon{park.lat, park.lon}, 0.0});
                    write = true;
                } else if (!userStand.empty() && userStand != lf_list.front().stand) {
                    lf_list.front().stand = userStand;
                    write = true;
                }
            }
            if (write) addMyParkAirportEntry();
        }
        const std::optional<ParkAirport> first = firstParkAirport();
        if (first && first->code == park.code && !first->stand.empty() && findStandByName(first->stand) != nullptr) {
            setReservedStand(first->stand);
            panel.reservedStandSet = true;
        } else {
            setReservedStand({});
            panel.reservedStandSet = false;
        }
        panel.airportNameLine.set(header.airportName.empty() ? park.code : park.code + " " + header.airportName);
        panel.airportLoaded = true;
    } else {
        setReservedStand({});
        panel.reservedStandSet = false;
        panel.airportNameLine.set("");
        panel.airportLoaded = false;
    }
    standUpdateCount = 0;
    panel.standUpdates = 0;
    repaintStatusPanel();
    return error;
}

void resetAirportState()
{
    {
        std::lock_guard lock(parkListMutex);
        lf_list.clear();
        lf_reservedStand.clear();
    }
    parkingRestartPending = false;
    lastSortPosition = {};
    softLearningAllowed.store(false);
    parkParametersChanged = false;
    staticRemovals.clear();
    keptStatics.clear();
    parkedTrafficRecords.clear();
    realPassWindow = 0;
    softPassWindow = -1;
    loadedAirport = {};
    maxLiveForParking = -1;
    clearCurrentParkAirport();
}

std::optional<ParkListHead> parkListHead()
{
    const std::optional<ParkAirport> first = firstParkAirport();
    if (!first) return std::nullopt;
    return ParkListHead{first->code, first->stand};
}
