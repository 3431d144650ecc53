#include "simlink/sim_api.h"

#include <atomic>

#include "simlink/sc_api.h"
#include "simlink/sim_definitions.h"

namespace {

constexpr DWORD lf_eventGroup = 301;

class ScSimApi final : public ISimConnectApi {
public:
    HRESULT transmitClientEvent(DWORD objectId, DWORD eventId, DWORD data) override
    {
        return SimConnect_TransmitClientEvent(simHandle.load(), objectId, eventId, data, lf_eventGroup, 0);
    }
    HRESULT setDataOnSimObject(DWORD defineId, DWORD objectId, DWORD unitSize, const void* data) override
    {
        return SimConnect_SetDataOnSimObject(simHandle.load(), defineId, objectId, 0, 0, unitSize, data);
    }
    HRESULT requestDataOnSimObject(DWORD requestId, DWORD defineId, DWORD objectId, SIMCONNECT_PERIOD period) override
    {
        return SimConnect_RequestDataOnSimObject(simHandle.load(), requestId, defineId, objectId, period);
    }
    HRESULT requestDataOnSimObjectType(DWORD requestId, DWORD defineId, DWORD radiusMetres,
                                       SIMCONNECT_SIMOBJECT_TYPE type) override
    {
        return SimConnect_RequestDataOnSimObjectType(simHandle.load(), requestId, defineId, radiusMetres, type);
    }
    HRESULT aiCreateNonAtcAircraft(const char* title, const char* tail, const SIMCONNECT_DATA_INITPOSITION& position,
                                   DWORD requestId, DWORD* packetId) override
    {
        return SimConnect_AICreateNonATCAircraft(simHandle.load(), title, tail, position, requestId, packetId);
    }
    HRESULT aiReleaseControl(DWORD objectId, DWORD requestId) override
    {
        return SimConnect_AIReleaseControl(simHandle.load(), objectId, requestId);
    }
    HRESULT aiRemoveObject(DWORD objectId, DWORD requestId) override
    {
        return SimConnect_AIRemoveObject(simHandle.load(), objectId, requestId);
    }
    HRESULT aiSetAircraftFlightPlan(DWORD objectId, const char* path, DWORD requestId) override
    {
        return SimConnect_AISetAircraftFlightPlan(simHandle.load(), objectId, path, requestId);
    }
    void beginBatch() override { scBeginBatch(simHandle.load()); }
    void endBatch() override { scEndBatch(simHandle.load()); }
};

ScSimApi& lf_realApi = *new ScSimApi;
std::atomic<ISimConnectApi*> lf_installed{nullptr};

}  // namespace

void installSimApi(ISimConnectApi* api)
{
    lf_installed = api;
}

ISimConnectApi& simApi()
{
    ISimConnectApi* api = lf_installed.load();
    return api ? *api : lf_realApi;
}
