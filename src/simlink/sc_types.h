#pragma once
// Types of the SimConnect client library, free of any OS header: the handle is
// an opaque pointer, results are 32-bit HRESULT values, and the enums carry the
// protocol's numbers. The received message layouts are the wire layouts.

#include <cstddef>
#include <cstdint>
#include <cstring>

using HANDLE = void*;
using HWND = void*;
using HRESULT = std::int32_t;
using DWORD = std::uint32_t;

// Result codes.
inline constexpr HRESULT scOk = 0;
inline constexpr HRESULT scFail = static_cast<HRESULT>(0x80004005u);          // no connection, no room, ...
inline constexpr HRESULT scInvalidArg = static_cast<HRESULT>(0x80070057u);    // bad argument, missing cfg section
inline constexpr HRESULT scTextTooLong = static_cast<HRESULT>(0x8007007Au);   // a text does not fit its field
inline constexpr HRESULT scAbort = static_cast<HRESULT>(0x80004004u);         // framing fault of the peer
inline constexpr HRESULT scOutOfMemory = static_cast<HRESULT>(0x8007000Eu);   // no memory for a message

inline constexpr DWORD SIMCONNECT_OBJECT_ID_USER = 0;
inline constexpr DWORD SIMCONNECT_UNUSED = 0xFFFFFFFFu;

enum SIMCONNECT_PERIOD : DWORD {
    SIMCONNECT_PERIOD_NEVER = 0,
    SIMCONNECT_PERIOD_ONCE = 1,
    SIMCONNECT_PERIOD_VISUAL_FRAME = 2,
    SIMCONNECT_PERIOD_SIM_FRAME = 3,
    SIMCONNECT_PERIOD_SECOND = 4,
};

enum SIMCONNECT_DATATYPE : DWORD {
    SIMCONNECT_DATATYPE_INVALID = 0,
    SIMCONNECT_DATATYPE_INT32 = 1,
    SIMCONNECT_DATATYPE_INT64 = 2,
    SIMCONNECT_DATATYPE_FLOAT32 = 3,
    SIMCONNECT_DATATYPE_FLOAT64 = 4,
    SIMCONNECT_DATATYPE_STRING8 = 5,
    SIMCONNECT_DATATYPE_STRING32 = 6,
    SIMCONNECT_DATATYPE_STRING64 = 7,
    SIMCONNECT_DATATYPE_STRING128 = 8,
    SIMCONNECT_DATATYPE_STRING256 = 9,
    SIMCONNECT_DATATYPE_STRING260 = 10,
    SIMCONNECT_DATATYPE_STRINGV = 11,
};

enum SIMCONNECT_SIMOBJECT_TYPE : DWORD {
    SIMCONNECT_SIMOBJECT_TYPE_USER = 0,
    SIMCONNECT_SIMOBJECT_TYPE_ALL = 1,
    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT = 2,
    SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER = 3,
    SIMCONNECT_SIMOBJECT_TYPE_BOAT = 4,
    SIMCONNECT_SIMOBJECT_TYPE_GROUND = 5,
};

// Ids of the received messages the program knows.
enum SIMCONNECT_RECV_ID : DWORD {
    SIMCONNECT_RECV_ID_NULL = 0,
    SIMCONNECT_RECV_ID_EXCEPTION = 1,
    SIMCONNECT_RECV_ID_OPEN = 2,
    SIMCONNECT_RECV_ID_QUIT = 3,
    SIMCONNECT_RECV_ID_EVENT = 4,
    SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE = 5,
    SIMCONNECT_RECV_ID_EVENT_FILENAME = 6,
    SIMCONNECT_RECV_ID_EVENT_FRAME = 7,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA = 8,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE = 9,
    SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID = 12,
    SIMCONNECT_RECV_ID_CLIENT_DATA = 16,
};

// Exception numbers the program reacts to.
enum SIMCONNECT_EXCEPTION : DWORD {
    SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID = 3,
    SIMCONNECT_EXCEPTION_VERSION_MISMATCH = 5,
    SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS = 11,
    SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE = 19,
    SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED = 22,
    SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED = 23,
    SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE = 24,
};

// The initial position of a created aircraft (56 bytes on the wire).
struct SIMCONNECT_DATA_INITPOSITION {
    double Latitude;   // degrees
    double Longitude;  // degrees
    double Altitude;   // feet
    double Pitch;      // degrees
    double Bank;       // degrees
    double Heading;    // degrees
    DWORD OnGround;    // 0 or 1
    DWORD Airspeed;    // knots
};
static_assert(sizeof(SIMCONNECT_DATA_INITPOSITION) == 56);

// Received messages (wire layouts, little-endian). Every one starts with the
// 12-byte header. Copy them out of the delivered bytes with scReadMessage.
struct SIMCONNECT_RECV {
    DWORD dwSize;
    DWORD dwVersion;
    DWORD dwID;
};

struct SIMCONNECT_RECV_EXCEPTION {
    DWORD dwSize, dwVersion, dwID;
    DWORD dwException;  // +12
    DWORD dwSendID;     // +16: packet id of the failing packet
    DWORD dwIndex;      // +20
};

struct SIMCONNECT_RECV_OPEN {
    DWORD dwSize, dwVersion, dwID;
    char szApplicationName[256];        // +12
    DWORD dwApplicationVersionMajor;    // +268
    DWORD dwApplicationVersionMinor;    // +272
    DWORD dwApplicationBuildMajor;      // +276
    DWORD dwApplicationBuildMinor;      // +280
    DWORD dwSimConnectVersionMajor;     // +284
    DWORD dwSimConnectVersionMinor;     // +288
    DWORD dwSimConnectBuildMajor;       // +292
    DWORD dwSimConnectBuildMinor;       // +296
    DWORD dwReserved1, dwReserved2;     // +300, +304
};

struct SIMCONNECT_RECV_EVENT {
    DWORD dwSize, dwVersion, dwID;
    DWORD uGroupID;  // +12
    DWORD uEventID;  // +16
    DWORD dwData;    // +20
};

struct SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE {
    DWORD dwSize, dwVersion, dwID;
    DWORD uGroupID, uEventID, dwData;
    DWORD eObjType;  // +24
};

struct SIMCONNECT_RECV_EVENT_FILENAME {
    DWORD dwSize, dwVersion, dwID;
    DWORD uGroupID, uEventID, dwData;
    char szFileName[260];  // +24
    DWORD dwFlags;         // +284
};

struct SIMCONNECT_RECV_EVENT_FRAME {
    DWORD dwSize, dwVersion, dwID;
    DWORD uGroupID, uEventID, dwData;
    float fFrameRate;  // +24
    float fSimSpeed;   // +28
};

// Ids 8 and 9; the data block of the definition starts at +40.
struct SIMCONNECT_RECV_SIMOBJECT_DATA {
    DWORD dwSize, dwVersion, dwID;
    DWORD dwRequestID;     // +12
    DWORD dwObjectID;      // +16
    DWORD dwDefineID;      // +20
    DWORD dwFlags;         // +24
    DWORD dwentrynumber;   // +28
    DWORD dwoutof;         // +32
    DWORD dwDefineCount;   // +36
    DWORD dwData;          // +40: first 4 bytes of the data block
};

struct SIMCONNECT_RECV_ASSIGNED_OBJECT_ID {
    DWORD dwSize, dwVersion, dwID;
    DWORD dwRequestID;  // +12
    DWORD dwObjectID;   // +16
};

static_assert(sizeof(SIMCONNECT_RECV) == 12);
static_assert(sizeof(SIMCONNECT_RECV_EXCEPTION) == 24);
static_assert(sizeof(SIMCONNECT_RECV_OPEN) == 308 && offsetof(SIMCONNECT_RECV_OPEN, dwApplicationVersionMajor) == 268);
static_assert(sizeof(SIMCONNECT_RECV_EVENT) == 24);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE) == 28);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_FILENAME) == 288);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_FRAME) == 32);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData) == 40);
static_assert(sizeof(SIMCONNECT_RECV_ASSIGNED_OBJECT_ID) == 20);

// Copies a received message into its layout; bytes the message lacks stay zero.
template <class T>
T scReadMessage(const SIMCONNECT_RECV* message, DWORD size)
{
    T out{};
    if (message) std::memcpy(&out, message, size < sizeof(T) ? size : sizeof(T));
    return out;
}

// The dispatch procedure: (message, size, context).
using DispatchProc = void (*)(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext);
