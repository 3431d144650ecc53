#pragma once
// Strict conversion between UTF-8 and UTF-16, as the system's own converters do
// it with their "fail on invalid characters" flags: invalid input is refused,
// never replaced. Results are system error codes, so callers can report them the
// way the system would.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The system's code for input that has no translation (ERROR_NO_UNICODE_TRANSLATION).
inline constexpr std::uint32_t errorNoUnicodeTranslation = 1113;

struct UtfResult {
    std::uint32_t error = 0;     // 0 on success, else a system error code
    bool inLengthQuery = false;  // the failure came from the query of the result length
    explicit operator bool() const { return error == 0; }
};

// Replace `out` with the conversion of `in`. On failure `out` is unspecified.
UtfResult utf8ToUtf16(std::string_view in, std::u16string& out);
UtfResult utf16ToUtf8(std::u16string_view in, std::string& out);

// The code units of UTF-16 file bytes: a byte-order mark (FF FE or FE FF)
// decides the byte order and is dropped; without one the bytes are big-endian.
// `oddByte` tells whether a final byte was left over (a cut-off unit).
std::u16string utf16FromBytes(std::string_view bytes, bool& oddByte);

}  // namespace platform
