#pragma once
// One traffic answer, parsed once. A live answer of a thousand aircraft is a
// few hundred kilobytes: it is read with simdjson into one reused document, and
// the decoder is handed views of its entries (no copy of a text, no document
// node per value). The answer's small envelope (status, rrl, message) is given
// as an nlohmann document, for the readers of those. An answer simdjson does
// not take (an integer beyond 64 bits, nesting deeper than it goes) is parsed
// with nlohmann instead, so every answer reads as it did with nlohmann alone:
// the same entries in the same order (an object's values by key, the last of a
// repeated key), the same errors.
//
// Owned and used by one thread (the traffic reader's); the views live until
// the next parse.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "traffic_service/traffic_record.h"

class TrafficAnswer {
public:
    TrafficAnswer();
    ~TrafficAnswer();
    TrafficAnswer(const TrafficAnswer&) = delete;
    TrafficAnswer& operator=(const TrafficAnswer&) = delete;

    // Parses the answer text; may grow the text's capacity (the reader reads a
    // little past its end). Throws nlohmann's parse error for a text that is no JSON.
    void parse(std::string& text);

    // The answer without its "data" member (the whole answer when it is no object).
    const nlohmann::json& envelope() const;
    // The answer is an object with a "data" member that is neither null nor an
    // empty array or object.
    bool hasData() const;

    using EntryVisitor = std::function<void(const TrafficEntry&)>;
    // Every value of "data" that is an array or object of exactly 48 values, in order.
    void forEachEntry(const EntryVisitor& visit) const;
    // The same for data[key], when "data" is an object holding the key.
    void forEachEntry(std::string_view key, const EntryVisitor& visit) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
