// Message cutting and dispatch: messages per second through the SimConnect
// library on loopback (stand-in -> socket -> I/O thread -> cutter -> received
// queue -> CallDispatch), beside a plain memcpy of the same bytes and the
// cutter alone. Goal: at least 1 M messages/s, within 5x of the copy.

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <string>
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

// A pipe folder of this process for one benchmark, removed with its socket at the end.
struct PipeFolder {
    std::filesystem::path path = "/tmp/vrmtbench" + std::to_string(::getpid());
    PipeFolder() { platform::net::setPipeDirectory(path.string()); }
    ~PipeFolder()
    {
        platform::net::setPipeDirectory({});
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

// Starts the stand-in (in the pipe folder) and opens the library's connection
// to it; null (and the benchmark skipped) when either fails.
HANDLE openBesideStandIn(benchmark::State& state, simstandin::FakeSimServer& server)
{
    if (!server.start()) {
        state.SkipWithError("stand-in did not start");
        return nullptr;
    }
    HANDLE h = nullptr;
    if (SimConnect_Open(&h, "VRMT_P3D", nullptr, 0, nullptr, 0) != scOk) {
        state.SkipWithError("open failed");
        return nullptr;
    }
    return h;
}

void BM_DispatchOverLoopback(benchmark::State& state)
{
    const PipeFolder pipes;
    simstandin::FakeSimServer server;
    HANDLE h = openBesideStandIn(state, server);
    if (!h) return;
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
}
BENCHMARK(BM_DispatchOverLoopback)->UseRealTime();

// One frame's flush of 500 position blocks to the stand-in over loopback, until
// the stand-in has received them all: sent one by one (arg 0) or as one batch
// (arg 1, what the flush does: one write, one wake of the I/O thread).
void BM_SendFrameOf500Positions(benchmark::State& state)
{
    const bool batched = state.range(0) == 1;
    const PipeFolder pipes;
    simstandin::FakeSimServer server;
    HANDLE h = openBesideStandIn(state, server);
    if (!h || !server.waitForPackets(1)) return;
    server.clearPackets();
    const double block[8] = {50.1, 8.6, -0.05, 0.01, 3.1, 2500.0, -12.5, 140.0};
    for (auto _ : state) {
        if (batched) scBeginBatch(h);
        for (int i = 0; i < 500; ++i) SimConnect_SetDataOnSimObject(h, 402, 100 + i, 0, 0, 64, block);
        if (batched) scEndBatch(h);
        server.waitForPackets(500);
        state.PauseTiming();
        server.clearPackets();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 500);
    SimConnect_Close(h);
    server.stop();
}
BENCHMARK(BM_SendFrameOf500Positions)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMicrosecond);

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
            buf.commit(n, [&](std::span<const std::uint8_t> m) { benchmark::DoNotOptimize(m.data()); ++total; });
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
