// The texts typed into the main window's edits: any bytes must read without a
// crash, and what they read as must hold the options' rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "shell/text_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TypedInt i = parseTypedInt(text);
    if (text.empty() != (i.kind == TypedInt::Kind::empty)) std::abort();
    const TypedFloat f = parseTypedFloat(text);
    if (f.kind == TypedFloat::Kind::number) {
        const std::int32_t slots = maxFitSlots(f.value);
        if (slots < 0 || slots > 47) std::abort();
        const float hours = maxFitHours(slots);
        // The hours shown cover what was typed (within the 0.5..24 range).
        if (hours < 0.5f || hours > 24.0f) std::abort();
        if (f.value >= 0.5f && f.value <= 24.0f && hours < f.value) std::abort();
    }
    if (const auto callsign = normalizeCallsign(text); callsign && callsign->size() != text.size()) std::abort();
    if (const auto ident = normalizeDestination(text); ident && ident->size() != 4) std::abort();
    return 0;
}
