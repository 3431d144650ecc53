#pragma once
// Recording stand-in of the SimConnect calls for tests: constructing it
// installs it, destroying it restores the real connection. Every call is
// recorded as one line ("event 150 218 3072", "release 150 103", ...); a call
// can be made to fail by its line. Safe from any thread.

#include <map>
#include <mutex>
#include <string>

#include "core/app_services_fake.h"
#include "core/fmt.h"
#include "simlink/sim_api.h"

class SimApiFake : public ISimConnectApi {
public:
    SimApiFake() { installSimApi(this); }
    ~SimApiFake() override { installSimApi(nullptr); }
    SimApiFake(const SimApiFake&) = delete;
    SimApiFake& operator=(const SimApiFake&) = delete;

    HRESULT transmitClientEvent(DWORD objectId, DWORD eventId, DWORD data) override
    {
        return lf_call(vr::format("event {} {} {}", objectId, eventId, data));
    }
    HRESULT setDataOnSimObject(DWORD defineId, DWORD objectId, DWORD unitSize, const void*) override
    {
        return lf_call(vr::format("set {} {} {}", defineId, objectId, unitSize));
    }
    HRESULT requestDataOnSimObject(DWORD requestId, DWORD defineId, DWORD objectId, SIMCONNECT_PERIOD period) override
    {
        return lf_call(vr::format("request {} {} {} {}", requestId, defineId, objectId, static_cast<DWORD>(period)));
    }
    HRESULT requestDataOnSimObjectType(DWORD requestId, DWORD defineId, DWORD radiusMetres,
                                       SIMCONNECT_SIMOBJECT_TYPE type) override
    {
        return lf_call(vr::format("requestType {} {} {} {}", requestId, defineId, radiusMetres,
                                  static_cast<DWORD>(type)));
    }
    HRESULT aiCreateNonAtcAircraft(const char* title, const char* tail, const SIMCONNECT_DATA_INITPOSITION&,
                                   DWORD requestId, DWORD* packetId) override
    {
        const HRESULT hr = lf_call(vr::format("create {} {} {}", title, tail, requestId));
        std::lock_guard lock(mutex_);
        if (hr == 0 && packetId) *packetId = ++lastPacketId_;
        return hr;
    }
    HRESULT aiReleaseControl(DWORD objectId, DWORD requestId) override
    {
        return lf_call(vr::format("release {} {}", objectId, requestId));
    }
    HRESULT aiRemoveObject(DWORD objectId, DWORD requestId) override
    {
        return lf_call(vr::format("remove {} {}", objectId, requestId));
    }
    HRESULT aiSetAircraftFlightPlan(DWORD objectId, const char* path, DWORD requestId) override
    {
        return lf_call(vr::format("flightPlan {} {} {}", objectId, path, requestId));
    }

    // The next `times` calls recorded as `line` return `result`.
    void failNext(const std::string& line, HRESULT result, int times = 1)
    {
        std::lock_guard lock(mutex_);
        failures_[line] = {result, times};
    }
    // The id the last successful creation got.
    DWORD lastPacketId() const
    {
        std::lock_guard lock(mutex_);
        return lastPacketId_;
    }
    RecordedCalls calls;

private:
    HRESULT lf_call(std::string line)
    {
        HRESULT hr = 0;
        {
            std::lock_guard lock(mutex_);
            const auto it = failures_.find(line);
            if (it != failures_.end() && it->second.second > 0) {
                hr = it->second.first;
                --it->second.second;
            }
        }
        calls.add(std::move(line));
        return hr;
    }

    mutable std::mutex mutex_;
    std::map<std::string, std::pair<HRESULT, int>> failures_;
    DWORD lastPacketId_ = 0;
};
