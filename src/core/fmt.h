#pragma once
// The one place that chooses the formatting library for every "{}" template
// (g++ 12 has no <format>). Write vr::format(...) everywhere.

#include <fmt/core.h>
#include <fmt/format.h>

namespace vr {
using fmt::format;
using fmt::format_to;
using fmt::runtime;
}  // namespace vr
