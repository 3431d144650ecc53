#pragma once
// The hand-over points of the live-traffic client: everything it needs from the
// log, the main window, the options, the engine, the airports and the aircraft
// database reaches it through this one table. The defaults call the core
// services (log, message line, run state, options, airport and livery seams);
// the entries for the traffic engine and the simulator layer (batches, blocked
// replies, engine QNH, user aircraft and its stand) and the service key have
// quiet defaults until the application wires them. Tests install recording fakes.
//
// The table is set before any reader thread starts and not changed while one
// runs; its entries themselves must be safe to call from any thread.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/livery_services.h"
#include "traffic_service/service_types.h"

struct TrafficRecord;

// The park airport as the static parking last set it (empty code: none).
struct ServiceParkAirport {
    std::string code;
    LatLon position;
};

// The user aircraft as the simulator layer last reported it.
struct ServiceUserAircraft {
    double lat = 0.0;
    double lon = 0.0;
    double altitudeFt = 0.0;
};

struct ServiceHandover {
    // Log.txt: a plain line and a marked ("===> ") line.
    std::function<void(const std::string&)> logLine;
    std::function<void(const std::string&)> logLineMarked;
    std::function<void(const std::string&)> logLineIndented;
    // The main window's message line.
    std::function<void(const std::string&, bool log)> showMessage;
    std::function<void()> clearMessage;
    // "The {} has stopped with an error" and the closing reason 6 (restart) or 7.
    std::function<void(const std::string& name, bool restart)> reportStoppedWithError;
    // Sets the closing flag with reason and restart delay unless it is already
    // set (the first reason wins).
    std::function<void(int reason, int restartDelaySeconds)> requestClosing;
    std::function<void()> repaintStatusPanel;
    std::function<void(int hPa)> setPanelQnh;
    // UTC text of the program's current time, as log lines show it.
    std::function<std::string()> formatNow;
    // Half-hour slot (0..47) of the program's current time.
    std::function<int()> halfHourSlot;

    // Traffic engine: a batch of decoded records with its delay in seconds (the
    // batch is the engine's to empty), the callsign-blocked reply, the QNH.
    std::function<void(std::vector<TrafficRecord>& batch, int delaySeconds)> scheduleTrafficRecords;
    std::function<void(std::uint32_t aircraftId)> pushBlockedReply;
    std::function<void(int hPa)> setEngineQnh;

    // Options (read as copies: they may change on the UI thread).
    std::function<double()> rangeNm;
    std::function<std::string()> blockCallsign;
    std::function<int()> maxFit;
    std::function<bool()> parkTrafficOnly;
    std::function<std::string()> serviceKey;

    // Airports and the user aircraft.
    std::function<ServiceParkAirport()> parkAirport;
    std::function<std::string()> reservedStandName;
    std::function<std::string()> userStandAirport;
    // The park airport's elevation while its stands are in use (feet); none otherwise.
    std::function<std::optional<double>()> referenceElevationFt;
    std::function<ServiceUserAircraft()> userAircraft;

    // Aircraft database.
    std::function<std::optional<DbaseRecord>(const std::string& registration)> findDbaseRecord;
    std::function<bool(const std::string& type)> isKnownType;
    // The type's category is one the user lets in.
    std::function<bool(const std::string& type)> isTypeCategoryIncluded;
};

// The table in use. Never destroyed (detached readers may still call it).
ServiceHandover& serviceHandover();
// A table with every entry at its default.
ServiceHandover defaultServiceHandover();
// Replaces the table (before readers start).
void setServiceHandover(ServiceHandover handover);
