#include "core/install_lookup.h"

#include "core/errors.h"
#include "core/fmt.h"
#include "core/options.h"
#include "core/text_convert.h"

RegKey::RegKey(platform::RegRoot root, std::u16string_view subKey) : root_(root), subKey_(subKey)
{
    if (const auto code = platform::registry().openKey(root_, subKey_); code != platform::regSuccess) {
        throw winreg::RegException(code, "RegOpenKeyExW failed.");
    }
}

std::u16string RegKey::GetStringValue(std::u16string_view valueName) const
{
    std::u16string value;
    if (const auto code = platform::registry().getString(root_, subKey_, valueName, value);
        code != platform::regSuccess) {
        throw winreg::RegException(code, "Cannot get size of string value: RegGetValueW failed.");
    }
    return value;
}

std::u16string p3dRegistryKey(int version)
{
    std::u16string key = u"SOFTWARE\\Lockheed Martin\\Prepar3D v";
    for (char c : std::to_string(version)) {
        key.push_back(static_cast<char16_t>(c));
    }
    return key;
}

bool isP3DInstalled(int version)
{
    try {
        RegKey key(platform::RegRoot::LocalMachine, p3dRegistryKey(version));
        return true;
    } catch (const winreg::RegException&) {
        return false;
    }
}

std::filesystem::path getP3DSetupPath(int version)
{
    try {
        const RegKey key(platform::RegRoot::LocalMachine, p3dRegistryKey(version));
        const std::string utf8 = win32::Utf16ToUtf8(key.GetStringValue(u"SetupPath"));
        // A path made from char8_t text reads it as UTF-8 on every system (a
        // plain std::string would be taken in the ANSI code page on Windows).
        return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
    } catch (const winreg::RegException&) {
        return {};
    } catch (const win32::Utf8ConversionException&) {
        return {};  // no real installation writes such a value
    }
}

std::string p3dVersionFromPath(std::string_view installPath, int p3dVersionOption)
{
    // Look at whole path components from the deepest up, so that a "v5" inside
    // a folder name such as "Dev5" higher up does not count.
    std::size_t end = installPath.size();
    while (end > 0) {
        const std::size_t sep = installPath.find_last_of("\\/", end - 1);
        const std::size_t begin = sep == std::string_view::npos ? 0 : sep + 1;
        const std::string_view component = installPath.substr(begin, end - begin);
        if (component.size() >= 2 && (component[component.size() - 2] == 'v' || component[component.size() - 2] == 'V')) {
            if (component.back() == '5') {
                return "5";
            }
            if (component.back() == '6') {
                return "6";
            }
        }
        if (sep == std::string_view::npos) {
            break;
        }
        end = sep;
    }
    if (p3dVersionOption >= 5) {
        return std::to_string(p3dVersionOption);
    }
    throw qxv::UserErrorException(
        77, vr::format("P3D install path does not contain v5 or v6. Use hidden parameter {}, set it to 5 or 6.",
                       P3D_VERSION.name()));
}

std::string p3dVersionFromPath() { return p3dVersionFromPath(SIM_INSTALL_PATH.get(), P3D_VERSION.get()); }
