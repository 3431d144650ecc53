#include "simlink/sc_api.h"

#include <cstring>

#include "simlink/sc_transport.h"

namespace {

using sc::Op;
using sc::putF32;
using sc::putF64;
using sc::putText;
using sc::putU32;

// Builds one packet on the connection behind the handle and sends it. fill
// writes the fields and returns false when a text does not fit.
template <class Fill>
HRESULT lf_packet(HANDLE h, std::size_t size, Op op, Fill&& fill, DWORD* packetId = nullptr)
{
    std::lock_guard lock(scSendLock());
    const ScConnectionPtr c = scFindConnection(h);
    if (!c) return scFail;
    if (c->closedWithError()) return static_cast<HRESULT>(c->closeCode());
    c->makeRoom(size);
    std::uint8_t* p = c->allocPacket(size, op);
    if (!p) return scFail;
    if (!fill(p)) {
        c->givePacketBack(p);
        return scTextTooLong;
    }
    if (packetId) *packetId = c->lastPacketId;
    c->packetBuilt();
    return scOk;
}

// Runs fn on the live connection behind the handle under the global send lock.
template <class Fn>
HRESULT lf_underSendLock(HANDLE h, Fn&& fn)
{
    std::lock_guard lock(scSendLock());
    const ScConnectionPtr c = scFindConnection(h);
    if (!c) return scFail;
    fn(*c);
    return scOk;
}

HRESULT lf_twoWords(HANDLE h, std::size_t size, Op op, DWORD a, DWORD b)
{
    return lf_packet(h, size, op, [&](std::uint8_t* p) {
        putU32(p + 16, a);
        putU32(p + 20, b);
        return true;
    });
}

HRESULT lf_idAndName(HANDLE h, Op op, DWORD id, const char* name)
{
    return lf_packet(h, sc::size::mapClientEvent, op, [&](std::uint8_t* p) {
        putU32(p + 16, id);
        return putText(p + 20, sc::nameField, name);
    });
}

}  // namespace

HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND hWnd, DWORD UserEventWin32, HANDLE hEventHandle,
                        DWORD ConfigIndex)
{
    if (!phSimConnect || !szName) return scInvalidArg;
    ScConnectionPtr c;
    const HRESULT hr = scConnect(static_cast<int>(ConfigIndex), c);
    if (hr != scOk) return hr == scInvalidArg ? scInvalidArg : scFail;
    c->setNotifyTargets(hWnd, UserEventWin32, hEventHandle);
    const HRESULT sent = lf_packet(c.get(), sc::size::open, Op::Open, [&](std::uint8_t* p) {
        if (!putText(p + 16, sc::nameField, szName)) return false;
        putU32(p + 272, 0);
        putU32(p + 276, sc::openSimulatorTag);
        putU32(p + 280, sc::openVersionMajor);
        putU32(p + 284, sc::openVersionMinor);
        putU32(p + 288, 0);
        putU32(p + 292, 0);
        return true;
    });
    if (sent != scOk) {
        scTeardown(c);
        return sent;
    }
    *phSimConnect = c.get();
    return scOk;
}

HRESULT SimConnect_Close(HANDLE hSimConnect)
{
    ScConnectionPtr c;
    {
        std::lock_guard lock(scSendLock());
        c = scFindConnection(hSimConnect);
        if (!c || !c->claimTeardown()) return scFail;  // closed, or being closed by another thread
        c->sendPending();
    }
    scTeardown(c);
    return scOk;
}

HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext)
{
    ScConnectionPtr c;
    {
        std::lock_guard lock(scSendLock());
        c = scFindConnection(hSimConnect);
    }
    if (!c) return scFail;
    return c->dispatch(pfcnDispatch, pContext);  // no library lock held while the procedure runs
}

HRESULT scBeginBatch(HANDLE hSimConnect)
{
    return lf_underSendLock(hSimConnect, [](ScConnection& c) { c.beginBatch(); });
}

HRESULT scEndBatch(HANDLE hSimConnect)
{
    return lf_underSendLock(hSimConnect, [](ScConnection& c) { c.endBatch(); });
}

HRESULT scWaitForDispatch(HANDLE hSimConnect, const std::stop_token& stop)
{
    ScConnectionPtr c;
    {
        std::lock_guard lock(scSendLock());
        c = scFindConnection(hSimConnect);
    }
    if (!c) return scFail;
    c->waitForMessage(stop);  // no library lock held while it sleeps
    return scOk;
}

HRESULT scSetMessageCanWait(HANDLE hSimConnect, ScCanWait canWait)
{
    return lf_underSendLock(hSimConnect, [canWait](ScConnection& c) { c.setCanWait(canWait); });
}

HRESULT scSetRunQueued(HANDLE hSimConnect, ScRunQueued runQueued)
{
    return lf_underSendLock(hSimConnect, [runQueued](ScConnection& c) { c.setRunQueued(runQueued); });
}

HRESULT scWakeDispatch(HANDLE hSimConnect)
{
    return lf_underSendLock(hSimConnect, [](ScConnection& c) { c.wakeDispatch(); });
}

HRESULT SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwSendID)
{
    if (!pdwSendID) return scFail;
    std::lock_guard lock(scSendLock());
    const ScConnectionPtr c = scFindConnection(hSimConnect);
    if (!c) return scFail;
    *pdwSendID = c->lastPacketId;
    return scOk;
}

bool scSetLastPacketIdForTest(HANDLE hSimConnect, DWORD lastId)
{
    std::lock_guard lock(scSendLock());
    const ScConnectionPtr c = scFindConnection(hSimConnect);
    if (!c) return false;
    c->lastPacketId = lastId;
    return true;
}

HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, DWORD EventID, const char* EventName)
{
    return lf_idAndName(hSimConnect, Op::MapClientEventToSimEvent, EventID, EventName);
}

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, DWORD EventID, const char* SystemEventName)
{
    return lf_idAndName(hSimConnect, Op::SubscribeToSystemEvent, EventID, SystemEventName);
}

HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, DWORD ObjectID, DWORD EventID, DWORD dwData, DWORD GroupID,
                                       DWORD Flags)
{
    return lf_packet(hSimConnect, sc::size::transmitClientEvent, Op::TransmitClientEvent, [&](std::uint8_t* p) {
        putU32(p + 16, ObjectID);
        putU32(p + 20, EventID);
        putU32(p + 24, dwData);
        putU32(p + 28, GroupID);
        putU32(p + 32, Flags);
        return true;
    });
}

HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE hSimConnect, DWORD GroupID, DWORD EventID, int bMaskable)
{
    return lf_packet(hSimConnect, sc::size::addClientEventToGroup, Op::AddClientEventToNotificationGroup,
                     [&](std::uint8_t* p) {
                         putU32(p + 16, GroupID);
                         putU32(p + 20, EventID);
                         putU32(p + 24, static_cast<DWORD>(bMaskable));
                         return true;
                     });
}

HRESULT SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect, DWORD GroupID, DWORD uPriority)
{
    return lf_twoWords(hSimConnect, sc::size::setGroupPriority, Op::SetNotificationGroupPriority, GroupID, uPriority);
}

HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, DWORD DefineID, const char* DatumName, const char* UnitsName,
                                       SIMCONNECT_DATATYPE DatumType, float fEpsilon, DWORD DatumID)
{
    return lf_packet(hSimConnect, sc::size::addToDataDefinition, Op::AddToDataDefinition, [&](std::uint8_t* p) {
        putU32(p + 16, DefineID);
        if (!putText(p + 20, sc::nameField, DatumName) || !putText(p + 276, sc::nameField, UnitsName)) return false;
        putU32(p + 532, DatumType);
        putF32(p + 536, fEpsilon);
        putU32(p + 540, DatumID);
        return true;
    });
}

HRESULT SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, DWORD RequestID, DWORD DefineID, DWORD ObjectID,
                                          SIMCONNECT_PERIOD Period, DWORD Flags, DWORD origin, DWORD interval,
                                          DWORD limit)
{
    return lf_packet(hSimConnect, sc::size::requestData, Op::RequestDataOnSimObject, [&](std::uint8_t* p) {
        const DWORD words[] = {RequestID, DefineID, ObjectID, Period, Flags, origin, interval, limit};
        for (std::size_t i = 0; i < 8; ++i) putU32(p + 16 + 4 * i, words[i]);
        return true;
    });
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect, DWORD RequestID, DWORD DefineID,
                                              DWORD dwRadiusMeters, SIMCONNECT_SIMOBJECT_TYPE type)
{
    return lf_packet(hSimConnect, sc::size::requestDataByType, Op::RequestDataOnSimObjectType, [&](std::uint8_t* p) {
        putU32(p + 16, RequestID);
        putU32(p + 20, DefineID);
        putU32(p + 24, dwRadiusMeters);
        putU32(p + 28, type);
        return true;
    });
}

HRESULT SimConnect_SetDataOnSimObject(HANDLE hSimConnect, DWORD DefineID, DWORD ObjectID, DWORD Flags,
                                      DWORD ArrayCount, DWORD cbUnitSize, const void* pDataSet)
{
    const DWORD count = ArrayCount == 0 ? 1 : ArrayCount;
    const std::uint64_t dataSize = std::uint64_t(count) * cbUnitSize;
    if (dataSize > sc::sendBufferSize) return scFail;  // can never fit the send buffer
    return lf_packet(hSimConnect, sc::size::setDataHeader + static_cast<std::size_t>(dataSize), Op::SetDataOnSimObject,
                     [&](std::uint8_t* p) {
                         putU32(p + 16, DefineID);
                         putU32(p + 20, ObjectID);
                         putU32(p + 24, Flags);
                         putU32(p + 28, count);
                         putU32(p + 32, cbUnitSize);
                         if (pDataSet && dataSize) std::memcpy(p + 36, pDataSet, static_cast<std::size_t>(dataSize));
                         return true;
                     });
}

HRESULT SimConnect_AICreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle, const char* szTailNumber,
                                          SIMCONNECT_DATA_INITPOSITION InitPos, DWORD RequestID, DWORD* sentPacketId)
{
    return lf_packet(
        hSimConnect, sc::size::createNonAtcAircraft, Op::AICreateNonATCAircraft,
        [&](std::uint8_t* p) {
            if (!putText(p + 16, sc::nameField, szContainerTitle) || !putText(p + 272, sc::tailField, szTailNumber))
                return false;
            putF64(p + 284, InitPos.Latitude);
            putF64(p + 292, InitPos.Longitude);
            putF64(p + 300, InitPos.Altitude);
            putF64(p + 308, InitPos.Pitch);
            putF64(p + 316, InitPos.Bank);
            putF64(p + 324, InitPos.Heading);
            putU32(p + 332, InitPos.OnGround);
            putU32(p + 336, InitPos.Airspeed);
            putU32(p + 340, RequestID);
            return true;
        },
        sentPacketId);
}

HRESULT SimConnect_AIReleaseControl(HANDLE hSimConnect, DWORD ObjectID, DWORD RequestID)
{
    return lf_twoWords(hSimConnect, sc::size::releaseControl, Op::AIReleaseControl, ObjectID, RequestID);
}

HRESULT SimConnect_AIRemoveObject(HANDLE hSimConnect, DWORD ObjectID, DWORD RequestID)
{
    return lf_twoWords(hSimConnect, sc::size::removeObject, Op::AIRemoveObject, ObjectID, RequestID);
}

HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE hSimConnect, DWORD ObjectID, const char* szFlightPlanPath,
                                           DWORD RequestID)
{
    return lf_packet(hSimConnect, sc::size::setFlightPlan, Op::AISetAircraftFlightPlan, [&](std::uint8_t* p) {
        putU32(p + 16, ObjectID);
        if (!putText(p + 20, sc::pathField, szFlightPlanPath)) return false;
        putU32(p + 280, RequestID);
        return true;
    });
}
