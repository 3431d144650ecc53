#pragma once
// Which versions of Prepar3D are installed, and where: each version has a key
// under HKEY_LOCAL_MACHINE whose string value "SetupPath" holds its folder.
// Nothing here throws to its caller except RegKey (and p3dVersionFromPath, which
// tells the user what to set).

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/registry.h"

// "SOFTWARE\Lockheed Martin\Prepar3D v{version}".
std::u16string p3dRegistryKey(int version);

// True when the registry key of that version (5 or 6) can be opened.
bool isP3DInstalled(int version);

// The "SetupPath" value of that version's key as a path naming exactly the
// folder the value holds; an empty path on any registry failure (no key, no
// value, not a string, not valid UTF-16).
std::filesystem::path getP3DSetupPath(int version);

// The simulator version to serve, as text: "5" or "6" when the install folder's
// own name contains "v5"/"V5" or "v6"/"V6" not followed by a digit
// ("D:\P3Dv6_Pro", "E:\Prepar3D v6 Academic"; v5 looked for first); else when a
// component of the install path ends in one of them (the deepest such component
// decides, so "D:\Dev5\Prepar3D v6" is 6); otherwise `p3dVersionOption` (the
// P3D_VERSION option) in decimal when it is 5 or more. Else throws
// qxv::UserErrorException 77 "P3D install path does not contain v5 or v6. Use
// hidden parameter P3D_VERSION, set it to 5 or 6.".
std::string p3dVersionFromPath(std::string_view installPath, int p3dVersionOption);
// The same for the options SIM_INSTALL_PATH and P3D_VERSION.
std::string p3dVersionFromPath();

// One registry key opened for reading. Throws winreg::RegException with the
// system's error code on failure.
class RegKey {
public:
    // "RegOpenKeyExW failed." when the key cannot be opened.
    RegKey(platform::RegRoot root, std::u16string_view subKey);

    // The string (REG_SZ) value `valueName`, without the terminating null.
    // "Cannot get size of string value: RegGetValueW failed." when it is
    // missing (code 2) or not a string (code 1630).
    std::u16string GetStringValue(std::u16string_view valueName) const;

private:
    platform::RegRoot root_;
    std::u16string subKey_;
};
