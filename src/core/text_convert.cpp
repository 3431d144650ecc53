#include "core/text_convert.h"

#include <climits>

#include "core/fmt.h"
#include "platform/utf_codec.h"

namespace win32 {

std::overflow_error makeInputTooLongError()
{
    return std::overflow_error("Input string too long: size_t-length doesn't fit into int.");
}

std::u16string Utf8ToUtf16(std::string_view utf8)
{
    std::u16string result;
    if (utf8.empty()) {
        return result;
    }
    if (utf8.size() > static_cast<std::size_t>(INT_MAX)) {
        throw makeInputTooLongError();
    }
    if (const auto r = platform::utf8ToUtf16(utf8, result); !r) {
        const char* message = r.error == errorNoUnicodeTranslation ? "Invalid UTF-8 sequence found in input string."
                              : r.inLengthQuery
                                  ? "Cannot get result string length when converting from UTF-8 to UTF-16 "
                                    "(MultiByteToWideChar failed)."
                                  : "Cannot convert from UTF-8 to UTF-16 (MultiByteToWideChar failed).";
        throw Utf8ConversionException(message, r.error, Utf8ConversionException::fromUtf8ToUtf16);
    }
    return result;
}

std::string Utf16ToUtf8(std::u16string_view utf16)
{
    std::string result;
    if (utf16.empty()) {
        return result;
    }
    if (utf16.size() > static_cast<std::size_t>(INT_MAX)) {
        throw makeInputTooLongError();
    }
    if (const auto r = platform::utf16ToUtf8(utf16, result); !r) {
        const char* message = r.error == errorNoUnicodeTranslation ? "Invalid UTF-16 sequence found in input string."
                              : r.inLengthQuery
                                  ? "Cannot get result string length when converting from UTF-16 to UTF-8 "
                                    "(WideCharToMultiByte failed)."
                                  : "Cannot convert from UTF-16 to UTF-8 (WideCharToMultiByte failed).";
        throw Utf8ConversionException(message, r.error, Utf8ConversionException::fromUtf16ToUtf8);
    }
    return result;
}

namespace {

class Win32Category final : public std::error_category {
public:
    const char* name() const noexcept override { return "win32"; }
    std::string message(int code) const override
    {
        switch (code) {
        case 0:
            return "The operation completed successfully.";
        case 2:
            return "The system cannot find the file specified.";
        case 5:
            return "Access is denied.";
        case 13:
            return "The data is invalid.";
        case 234:
            return "More data is available.";
        case 1113:
            return "No mapping for the Unicode character exists in the target multi-byte code page.";
        case 1630:
            return "Data of this type is not supported.";
        default:
            return vr::format("Unknown error {}.", code);
        }
    }
};

}  // namespace

const std::error_category& win32_category()
{
    // Never destroyed: detached threads may still throw registry errors at exit.
    static const Win32Category& category = *new Win32Category;
    return category;
}

}  // namespace win32
