#pragma once
// Conversion between the program's UTF-8 texts and the UTF-16 texts the
// platform wants at its borders (file names, registry values, window texts,
// lines of UTF-16 files), and the two exception types of the platform layer.
// Both conversions are strict: invalid input throws, it is never replaced.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace win32 {

// The system's code for input without a translation (ERROR_NO_UNICODE_TRANSLATION).
inline constexpr std::uint32_t errorNoUnicodeTranslation = 1113;

class Utf8ConversionException : public std::runtime_error {
public:
    // Direction of the failed conversion.
    static constexpr std::uint32_t fromUtf8ToUtf16 = 0;
    static constexpr std::uint32_t fromUtf16ToUtf8 = 1;

    Utf8ConversionException(const char* message, std::uint32_t errorCode, std::uint32_t kind)
        : std::runtime_error(message), errorCode_(errorCode), kind_(kind)
    {
    }
    // The system's error code of the failed conversion (1113 for invalid input).
    std::uint32_t errorCode() const noexcept { return errorCode_; }
    // fromUtf8ToUtf16 or fromUtf16ToUtf8.
    std::uint32_t kind() const noexcept { return kind_; }

private:
    std::uint32_t errorCode_;
    std::uint32_t kind_;
};

// "Input string too long: size_t-length doesn't fit into int."
std::overflow_error makeInputTooLongError();

// Throw Utf8ConversionException on invalid input and std::overflow_error on
// inputs of more than 2147483647 code units. Empty input gives empty output.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Error category of the system's (Win32) error codes, with the system's texts for
// the codes this program meets. Independent of the host's errno texts.
const std::error_category& win32_category();

}  // namespace win32

namespace winreg {

// A failed registry operation: a Win32 error code and what was being done.
// what() is the message followed by the error's description.
class RegException : public std::system_error {
public:
    RegException(std::int32_t errorCode, const std::string& message)
        : std::system_error(errorCode, win32::win32_category(), message)
    {
    }
};

}  // namespace winreg
