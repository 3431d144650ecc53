// Parsing and decoding a live-traffic answer of 1,000 aircraft as the traffic
// reader does it (goal: under 2.5 ms), and the same with nlohmann alone (the
// path of an answer the fast reader does not take).

#include <benchmark/benchmark.h>

#include <string>

#include <nlohmann/json.hpp>

#include "traffic_service/handover.h"
#include "traffic_service/traffic_answer.h"
#include "traffic_service/traffic_reader.h"

namespace {

std::string thousandAircraftAnswer()
{
    nlohmann::json data = nlohmann::json::object();
    for (int i = 0; i < 1000; ++i) {
        nlohmann::json e = nlohmann::json::array();
        for (int k = 0; k < 48; ++k) e.push_back(nullptr);
        char hex[16];
        std::snprintf(hex, sizeof hex, "%06x", 0x400000 + i);
        e[0] = hex;
        e[1] = 52.0 + (i % 40) * 0.01;
        e[2] = 4.5 + (i / 40) * 0.01;
        e[3] = (i * 7) % 360;
        e[4] = 3000 + i * 10;
        e[5] = 250;
        e[8] = "A320";
        e[9] = "PH-" + std::to_string(i);
        e[10] = 1700000000.0 + i * 0.1;
        e[11] = "EGLL";
        e[12] = "EHAM";
        e[13] = "KLM" + std::to_string(i);
        e[15] = -500;
        e[17] = "adsb_icao";
        e[18] = 3100 + i * 10;
        e[20] = 270;
        e[23] = 1.5;
        e[25] = (i * 7) % 360 + 0.5;
        e[28] = "A3";
        data[hex] = std::move(e);
    }
    return nlohmann::json{{"status", 200}, {"rrl", 2000}, {"data", std::move(data)}}.dump();
}

void BM_DecodeThousandAircraft(benchmark::State& state)
{
    std::string text = thousandAircraftAnswer();
    TrafficReader reader;
    reader.setUserPosition({52.2, 4.75});
    TrafficAnswer answer;
    const auto decode = [&reader](const TrafficEntry& entry) { processTrafficRecord(reader, entry); };
    std::size_t kept = 0;
    for (auto _ : state) {
        reader.records.clear();
        answer.parse(text);
        if (answer.hasData()) answer.forEachEntry(decode);
        kept = reader.records.size();
        benchmark::DoNotOptimize(kept);
    }
    state.counters["records"] = static_cast<double>(kept);
}
BENCHMARK(BM_DecodeThousandAircraft)->Unit(benchmark::kMillisecond);

void BM_DecodeThousandAircraftNlohmann(benchmark::State& state)
{
    const std::string text = thousandAircraftAnswer();
    TrafficReader reader;
    reader.setUserPosition({52.2, 4.75});
    std::size_t kept = 0;
    for (auto _ : state) {
        reader.records.clear();
        const nlohmann::json answer = nlohmann::json::parse(text);
        for (const auto& entry : answer["data"])
            if (entry.is_structured() && entry.size() == 48) processTrafficRecord(reader, entry);
        kept = reader.records.size();
        benchmark::DoNotOptimize(kept);
    }
    state.counters["records"] = static_cast<double>(kept);
}
BENCHMARK(BM_DecodeThousandAircraftNlohmann)->Unit(benchmark::kMillisecond);

}  // namespace
