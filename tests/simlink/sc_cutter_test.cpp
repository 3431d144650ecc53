// The message cutter of the receive buffer, fed exactly as the test says.

#include <gtest/gtest.h>

#include <cstring>

#include "simlink/sc_transport.h"
#include "simstandin/sim_messages.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes message(std::uint32_t size, std::uint32_t id)
{
    Bytes b(std::max<std::uint32_t>(size, 12), 0);
    sc::putU32(b.data(), size);
    sc::putU32(b.data() + 4, 4);
    sc::putU32(b.data() + 8, id);
    b.resize(size);
    for (std::size_t i = 12; i < size; ++i) b[i] = static_cast<std::uint8_t>(i | 1);
    return b;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Cut {
    std::vector<Bytes> messages;
    ScCloseReason reason;
    std::size_t maxCapacity = 0;
};

// Feeds the stream in pieces of `chunk` bytes through freeSpace/commit.
Cut feed(const Bytes& stream, std::size_t chunk, std::uint32_t maxReceive = 41088)
{
    ScReceiveBuffer buf(maxReceive);
    Cut cut;
    std::size_t at = 0;
    while (at < stream.size()) {
        auto space = buf.freeSpace();
        if (space.empty()) break;
        const std::size_t n = std::min({chunk, space.size(), stream.size() - at});
        std::memcpy(space.data(), stream.data() + at, n);
        at += n;
        cut.reason = buf.commit(n, [&](std::span<const std::uint8_t> m) { cut.messages.emplace_back(m.begin(), m.end()); });
        cut.maxCapacity = std::max(cut.maxCapacity, buf.capacity());
        if (cut.reason.kind != 0) break;
    }
    return cut;
}

TEST(ScReceiveBuffer, CutsWholeMessagesWhateverTheChunking)
{
    const Bytes a = message(24, 4), b = message(32, 7), c = message(308, 2);
    const Bytes padded = cat({a, Bytes(8, 0), b});
    // Sizes whose low byte is zero, right after padding.
    const Bytes m256 = message(256, 5), m512 = message(512, 6), m1024 = message(1024, 7);
    struct Case {
        const char* name;
        Bytes stream;
        std::size_t chunk;
        std::vector<Bytes> expected;
    } cases[] = {
        {"byte by byte", cat({a, b, c}), 1, {a, b, c}},
        {"two in one read", cat({a, b}), 4096, {a, b}},
        {"split header", cat({a, b}), 3, {a, b}},
        {"zero padding between", padded, 4096, {a, b}},
        // Padding that trickles in is skipped four bytes at a time.
        {"zero padding byte by byte", cat({a, Bytes(8, 0), b}), 1, {a, b}},
        {"leading padding", cat({Bytes(4, 0), c}), 7, {c}},
        {"256 bytes after padding", cat({Bytes(4, 0), m256}), 4096, {m256}},
        {"512 bytes after padding", cat({a, Bytes(4, 0), m512}), 4096, {a, m512}},
        {"1024 bytes after padding", cat({a, Bytes(12, 0), m1024, a}), 4096, {a, m1024, a}},
        {"256 bytes after padding, byte by byte", cat({a, Bytes(4, 0), m256}), 1, {a, m256}},
        {"1024 bytes after padding split in the size", cat({Bytes(8, 0), m1024}), 6, {m1024}},
        {"short messages are still cut", cat({message(8, 10), a}), 5, {message(8, 10), a}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        const Cut cut = feed(tc.stream, tc.chunk);
        EXPECT_EQ(cut.reason.kind, 0u);
        EXPECT_EQ(cut.messages, tc.expected);
    }
}

TEST(ScReceiveBuffer, FramingFaultsCloseWithTheirKind)
{
    Bytes size3(12, 0);
    sc::putU32(size3.data(), 3);
    Bytes tooLarge(12, 0);
    sc::putU32(tooLarge.data(), 41089);
    Bytes beyondGrowth(12, 0);
    sc::putU32(beyondGrowth.data(), (1u << 20) + 4);
    struct Case {
        const char* name;
        Bytes stream;
        std::uint32_t maxReceive;
        std::uint32_t kind;
        std::size_t deliveredBefore;
    } cases[] = {
        {"size 3", cat({message(24, 4), size3}), 41088, 2, 1},
        {"size over MaxReceiveSize", tooLarge, 41088, 1, 0},
        {"size the buffer can never hold", beyondGrowth, 0xFFFFFFFFu, 1, 0},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        const Cut cut = feed(tc.stream, 4096, tc.maxReceive);
        EXPECT_EQ(cut.reason.kind, tc.kind);
        EXPECT_EQ(cut.reason.code, 0x80004004u);
        EXPECT_EQ(cut.messages.size(), tc.deliveredBefore);
    }
}

TEST(ScReceiveBuffer, GrowsInStepsForALargeMessageAndCompactsOtherwise)
{
    const Bytes big = message(5000, 16);
    const Cut grown = feed(cat({message(24, 4), big}), 1000);
    ASSERT_EQ(grown.messages.size(), 2u);
    EXPECT_EQ(grown.messages[1], big);
    EXPECT_EQ(grown.maxCapacity, 6144u);  // 2048 + 2 steps of 2048

    // Many small messages arriving unaligned never grow the buffer.
    Bytes many;
    for (int i = 0; i < 200; ++i) many = cat({many, message(100, 4)});
    const Cut compacted = feed(many, 700);
    EXPECT_EQ(compacted.messages.size(), 200u);
    EXPECT_EQ(compacted.maxCapacity, 2048u);
}

// The I/O thread lets the entries of a range answer gather while the last
// message read says more of its answer follows; anything else reads at once.
TEST(ScConnectionReading, MoreIsComingUntilTheLastEntryOfAnAnswer)
{
    using simstandin::makeObjectData;
    const Bytes block(16, 7);
    Bytes cutShort = message(28, SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE);
    struct Row {
        const char* name;
        Bytes message;
        bool more;
    };
    const Row rows[] = {
        {"range answer, entry 1 of 3", makeObjectData(9, 101, 5, 404, 1, 3, 4, block), true},
        {"range answer, entry 2 of 3", makeObjectData(9, 101, 6, 404, 2, 3, 4, block), true},
        {"range answer, entry 3 of 3", makeObjectData(9, 101, 7, 404, 3, 3, 4, block), false},
        {"an answer with no aircraft", makeObjectData(9, 101, 0, 404, 0, 0, 0, {}), false},
        {"range answer, entry 1 of 2 again", makeObjectData(9, 101, 5, 404, 1, 2, 4, block), true},
        {"then any other message", message(24, SIMCONNECT_RECV_ID_EVENT), false},
        {"data on one object, entry 1 of 3", makeObjectData(8, 7, 5, 404, 1, 3, 4, block), false},
        {"a range answer too short for its counts", cutShort, false},
    };
    ScConnection c;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        c.onMessage(row.message);
        EXPECT_EQ(c.moreComing(), row.more);
    }
}

}  // namespace
