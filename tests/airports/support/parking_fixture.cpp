#include "support/parking_fixture.h"

#include "airports/airport_load.h"

void ParkingFixture::setStands(std::vector<Stand> v)
{
    lf_numberAndFindConflicts(v);
    replaceStands(std::move(v));
}

Stand makeStand(const std::string& name, double lat, double lon, std::vector<SlotRecord> options)
{
    std::uint32_t index = 1;
    for (SlotRecord& r : options) r.optionIndex = index++;
    return Stand(name, std::move(options), lat, lon, 0.5, 20.0, {});
}

SlotRecord makeOption(const std::string& airline, const std::string& type, const std::string& reg,
                      const std::string& cs, std::uint32_t weekday, std::vector<int> slots, std::uint32_t real,
                      std::uint32_t source)
{
    SlotRecord r;
    r.airl = airline;
    r.type = type;
    r.reg = reg;
    r.cs = cs;
    for (int s : slots) r.slots.set(static_cast<std::size_t>(s));
    r.weekday = weekday;
    r.real = real;
    r.source = source;
    r.optionIndex = 1;
    return r;
}
