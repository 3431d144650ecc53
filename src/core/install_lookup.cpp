#include "core/install_lookup.h"

#include <cctype>
#include <utility>

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

namespace {

// The last non-empty component of the path.
std::string_view lf_installFolderName(std::string_view path)
{
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) {
        path.remove_suffix(1);
    }
    const std::size_t sep = path.find_last_of("\\/");
    return sep == std::string_view::npos ? path : path.substr(sep + 1);
}

bool lf_containsVersionMark(std::string_view name, std::string_view mark)
{
    for (std::size_t at = name.find(mark); at != std::string_view::npos; at = name.find(mark, at + 1)) {
        const std::size_t next = at + mark.size();
        if (next == name.size() || !std::isdigit(static_cast<unsigned char>(name[next]))) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string p3dVersionFromPath(std::string_view installPath, int p3dVersionOption)
{
    // The install folder's own name first, wherever in it the version stands
    // ("Prepar3D v6 Academic", "P3Dv6_Pro", "Prepar3D v6.1"); a digit after it
    // makes another number ("v55").
    const std::string_view folder = lf_installFolderName(installPath);
    for (const auto& [mark, version] : {std::pair{"v5", "5"}, std::pair{"V5", "5"}, std::pair{"v6", "6"},
                                        std::pair{"V6", "6"}}) {
        if (lf_containsVersionMark(folder, mark)) {
            return version;
        }
    }
    // Then whole path components from the deepest up that end in the version,
    // so that a "v5" inside a folder name such as "Dev5" higher up does not count
    // when a deeper one names the version.
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
