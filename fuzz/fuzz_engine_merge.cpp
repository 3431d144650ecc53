// Any traffic answer, decoded and handed to the engine as the reader hands it
// (once as a buffered batch, once as a live one), then 300 ticks of the engine
// against the test world: no crash, no undefined behaviour, whatever the records.

#include <cstddef>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "engine/scheduling.h"
#include "scene_services.h"
#include "support/airport_scenario.h"
#include "support/sim_world.h"

namespace {

ScenarioOptions lf_options()
{
    ScenarioOptions o = scenarioAtAirport({"EHAM", "AMS", 52.3086, 4.7639, -11.0});
    o.maxLiveSel = 10;
    o.openLog = false;
    return o;
}

// The entries of an answer, as the reader finds them: the values of "data", or
// of each "buffer_N" in it.
void lf_collect(const nlohmann::json& data, nlohmann::json& out)
{
    if (!data.is_structured()) return;
    for (const auto& v : data) {
        if (v.is_structured() && v.size() == 48) {
            out.push_back(v);
        } else if (v.is_object()) {
            lf_collect(v, out);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static EngineHarness* harness = new EngineHarness(lf_options());  // lives for the process
    static SceneLiveries liveries;
    const nlohmann::json answer =
        nlohmann::json::parse(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size, nullptr,
                              false);
    if (answer.is_discarded() || !answer.is_object()) return 0;
    const auto found = answer.find("data");
    if (found == answer.end()) return 0;
    nlohmann::json entries = nlohmann::json::array();
    lf_collect(*found, entries);

    resetEngineForTest();
    setRunningFlag(true);
    const ScenarioOptions& o = harness->options();
    harness->setUser(o.user, o.userAltitudeFt, o.userHeightAboveGroundFt, o.userHeadingRad, o.userGroundSpeedKt,
                     o.userOnGround);
    SimWorld world;
    harness->afterFlush = [&world] { world.answer(); };
    harness->handOver(entries, 0);
    harness->tick(150);
    harness->handOver(entries, 30);
    harness->tick(150);
    harness->afterFlush = nullptr;
    return 0;
}
