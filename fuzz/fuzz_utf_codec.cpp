// The strict codec: whatever it accepts must round-trip exactly, in both directions.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/text_convert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        if (win32::Utf16ToUtf8(win32::Utf8ToUtf16(bytes)) != bytes) {
            std::abort();
        }
    } catch (const win32::Utf8ConversionException&) {
    }
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    }
    try {
        if (win32::Utf8ToUtf16(win32::Utf16ToUtf8(units)) != units) {
            std::abort();
        }
    } catch (const win32::Utf8ConversionException&) {
    }
    return 0;
}
