#pragma once
// The SimConnect wire format: client packet ids and sizes, field offsets, and
// little-endian writers and readers. Shared by the client library and by the
// simulator stand-in, which reads the same bytes from the other end.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace sc {

inline constexpr std::uint32_t protocolVersion = 35;
inline constexpr std::uint32_t opBase = 0xF0000000u;
inline constexpr std::size_t clientHeaderSize = 16;  // size, version, id, packet id
inline constexpr std::size_t serverHeaderSize = 12;  // size, version, id
inline constexpr std::size_t sendBufferSize = 41088;
inline constexpr std::uint32_t defaultMaxReceiveSize = 41088;

// Operation numbers (the packet's id is opBase + op).
enum class Op : std::uint32_t {
    Open = 0x01,
    MapClientEventToSimEvent = 0x04,
    TransmitClientEvent = 0x05,
    AddClientEventToNotificationGroup = 0x07,
    SetNotificationGroupPriority = 0x09,
    AddToDataDefinition = 0x0C,
    RequestDataOnSimObject = 0x0E,
    RequestDataOnSimObjectType = 0x0F,
    SetDataOnSimObject = 0x10,
    SubscribeToSystemEvent = 0x17,
    AICreateNonATCAircraft = 0x29,
    AIReleaseControl = 0x2B,
    AIRemoveObject = 0x2C,
    AISetAircraftFlightPlan = 0x2D,
};

// Fixed packet sizes (SetDataOnSimObject: setDataHeaderSize + n * unit).
namespace size {
inline constexpr std::size_t open = 296;
inline constexpr std::size_t mapClientEvent = 276;
inline constexpr std::size_t transmitClientEvent = 36;
inline constexpr std::size_t addClientEventToGroup = 28;
inline constexpr std::size_t setGroupPriority = 24;
inline constexpr std::size_t addToDataDefinition = 544;
inline constexpr std::size_t requestData = 48;
inline constexpr std::size_t requestDataByType = 32;
inline constexpr std::size_t setDataHeader = 36;
inline constexpr std::size_t subscribeToSystemEvent = 276;
inline constexpr std::size_t createNonAtcAircraft = 344;
inline constexpr std::size_t releaseControl = 24;
inline constexpr std::size_t removeObject = 24;
inline constexpr std::size_t setFlightPlan = 284;
}  // namespace size

// Text field sizes.
inline constexpr std::size_t nameField = 256;
inline constexpr std::size_t tailField = 12;
inline constexpr std::size_t pathField = 260;

// Open packet constants: the simulator tag and the client library version 5.3.
inline constexpr std::uint32_t openSimulatorTag = 0x50334400u;
inline constexpr std::uint32_t openVersionMajor = 5;
inline constexpr std::uint32_t openVersionMinor = 3;

inline void putU32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline std::uint32_t getU32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
inline void putU64(std::uint8_t* p, std::uint64_t v)
{
    putU32(p, static_cast<std::uint32_t>(v));
    putU32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
inline std::uint64_t getU64(const std::uint8_t* p) { return getU32(p) | std::uint64_t(getU32(p + 4)) << 32; }
inline void putF32(std::uint8_t* p, float v)
{
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    putU32(p, u);
}
inline float getF32(const std::uint8_t* p)
{
    const std::uint32_t u = getU32(p);
    float v;
    std::memcpy(&v, &u, 4);
    return v;
}
inline void putF64(std::uint8_t* p, double v)
{
    std::uint64_t u;
    std::memcpy(&u, &v, 8);
    putU64(p, u);
}
inline double getF64(const std::uint8_t* p)
{
    const std::uint64_t u = getU64(p);
    double v;
    std::memcpy(&v, &u, 8);
    return v;
}

// Copies text into a zero-filled field of `field` bytes. False (field left
// untouched) when the text does not fit with its terminating zero. Null is empty.
inline bool putText(std::uint8_t* p, std::size_t field, const char* text)
{
    const std::size_t n = text ? std::strlen(text) : 0;
    if (n >= field) return false;
    if (n) std::memcpy(p, text, n);
    return true;
}
// The zero-terminated text of a field (at most `field` bytes).
inline std::string getText(const std::uint8_t* p, std::size_t field)
{
    const void* z = std::memchr(p, 0, field);
    return std::string(reinterpret_cast<const char*>(p),
                       z ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(z) - p) : field);
}

}  // namespace sc
