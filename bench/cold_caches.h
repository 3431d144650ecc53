#pragma once
// Between two ticks the worker sleeps 10 ms while the simulator and other
// processes run, and the caches go cold: the engine benchmarks make them so.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

// Writes a line of every 64 bytes of a buffer larger than the last-level cache:
// the engine's records, their samples and the page tables go cold.
inline void coolCaches()
{
    static std::vector<std::uint64_t> buffer(48u << 20 >> 3);
    for (std::size_t i = 0; i < buffer.size(); i += 8) buffer[i] += i;
    benchmark::DoNotOptimize(buffer.data());
}
