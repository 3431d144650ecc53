#include "simstandin/sim_messages.h"

#include <algorithm>
#include <cstring>

#include "core/fmt.h"

namespace simstandin {

using sc::putF32;
using sc::putU32;

Bytes makeMessage(std::uint32_t id, std::size_t size)
{
    // Sizes below a whole header exist too (framing tests): write what fits.
    Bytes b(std::max<std::size_t>(size, 12), 0);
    putU32(b.data(), static_cast<std::uint32_t>(size));
    putU32(b.data() + 4, serverVersion);
    putU32(b.data() + 8, id);
    b.resize(size);
    return b;
}

Bytes makeOpen(const std::string& name, std::uint32_t major, std::uint32_t minor, std::uint32_t buildMajor,
               std::uint32_t buildMinor)
{
    Bytes b = makeMessage(2, 308);
    std::memcpy(b.data() + 12, name.data(), std::min<std::size_t>(name.size(), 255));
    putU32(b.data() + 268, major);
    putU32(b.data() + 272, minor);
    putU32(b.data() + 276, buildMajor);
    putU32(b.data() + 280, buildMinor);
    putU32(b.data() + 284, 5);  // protocol major/minor of the server
    putU32(b.data() + 288, 0);
    return b;
}

Bytes makeException(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index)
{
    Bytes b = makeMessage(1, 24);
    putU32(b.data() + 12, exception);
    putU32(b.data() + 16, sendId);
    putU32(b.data() + 20, index);
    return b;
}

Bytes makeQuit()
{
    return makeMessage(3, 12);
}

Bytes makeEvent(std::uint32_t eventId, std::uint32_t data, std::uint32_t group)
{
    Bytes b = makeMessage(4, 24);
    putU32(b.data() + 12, group);
    putU32(b.data() + 16, eventId);
    putU32(b.data() + 20, data);
    return b;
}

Bytes makeObjectAddRemove(std::uint32_t eventId, std::uint32_t objectId, std::uint32_t objectType)
{
    Bytes b = makeMessage(5, 28);
    putU32(b.data() + 12, unknownGroup);
    putU32(b.data() + 16, eventId);
    putU32(b.data() + 20, objectId);
    putU32(b.data() + 24, objectType);
    return b;
}

Bytes makeFilename(std::uint32_t eventId, const std::string& file, std::uint32_t flags)
{
    Bytes b = makeMessage(6, 288);
    putU32(b.data() + 12, unknownGroup);
    putU32(b.data() + 16, eventId);
    std::memcpy(b.data() + 24, file.data(), std::min<std::size_t>(file.size(), 259));
    putU32(b.data() + 284, flags);
    return b;
}

Bytes makeFrame(std::uint32_t eventId, float frameRate, float simSpeed)
{
    Bytes b = makeMessage(7, 32);
    putU32(b.data() + 12, unknownGroup);
    putU32(b.data() + 16, eventId);
    putF32(b.data() + 24, frameRate);
    putF32(b.data() + 28, simSpeed);
    return b;
}

Bytes makeObjectData(std::uint32_t id, std::uint32_t requestId, std::uint32_t objectId, std::uint32_t defineId,
                     std::uint32_t entry, std::uint32_t outOf, std::uint32_t datumCount, const Bytes& block)
{
    Bytes b = makeMessage(id, 40 + block.size());
    const std::uint32_t words[] = {requestId, objectId, defineId, 0, entry, outOf, datumCount};
    for (std::size_t i = 0; i < 7; ++i) putU32(b.data() + 12 + 4 * i, words[i]);
    std::copy(block.begin(), block.end(), b.begin() + 40);
    return b;
}

Bytes makeAssignedObjectId(std::uint32_t requestId, std::uint32_t objectId)
{
    Bytes b = makeMessage(12, 20);
    putU32(b.data() + 12, requestId);
    putU32(b.data() + 16, objectId);
    return b;
}

Bytes makeClientData(std::size_t size)
{
    Bytes b = makeMessage(16, size);
    for (std::size_t i = 12; i < size; ++i) b[i] = static_cast<std::uint8_t>(i);
    return b;
}

std::uint32_t RecordedPacket::u32(std::size_t offset) const
{
    return offset + 4 <= raw.size() ? sc::getU32(raw.data() + offset) : 0;
}
float RecordedPacket::f32(std::size_t offset) const
{
    return offset + 4 <= raw.size() ? sc::getF32(raw.data() + offset) : 0.0f;
}
double RecordedPacket::f64(std::size_t offset) const
{
    return offset + 8 <= raw.size() ? sc::getF64(raw.data() + offset) : 0.0;
}
std::string RecordedPacket::text(std::size_t offset, std::size_t field) const
{
    if (offset >= raw.size()) return {};
    return sc::getText(raw.data() + offset, std::min(field, raw.size() - offset));
}

RecordedPacket decodePacket(const std::uint8_t* data, std::size_t size)
{
    RecordedPacket p;
    p.raw.assign(data, data + size);
    p.size = p.u32(0);
    p.version = p.u32(4);
    p.op = p.u32(8) - sc::opBase;
    p.packetId = p.u32(12);
    return p;
}

const char* opName(std::uint32_t op)
{
    switch (static_cast<sc::Op>(op)) {
    case sc::Op::Open: return "Open";
    case sc::Op::MapClientEventToSimEvent: return "MapClientEventToSimEvent";
    case sc::Op::TransmitClientEvent: return "TransmitClientEvent";
    case sc::Op::AddClientEventToNotificationGroup: return "AddClientEventToNotificationGroup";
    case sc::Op::SetNotificationGroupPriority: return "SetNotificationGroupPriority";
    case sc::Op::AddToDataDefinition: return "AddToDataDefinition";
    case sc::Op::RequestDataOnSimObject: return "RequestDataOnSimObject";
    case sc::Op::RequestDataOnSimObjectType: return "RequestDataOnSimObjectType";
    case sc::Op::SetDataOnSimObject: return "SetDataOnSimObject";
    case sc::Op::SubscribeToSystemEvent: return "SubscribeToSystemEvent";
    case sc::Op::AICreateNonATCAircraft: return "AICreateNonATCAircraft";
    case sc::Op::AIReleaseControl: return "AIReleaseControl";
    case sc::Op::AIRemoveObject: return "AIRemoveObject";
    case sc::Op::AISetAircraftFlightPlan: return "AISetAircraftFlightPlan";
    }
    return "unknown";
}

std::string RecordedPacket::describe() const
{
    std::string fields;
    switch (static_cast<sc::Op>(op)) {
    case sc::Op::Open: fields = vr::format("name '{}' version {}.{}", text(16, 256), u32(280), u32(284)); break;
    case sc::Op::MapClientEventToSimEvent:
    case sc::Op::SubscribeToSystemEvent: fields = vr::format("{} '{}'", u32(16), text(20, 256)); break;
    case sc::Op::TransmitClientEvent:
        fields = vr::format("object {} event {} data {} group {}", u32(16), u32(20), u32(24), u32(28));
        break;
    case sc::Op::AddClientEventToNotificationGroup:
        fields = vr::format("group {} event {} maskable {}", u32(16), u32(20), u32(24));
        break;
    case sc::Op::SetNotificationGroupPriority: fields = vr::format("group {} priority {}", u32(16), u32(20)); break;
    case sc::Op::AddToDataDefinition:
        fields = vr::format("def {} '{}' '{}' type {}", u32(16), text(20, 256), text(276, 256), u32(532));
        break;
    case sc::Op::RequestDataOnSimObject:
        fields = vr::format("request {} def {} object {} period {}", u32(16), u32(20), u32(24), u32(28));
        break;
    case sc::Op::RequestDataOnSimObjectType:
        fields = vr::format("request {} def {} radius {} m type {}", u32(16), u32(20), u32(24), u32(28));
        break;
    case sc::Op::SetDataOnSimObject:
        fields = vr::format("def {} object {} count {} unit {}", u32(16), u32(20), u32(28), u32(32));
        break;
    case sc::Op::AICreateNonATCAircraft:
        fields = vr::format("'{}' tail '{}' at {:.5f} {:.5f} {:.0f} ft request {}", text(16, 256), text(272, 12),
                            f64(284), f64(292), f64(300), u32(340));
        break;
    case sc::Op::AIReleaseControl:
    case sc::Op::AIRemoveObject: fields = vr::format("object {} request {}", u32(16), u32(20)); break;
    case sc::Op::AISetAircraftFlightPlan:
        fields = vr::format("object {} '{}' request {}", u32(16), text(20, 260), u32(280));
        break;
    }
    return vr::format("#{} {} ({} bytes) {}", packetId, opName(op), size, fields);
}

}  // namespace simstandin
