// The SimConnect message cutter on any byte stream a peer might send: it must
// never crash, and every message it delivers is whole (its size field equals
// its length, at least 4 bytes, never above the limit).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "simlink/sc_transport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    // First byte: the read size pattern; second: the limit.
    const std::size_t chunk = 1 + data[0] % 64 * (data[0] & 0x80 ? 97 : 1);
    const std::uint32_t limit = data[1] & 1 ? 41088u : 2000000u;
    data += 2;
    size -= 2;
    ScReceiveBuffer buf(limit);
    std::size_t at = 0;
    while (at < size) {
        auto space = buf.freeSpace();
        if (space.empty()) std::abort();  // a stalled stream: the cutter must close instead
        const std::size_t n = std::min({chunk, space.size(), size - at});
        std::memcpy(space.data(), data + at, n);
        at += n;
        const ScCloseReason r = buf.commit(n, [&](std::span<const std::uint8_t> m) {
            if (m.size() < 4 || sc::getU32(m.data()) != m.size() || m.size() > limit) std::abort();
        });
        if (r.kind != 0) break;
    }
    return 0;
}
