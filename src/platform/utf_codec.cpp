#include "platform/utf_codec.h"

namespace platform {

namespace {

constexpr UtfResult invalidInput{errorNoUnicodeTranslation, true};

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

UtfResult utf8ToUtf16(std::string_view in, std::u16string& out)
{
    out.clear();
    out.reserve(in.size());
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const auto* const end = p + in.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            out.push_back(c);
            ++p;
            continue;
        }
        // The ranges of the second byte exclude overlong forms, UTF-16 surrogates
        // (ED A0..BF) and code points above U+10FFFF (F4 90.., F5..FF).
        std::size_t length;
        unsigned char low = 0x80, high = 0xBF;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            cp = c & 0x0F;
            if (c == 0xE0) {
                low = 0xA0;
            } else if (c == 0xED) {
                high = 0x9F;
            }
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            cp = c & 0x07;
            if (c == 0xF0) {
                low = 0x90;
            } else if (c == 0xF4) {
                high = 0x8F;
            }
        } else {
            return invalidInput;  // stray continuation byte, C0, C1, F5..FF
        }
        if (static_cast<std::size_t>(end - p) < length || p[1] < low || p[1] > high) {
            return invalidInput;
        }
        for (std::size_t i = 1; i < length; ++i) {
            if (!isContinuation(p[i])) {
                return invalidInput;
            }
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        p += length;
        if (cp < 0x10000) {
            out.push_back(static_cast<char16_t>(cp));
        } else {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        }
    }
    return {};
}

UtfResult utf16ToUtf8(std::u16string_view in, std::string& out)
{
    out.clear();
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        char32_t cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            // Only a high surrogate followed by a low one is a character.
            if (cp > 0xDBFF || i + 1 == in.size() || in[i + 1] < 0xDC00 || in[i + 1] > 0xDFFF) {
                return invalidInput;
            }
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[++i] - 0xDC00);
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return {};
}

std::u16string utf16FromBytes(std::string_view bytes, bool& oddByte)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    bool little = false;
    if (bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
        little = true;
        bytes.remove_prefix(2);
    } else if (bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) {
        bytes.remove_prefix(2);
    }
    oddByte = bytes.size() % 2 != 0;
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(little ? static_cast<char16_t>(byte(i) | byte(i + 1) << 8)
                               : static_cast<char16_t>(byte(i) << 8 | byte(i + 1)));
    }
    return units;
}

}  // namespace platform
