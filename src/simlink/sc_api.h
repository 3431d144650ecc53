#pragma once
// The SimConnect client API of our own: the public SimConnect names and
// argument orders, each packet operation building one packet in the
// connection's send buffer under the global send lock and sending it at once
// (inside a batch: at the batch's end, all in one write).

#include <cstddef>
#include <cstdint>
#include <stop_token>

#include "simlink/sc_types.h"

// Opens a connection (configuration index of SimConnect.cfg; -1 reads none).
HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND hWnd, DWORD UserEventWin32, HANDLE hEventHandle,
                        DWORD ConfigIndex);
// Sends what is pending and tears the connection down.
HRESULT SimConnect_Close(HANDLE hSimConnect);
// Hands every waiting message to the procedure, oldest first.
HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext);
HRESULT SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwSendID);

HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, DWORD EventID, const char* EventName);
HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, DWORD ObjectID, DWORD EventID, DWORD dwData, DWORD GroupID,
                                       DWORD Flags);
HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE hSimConnect, DWORD GroupID, DWORD EventID, int bMaskable);
HRESULT SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect, DWORD GroupID, DWORD uPriority);
HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, DWORD DefineID, const char* DatumName, const char* UnitsName,
                                       SIMCONNECT_DATATYPE DatumType = SIMCONNECT_DATATYPE_FLOAT64,
                                       float fEpsilon = 0.0f, DWORD DatumID = SIMCONNECT_UNUSED);
HRESULT SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, DWORD RequestID, DWORD DefineID, DWORD ObjectID,
                                          SIMCONNECT_PERIOD Period, DWORD Flags = 0, DWORD origin = 0,
                                          DWORD interval = 0, DWORD limit = 0);
HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect, DWORD RequestID, DWORD DefineID,
                                              DWORD dwRadiusMeters, SIMCONNECT_SIMOBJECT_TYPE type);
// A given ArrayCount of 0 is sent as 1.
HRESULT SimConnect_SetDataOnSimObject(HANDLE hSimConnect, DWORD DefineID, DWORD ObjectID, DWORD Flags,
                                      DWORD ArrayCount, DWORD cbUnitSize, const void* pDataSet);
HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, DWORD EventID, const char* SystemEventName);
// sentPacketId (optional) receives the creation packet's id, taken under the
// same lock that built it, so no caller lock is needed to pair the two.
HRESULT SimConnect_AICreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle, const char* szTailNumber,
                                          SIMCONNECT_DATA_INITPOSITION InitPos, DWORD RequestID,
                                          DWORD* sentPacketId = nullptr);
HRESULT SimConnect_AIReleaseControl(HANDLE hSimConnect, DWORD ObjectID, DWORD RequestID);
HRESULT SimConnect_AIRemoveObject(HANDLE hSimConnect, DWORD ObjectID, DWORD RequestID);
HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE hSimConnect, DWORD ObjectID, const char* szFlightPlanPath,
                                           DWORD RequestID);

// A batch of packets (one frame's flush): the packets built between the two
// calls, from any thread, leave together when the last batch ends, in the
// order they were built, in one write (made by the thread ending the batch
// unless a write is still in flight; the I/O thread is woken only for what
// that write leaves). The wire bytes are those of the packets sent one by
// one. scFail for a closed handle.
HRESULT scBeginBatch(HANDLE hSimConnect);
HRESULT scEndBatch(HANDLE hSimConnect);

// Sleeps until a message waits for SimConnect_CallDispatch, the connection is
// closed, or stop is requested. scFail (at once) for a closed handle.
HRESULT scWaitForDispatch(HANDLE hSimConnect, const std::stop_token& stop);

// Ends the dispatching thread's scWaitForDispatch, so that it dispatches what
// waits (messages that may wait included) now. scFail for a closed handle.
HRESULT scWakeDispatch(HANDLE hSimConnect);

// Which received messages may wait for the next wake of the dispatching thread
// (see ScCanWait in simlink/sc_transport.h). scFail for a closed handle.
HRESULT scSetMessageCanWait(HANDLE hSimConnect, bool (*canWait)(const std::uint8_t* message, std::size_t size));
// Told that a run of received messages has been queued (see
// ScRunQueued in simlink/sc_transport.h). scFail for a closed handle.
HRESULT scSetRunQueued(HANDLE hSimConnect, bool (*runQueued)(bool due));

// Test hook: presets the connection's packet-id counter. False for a closed handle.
bool scSetLastPacketIdForTest(HANDLE hSimConnect, DWORD lastId);
