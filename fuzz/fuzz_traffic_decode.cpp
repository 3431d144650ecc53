// Any JSON of any shape handed to the answer decoders gives records or drops,
// never a crash: live entries, parked entries and the QNH of a weather answer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "traffic_service/parked_record.h"
#include "traffic_service/traffic_answer.h"
#include "traffic_service/traffic_reader.h"
#include "traffic_service/weather.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static TrafficReader* reader = [] {
        auto* r = new TrafficReader;
        r->setUserPosition({52.3, 4.76});
        return r;
    }();
    // As the reader takes an answer: parsed once, its entries decoded.
    static TrafficAnswer* fast = new TrafficAnswer;
    try {
        std::string text(reinterpret_cast<const char*>(data), size);
        fast->parse(text);
        (void)serviceInterval(fast->envelope(), "rrl");
        if (fast->hasData()) {
            const auto decode = [](const TrafficEntry& entry) { processTrafficRecord(*reader, entry); };
            fast->forEachEntry(decode);
            fast->forEachEntry("buffer_0", decode);
        }
    } catch (const std::exception&) {
        // a text that is no JSON: the reader logs it and goes on
    }
    reader->records.clear();

    const nlohmann::json answer =
        nlohmann::json::parse(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size, nullptr,
                              false);
    if (answer.is_discarded()) return 0;
    reader->records.clear();
    reader->collectMaps = true;

    // Every value anywhere one level or two down is tried as a live and a parked entry.
    std::vector<const nlohmann::json*> candidates{&answer};
    if (answer.is_structured()) {
        for (const auto& v : answer) {
            candidates.push_back(&v);
            if (v.is_structured())
                for (const auto& w : v) candidates.push_back(&w);
        }
    }
    std::vector<ParkedTrafficRecord> parked;
    for (const auto* c : candidates) {
        processTrafficRecord(*reader, *c);
        processParkedTrafficLine("3c6444", *c, parked);
        try {
            (void)extractQNH(*c);
        } catch (const std::exception&) {
            // a narrowing error: the reader loop catches it and goes on
        }
        try {
            (void)readerStatus(*c);
        } catch (const std::exception&) {
            // a status of the wrong type: logged by the reader, the pass ends
        }
        (void)serviceInterval(*c, "rrl");
    }
    (void)reader->takeCollectedTraffic();
    return 0;
}
