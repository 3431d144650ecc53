#include "traffic_service/traffic_answer.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include <simdjson.h>

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// By value: a range-for over the result's own value would outlive the result.
simdjson::dom::array lf_array(element value) { return value.get_array().value_unsafe(); }
simdjson::dom::object lf_object(element value) { return value.get_object().value_unsafe(); }

nlohmann::json lf_toJson(element value)
{
    switch (value.type()) {
    case element_type::ARRAY: {
        nlohmann::json a = nlohmann::json::array();
        for (element v : lf_array(value)) a.push_back(lf_toJson(v));
        return a;
    }
    case element_type::OBJECT: {
        nlohmann::json o = nlohmann::json::object();
        for (auto field : lf_object(value)) o[std::string(field.key)] = lf_toJson(field.value);
        return o;
    }
    case element_type::INT64: {
        // nlohmann keeps a non-negative integer as unsigned.
        const std::int64_t v = value.get_int64().value_unsafe();
        return v >= 0 ? nlohmann::json(static_cast<std::uint64_t>(v)) : nlohmann::json(v);
    }
    case element_type::UINT64: return nlohmann::json(value.get_uint64().value_unsafe());
    case element_type::DOUBLE: return nlohmann::json(value.get_double().value_unsafe());
    case element_type::STRING: return nlohmann::json(std::string(value.get_string().value_unsafe()));
    case element_type::BOOL: return nlohmann::json(value.get_bool().value_unsafe());
    case element_type::NULL_VALUE: break;
    }
    return nlohmann::json(nullptr);
}

// The number of values of an array, or of distinct keys of an object (what an
// nlohmann document of it holds).
std::size_t lf_size(element value)
{
    if (value.type() == element_type::ARRAY) return lf_array(value).size();
    if (value.type() != element_type::OBJECT) return 0;
    const simdjson::dom::object object = lf_object(value);
    if (object.size() < 48) return object.size();  // fewer members can hold no more keys
    std::vector<std::string_view> keys;
    keys.reserve(object.size());
    for (auto field : object) keys.push_back(field.key);
    std::sort(keys.begin(), keys.end());
    return static_cast<std::size_t>(std::unique(keys.begin(), keys.end()) - keys.begin());
}

TrafficEntry lf_entryOf(element value)
{
    TrafficEntry e;
    if (value.type() != element_type::ARRAY) {
        e.typeName = "object";  // only 48-value arrays and objects get here
        return e;
    }
    const simdjson::dom::array array = lf_array(value);
    e.size = array.size();
    std::size_t i = 0;
    for (element v : array) {
        if (i == trafficEntryPositions) break;
        switch (v.type()) {
        case element_type::INT64:
        case element_type::UINT64:
        case element_type::DOUBLE:
            e.values[i].kind = TrafficValue::Kind::number;
            e.values[i].number = v.get_double().value_unsafe();
            break;
        case element_type::STRING:
            e.values[i].kind = TrafficValue::Kind::text;
            e.values[i].text = v.get_string().value_unsafe();
            break;
        default: break;
        }
        ++i;
    }
    return e;
}

}  // namespace

struct TrafficAnswer::Impl {
    simdjson::dom::parser parser;
    bool fast = false;                // the answer was read by simdjson
    nlohmann::json envelope;          // fast: the answer less "data"; else the whole answer
    std::optional<element> data;      // fast: the answer's last "data" member
    std::vector<std::pair<std::string_view, element>> members;  // reused for sorting an object's values

    // The values of a container in nlohmann's order.
    template <typename Visit>
    void forEachValue(element container, Visit&& visit)
    {
        if (container.type() == element_type::ARRAY) {
            for (element v : lf_array(container)) visit(v);
            return;
        }
        if (container.type() != element_type::OBJECT) return;
        members.clear();
        for (auto field : lf_object(container)) members.emplace_back(field.key, field.value);
        std::stable_sort(members.begin(), members.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::size_t i = 0; i < members.size(); ++i)
            if (i + 1 == members.size() || members[i + 1].first != members[i].first) visit(members[i].second);
    }

    void visitEntries(element container, const EntryVisitor& visit)
    {
        forEachValue(container, [&](element v) {
            const element_type t = v.type();
            if ((t == element_type::ARRAY || t == element_type::OBJECT) && lf_size(v) == 48) visit(lf_entryOf(v));
        });
    }
};

namespace {

// What the reader did with a container before: the values of a non-empty
// array or object that are arrays or objects of 48 values.
void lf_visitJsonEntries(const nlohmann::json& container, const TrafficAnswer::EntryVisitor& visit)
{
    if (!container.is_structured() || container.empty()) return;
    for (const auto& value : container)
        if (value.is_structured() && value.size() == 48) visit(trafficEntryOf(value));
}

}  // namespace

TrafficAnswer::TrafficAnswer() : impl_(std::make_unique<Impl>()) {}
TrafficAnswer::~TrafficAnswer() = default;

void TrafficAnswer::parse(std::string& text)
{
    Impl& m = *impl_;
    m.fast = false;
    m.data.reset();
    m.envelope = nullptr;
    const std::size_t size = text.size();
    if (text.capacity() < size + simdjson::SIMDJSON_PADDING) text.reserve(size + simdjson::SIMDJSON_PADDING);
    element root;
    if (m.parser.parse(text.data(), size, false).get(root) != simdjson::SUCCESS) {
        m.envelope = nlohmann::json::parse(text);
        return;
    }
    m.fast = true;
    if (root.type() != element_type::OBJECT) {
        m.envelope = lf_toJson(root);
        return;
    }
    m.envelope = nlohmann::json::object();
    for (auto field : lf_object(root)) {
        if (field.key == "data")
            m.data = field.value;
        else
            m.envelope[std::string(field.key)] = lf_toJson(field.value);
    }
}

const nlohmann::json& TrafficAnswer::envelope() const { return impl_->envelope; }

bool TrafficAnswer::hasData() const
{
    const Impl& m = *impl_;
    if (!m.fast) {
        if (!m.envelope.is_object()) return false;
        const auto it = m.envelope.find("data");
        return it != m.envelope.end() && !it->is_null() && !(it->is_structured() && it->empty());
    }
    if (!m.data) return false;
    switch (m.data->type()) {
    case element_type::NULL_VALUE: return false;
    case element_type::ARRAY: return lf_array(*m.data).size() != 0;
    case element_type::OBJECT: return lf_object(*m.data).size() != 0;
    default: return true;
    }
}

void TrafficAnswer::forEachEntry(const EntryVisitor& visit) const
{
    Impl& m = *impl_;
    if (!m.fast) {
        if (m.envelope.is_object())
            if (const auto it = m.envelope.find("data"); it != m.envelope.end()) lf_visitJsonEntries(*it, visit);
        return;
    }
    if (m.data) m.visitEntries(*m.data, visit);
}

void TrafficAnswer::forEachEntry(std::string_view key, const EntryVisitor& visit) const
{
    Impl& m = *impl_;
    if (!m.fast) {
        if (!m.envelope.is_object()) return;
        const auto data = m.envelope.find("data");
        if (data == m.envelope.end() || !data->is_object()) return;
        if (const auto it = data->find(key); it != data->end()) lf_visitJsonEntries(*it, visit);
        return;
    }
    if (!m.data || m.data->type() != element_type::OBJECT) return;
    std::optional<element> found;  // the last member of that key, as nlohmann keeps it
    for (auto field : lf_object(*m.data))
        if (field.key == key) found = field.value;
    if (found) m.visitEntries(*found, visit);
}
