#pragma once
// Park airports: the airports at which static aircraft are parked. The list of
// candidates (my_park_airports.txt, the my_thirdparty folder, the destination,
// where the user stands), the choice of the one in use from the user aircraft's
// position, the load of its stands, the stand reserved for the user, and the
// hand-over to the static parking when the park airport changes.
//
// The park-airport step and everything that loads or chooses run on the worker
// thread. The list and the reserved stand are also read by the SimClient thread
// (a flight loaded at a stand) and the traffic reader (the reserved stand), so
// they sit under parkListMutex, held only to copy or change them (a leaf lock,
// see simlink/sim_queues.h); my_park_airports.txt is written under a lock of its
// own and replaced atomically (a temporary file renamed over it).

#include <atomic>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "core/geodesy.h"

struct ParkAirport {
    std::string code;   // ICAO code
    std::string stand;  // the reserved stand's name; empty when none
    LatLon position;    // degrees, from the airport list
    double distance = 0.0;  // nm from the user aircraft; 0 when made
};

// A copy of the list (any thread).
std::list<ParkAirport> parkAirports();
// The list's first entry; none when the list is empty (any thread).
std::optional<ParkAirport> firstParkAirport();
// Replaces the list (tests and the reader).
void setParkAirports(std::list<ParkAirport> list);
// The stand kept free for the user aircraft; empty when none (any thread).
std::string reservedStand();
void setReservedStand(const std::string& name);

// Worker-thread state of the park-airport step.
extern bool parkingRestartPending;
extern LatLon lastSortPosition;
// Stand-use learning of soft observations may run (read by the engine on the worker thread).
extern std::atomic<bool>& softLearningAllowed;
// An airport parameter was changed by the load or by the window's option
// handlers (saved with the learned file); the handlers set it on the UI thread.
extern std::atomic<bool> parkParametersChanged;

// Rebuilds the list from my_park_airports.txt and the my_thirdparty folder;
// true when every line was accepted.
bool lf_readMyParkAirports();
void scanThirdPartyParkAirports();
// The entries of the file's lines appended to the list (wrong lines logged and
// skipped); false when a code is not in the airport list.
bool parseMyParkAirports(const std::vector<std::string>& lines, std::list<ParkAirport>& list);
// Writes the first entry's line (code, and ",stand" when it has one) into
// my_park_airports.txt: replaces the line of that code or inserts it; the lines
// are sorted and duplicates dropped.
void addMyParkAirportEntry();
// When the line is the entry's airport (its first comma field), it becomes the
// entry's line; true then.
bool updateMyParkAirportStand(const ParkAirport& entry, std::string& line);
// The destination airport goes to the front of the list (written to the file when new).
void addDestination(const std::string& code, const LatLon& position);
// Re-reads the list and, with followChange, follows a changed reserved stand;
// `message` gets what changed, or "park airports and stands are okay". False
// when the list could not be read.
bool checkReservedStand(bool followChange, std::string& message);

// The park-airport step (every 16 s of flight, and at the start with onStart).
void updateStaticParking(bool onStart);
// The first static parking of a run, as updateStaticParking(true), except that
// it does not wait for the parked traffic: it asks for it and the park airport's
// stands are loaded and filled by finishFirstStaticParking once the answer is in
// (or its wait is over), while the live traffic is already being created.
void beginFirstStaticParking();
// Called once a second; does nothing unless the first static parking waits.
void finishFirstStaticParking();
void findParkAirport(const LatLon& position, bool onStart);
void checkParkAirportInSight(const LatLon& position);
// The airport of that code becomes the park airport; false when the airport list lacks it.
bool logParkAirport(const std::string& code);
// Loads the park airport and calculates its parking now, or marks it for the next step.
void startStaticParking(bool now);
void logCalculatingStatic(bool show);
// Loads the park airport's stands; "" on success, else the error text.
std::string lf_readParkedFile();

// The list's head as the user aircraft's flight-loaded handler wants it
// (simlink/user_aircraft.h); sets the reserved stand of the first entry.
void setFirstParkAirportStand(const std::string& stand);

// Every global of the park airports, the static parking and its learning back
// to its start value (a new run; the engine empties its own share).
void resetAirportState();

// The head of the list as the user aircraft's flight-loaded handler asks for it
// (UserAcNeighbours::firstParkAirport in simlink/user_aircraft.h).
struct ParkListHead;
std::optional<ParkListHead> parkListHead();
