#pragma once
// The category of an aircraft type (light, business jet, ... rotorcraft). The
// engine keys its per-category tables by it; the simulator layer names it in the
// user aircraft's report. core/livery_services.h declares it opaquely.

#include <array>
#include <cstdint>
#include <string_view>

enum class AcCategory : std::int32_t {
    Light = 0,
    Buzjets = 1,
    Large = 2,
    Heavy = 3,
    HighPerf = 4,
    Rotorcraft = 5,
};

inline constexpr std::size_t acCategoryCount = 6;

// One row of a {value, name} table of an enumeration (tables in value order).
template <class E>
struct EnumName {
    E value;
    std::string_view name;
};

inline constexpr std::array<EnumName<AcCategory>, acCategoryCount> acCategoryNames{{
    {AcCategory::Light, "Light"},
    {AcCategory::Buzjets, "Buzjets"},
    {AcCategory::Large, "Large"},
    {AcCategory::Heavy, "Heavy"},
    {AcCategory::HighPerf, "HighPerf"},
    {AcCategory::Rotorcraft, "Rotorcraft"},
}};

// The category's name; "?" for a value outside 0..5.
constexpr std::string_view acCategoryText(AcCategory c)
{
    const auto i = static_cast<std::int32_t>(c);
    return i >= 0 && i < static_cast<std::int32_t>(acCategoryCount) ? acCategoryNames[static_cast<std::size_t>(i)].name
                                                                    : std::string_view("?");
}
