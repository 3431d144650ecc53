// The simulator layer's dispatch with any message the peer may send: every
// handler reads only inside the message (a short or malformed one is dropped),
// and only the program's own exception (a refused simulator, a missing model)
// leaves it. The first input byte picks the message id, the rest is its body.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/errors.h"
#include "simlink/sim_client.h"
#include "simlink/sim_handover.h"
#include "simlink/sim_queues.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::uint32_t ids[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 16, 10, 0};
    if (size == 0) return 0;
    const std::uint32_t id = ids[data[0] % (sizeof ids / sizeof ids[0])];
    // Exactly the message's bytes, as the library hands them over.
    std::vector<std::uint8_t> message(12 + size - 1);
    const auto total = static_cast<std::uint32_t>(message.size());
    const std::uint32_t version = 4;
    std::memcpy(message.data(), &total, 4);
    std::memcpy(message.data() + 4, &version, 4);
    std::memcpy(message.data() + 8, &id, 4);
    if (size > 1) std::memcpy(message.data() + 12, data + 1, size - 1);
    try {
        simDispatchProc(reinterpret_cast<SIMCONNECT_RECV*>(message.data()), total, nullptr);
    } catch (const qxv::UserErrorException&) {
    }
    // Keep the layer's lists bounded over a long run.
    if (addedObjectIds.size() > 1000) resetSimLink();
    if (simReplies.size() > 1000) takeSimReplies();
    return 0;
}
