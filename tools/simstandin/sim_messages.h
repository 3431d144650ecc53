#pragma once
// Server-to-client messages of the SimConnect protocol, built byte for byte
// (12-byte header: size, version, id), and the decoded view of client packets.

#include <cstdint>
#include <string>
#include <vector>

#include "simlink/sc_packets.h"

namespace simstandin {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint32_t serverVersion = 4;
inline constexpr std::uint32_t unknownGroup = 0xFFFFFFFFu;

Bytes makeMessage(std::uint32_t id, std::size_t size);  // zero-filled, header written
Bytes makeOpen(const std::string& name, std::uint32_t major, std::uint32_t minor, std::uint32_t buildMajor,
               std::uint32_t buildMinor);
Bytes makeException(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index);
Bytes makeQuit();
Bytes makeEvent(std::uint32_t eventId, std::uint32_t data, std::uint32_t group = unknownGroup);
Bytes makeObjectAddRemove(std::uint32_t eventId, std::uint32_t objectId, std::uint32_t objectType);
Bytes makeFilename(std::uint32_t eventId, const std::string& file, std::uint32_t flags = 0);
Bytes makeFrame(std::uint32_t eventId, float frameRate, float simSpeed);
// Ids 8 and 9: 40 bytes plus the block.
Bytes makeObjectData(std::uint32_t id, std::uint32_t requestId, std::uint32_t objectId, std::uint32_t defineId,
                     std::uint32_t entry, std::uint32_t outOf, std::uint32_t datumCount, const Bytes& block);
Bytes makeAssignedObjectId(std::uint32_t requestId, std::uint32_t objectId);
Bytes makeClientData(std::size_t size);

// One client packet as received.
struct RecordedPacket {
    Bytes raw;
    std::uint32_t size = 0;
    std::uint32_t version = 0;   // the protocol version in the header, whatever it is
    std::uint32_t op = 0;        // id - 0xF0000000
    std::uint32_t packetId = 0;

    std::uint32_t u32(std::size_t offset) const;
    float f32(std::size_t offset) const;
    double f64(std::size_t offset) const;
    std::string text(std::size_t offset, std::size_t field) const;
    bool is(sc::Op o) const { return op == static_cast<std::uint32_t>(o); }
    // One line: op name, packet id and the typed fields.
    std::string describe() const;
};

RecordedPacket decodePacket(const std::uint8_t* data, std::size_t size);
const char* opName(std::uint32_t op);

}  // namespace simstandin
