// Message cutting and dispatch: messages per second through the SimConnect
// library on loopback (stand-in -> socket -> I/O thread -> cutter -> received
// queue -> CallDispatch), beside a plain memcpy of the same bytes and the
// cutter alone. Goal: at least 1 M messages/s, within 5x of the copy.

#include <benchmark/benchmark.h>

#include <cstring>
#include <unistd.h>

#include "simlink/sc_api.h"
#include "simlink/sc_transport.h"
#include "simstandin/fake_sim_server.h"

namespace {

constexpr int batchMessages = 2000;

std::vector<std::uint8_t> batch()
{
    std::vector<std::uint8_t> out;
    for (int i = 0; i < batchMessages; ++i) {
        const auto m = simstandin::makeFrame(204, 60.0f, 1.0f);
        out.insert(out.end(), m.begin(), m.end());
    }
    return out;
}

void countMessage(SIMCONNECT_RECV*, DWORD, void* context)
{
    ++*static_cast<std::int64_t*>(context);
}

void BM_DispatchOverLoopback(benchmark::State& state)
{
    platform::net::setPipeDirectory("/tmp/vrmtbench" + std::to_string(::getpid()));
    simstandin::FakeSimServer server;
    if (!server.start()) {
        state.SkipWithError("stand-in did not start");
        return;
    }
    HANDLE h = nullptr;
    if (SimConnect_Open(&h, "VRMT_P3D", nullptr, 0, nullptr, 0) != scOk) {
        state.SkipWithError("open failed");
        return;
    }
    std::int64_t count = 0;
    while (count < 1) SimConnect_CallDispatch(h, countMessage, &count);  // OPEN
    const auto bytes = batch();
    std::int64_t total = 0;
    for (auto _ : state) {
        count = 0;
        server.sendRaw(bytes);
        while (count < batchMessages) SimConnect_CallDispatch(h, countMessage, &count);
        total += count;
    }
    state.SetItemsProcessed(total);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes.size()));
    SimConnect_Close(h);
    server.stop();
    platform::net::setPipeDirectory({});
}
BENCHMARK(BM_DispatchOverLoopback)->UseRealTime();

void BM_CutterAlone(benchmark::State& state)
{
    const auto bytes = batch();
    ScReceiveBuffer buf;
    std::int64_t total = 0;
    for (auto _ : state) {
        std::size_t at = 0;
        while (at < bytes.size()) {
            auto space = buf.freeSpace();
            const std::size_t n = std::min(space.size(), bytes.size() - at);
            std::memcpy(space.data(), bytes.data() + at, n);
            at += n;
            buf.commit(n, [&](std::vector<std::uint8_t>&& m) { benchmark::DoNotOptimize(m.data()); ++total; });
        }
    }
    state.SetItemsProcessed(total);
}
BENCHMARK(BM_CutterAlone);

void BM_MemcpySameBytes(benchmark::State& state)
{
    const auto bytes = batch();
    std::vector<std::uint8_t> to(bytes.size());
    for (auto _ : state) {
        std::memcpy(to.data(), bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * batchMessages);
}
BENCHMARK(BM_MemcpySameBytes);

}  // namespace
