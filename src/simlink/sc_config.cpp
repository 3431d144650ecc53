// Settings of the SimConnect connection: SimConnect.cfg in three folders and
// the simulator's ports in the registry.

#include <algorithm>
#include <cctype>

#include "platform/known_folders.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "simlink/sc_transport.h"

namespace {

std::mutex& lf_envMutex()
{
    static auto* m = new std::mutex;
    return *m;
}
ScEnvironment& lf_env()
{
    static auto* e = new ScEnvironment;
    return *e;
}

std::vector<std::filesystem::path> lf_platformCfgFolders()
{
    using platform::KnownFolder;
    std::vector<std::filesystem::path> folders;
    for (const auto k : {KnownFolder::PublicDocuments, KnownFolder::Documents})
        folders.push_back(platform::knownFolder(k).value_or(std::filesystem::path()));
    std::error_code ec;
    folders.push_back(std::filesystem::current_path(ec));
    return folders;
}

// The simulator's port of the family from HKEY_CURRENT_USER; "" when none.
std::string lf_platformRegistryPort(platform::net::Family family)
{
    std::u16string value;
    const std::u16string_view name =
        family == platform::net::Family::IPv4 ? u"SimConnect_Port_IPv4" : u"SimConnect_Port_IPv6";
    if (platform::registry().getString(platform::RegRoot::CurrentUser, u"SOFTWARE\\Lockheed Martin\\Prepar3D v5",
                                       name, value) != platform::regSuccess)
        return {};
    std::string port;
    for (const char16_t c : value) {
        if (c > 0x7F) return {};  // a port is digits
        port.push_back(static_cast<char>(c));
    }
    return port;
}

std::string lf_lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// GetPrivateProfileInt-like: leading decimal digits, fallback when none.
std::uint64_t lf_decimal(const std::string& text, std::uint64_t fallback)
{
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return fallback;
    return std::strtoull(text.c_str(), nullptr, 10);
}

void lf_readSection(const std::filesystem::path& file, const std::string& section, ScSettings& s)
{
    using platform::ini::readProfileString;
    // Keys in this order: Protocol before Port, so that a protocol that picks a
    // family replaces only a port set by an earlier file.
    const std::string protocol = lf_lower(readProfileString(file, section, "Protocol"));
    if (protocol == "auto") {
        s.protocol = ScProtocol::Auto;
    } else if (protocol == "pipe") {
        s.protocol = ScProtocol::Pipe;
    } else if (protocol == "ipv4" || protocol == "ipv6") {
        const auto family = protocol == "ipv4" ? platform::net::Family::IPv4 : platform::net::Family::IPv6;
        s.protocol = protocol == "ipv4" ? ScProtocol::IPv4 : ScProtocol::IPv6;
        if (!s.port.empty()) s.port = scRegistryPort(family);
    }
    if (auto address = readProfileString(file, section, "Address"); !address.empty()) s.address = address;
    if (auto port = readProfileString(file, section, "Port"); !port.empty()) s.port = port;
    const std::uint64_t maxReceive = lf_decimal(readProfileString(file, section, "MaxReceiveSize"), 0);
    if (maxReceive > s.maxReceiveSize)
        s.maxReceiveSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(maxReceive, 0xFFFFFFFFu));
    const std::string nagle = readProfileString(file, section, "DisableNagle");
    if (!nagle.empty()) s.disableNagle = lf_decimal(nagle, 0) != 0;
}

}  // namespace

void setScEnvironment(ScEnvironment env)
{
    std::lock_guard lock(lf_envMutex());
    lf_env() = std::move(env);
}

std::string scRegistryPort(platform::net::Family family)
{
    std::function<std::string(platform::net::Family)> fn;
    {
        std::lock_guard lock(lf_envMutex());
        fn = lf_env().registryPort;
    }
    std::string port;  // emptied before the lookup
    port = fn ? fn(family) : lf_platformRegistryPort(family);
    if (port.size() > 9) port.clear();  // the value is read into 9 characters at most
    return port;
}

bool scReadSettings(int index, ScSettings& settings)
{
    settings = ScSettings{};
    if (index == -1) return true;
    std::function<std::vector<std::filesystem::path>()> folders;
    {
        std::lock_guard lock(lf_envMutex());
        folders = lf_env().cfgFolders;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& folder : folders ? folders() : lf_platformCfgFolders()) {
        if (!folder.empty()) files.push_back(folder / "SimConnect.cfg");
    }
    const std::string section =
        index == 0 ? std::string("SimConnect") : "SimConnect." + std::to_string(static_cast<unsigned>(index));
    if (index != 0) {
        const bool found = std::any_of(files.begin(), files.end(),
                                       [&](const auto& f) { return platform::ini::hasSection(f, section); });
        if (!found) return false;
    }
    for (const auto& f : files) lf_readSection(f, section, settings);
    return true;
}
