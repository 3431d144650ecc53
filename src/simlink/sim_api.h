#pragma once
// The SimConnect calls that the simulator layer and the engine make on the
// program's connection, behind one interface: the real one sends them through
// simHandle; a test installs a recording fake (simlink/sim_api_fake.h) and
// drives the flush and the engine without a simulator.
//
// Every call uses the connection handle, so the caller holds simQueueMutex
// (the SimClient thread clears the handle under it before closing) or the
// flush lock (the frame's flush, on the SimClient thread or the worker; the
// handle is cleared under that lock too). Client
// events always go with group 301 and flags 0; data requests with flags,
// origin, interval and limit 0; data writes with flags 0 and count 0.

#include "simlink/sc_types.h"

class ISimConnectApi {
public:
    virtual ~ISimConnectApi() = default;
    virtual HRESULT transmitClientEvent(DWORD objectId, DWORD eventId, DWORD data) = 0;
    virtual HRESULT setDataOnSimObject(DWORD defineId, DWORD objectId, DWORD unitSize, const void* data) = 0;
    virtual HRESULT requestDataOnSimObject(DWORD requestId, DWORD defineId, DWORD objectId,
                                           SIMCONNECT_PERIOD period) = 0;
    virtual HRESULT requestDataOnSimObjectType(DWORD requestId, DWORD defineId, DWORD radiusMetres,
                                               SIMCONNECT_SIMOBJECT_TYPE type) = 0;
    // packetId receives the creation packet's id (for the matching of a refusal).
    virtual HRESULT aiCreateNonAtcAircraft(const char* title, const char* tail,
                                           const SIMCONNECT_DATA_INITPOSITION& position, DWORD requestId,
                                           DWORD* packetId) = 0;
    virtual HRESULT aiReleaseControl(DWORD objectId, DWORD requestId) = 0;
    virtual HRESULT aiRemoveObject(DWORD objectId, DWORD requestId) = 0;
    virtual HRESULT aiSetAircraftFlightPlan(DWORD objectId, const char* path, DWORD requestId) = 0;
    // The calls between the two leave in one write (one frame's flush).
    virtual void beginBatch() {}
    virtual void endBatch() {}
};

// Begins a batch on construction and ends it on destruction.
class SimBatch {
public:
    explicit SimBatch(ISimConnectApi& api) : api_(api) { api_.beginBatch(); }
    ~SimBatch() { api_.endBatch(); }
    SimBatch(const SimBatch&) = delete;
    SimBatch& operator=(const SimBatch&) = delete;

private:
    ISimConnectApi& api_;
};

// Installs an implementation (not owned; it must outlive its use, and is
// installed while no other thread calls). nullptr: the real connection.
void installSimApi(ISimConnectApi* api);
ISimConnectApi& simApi();
