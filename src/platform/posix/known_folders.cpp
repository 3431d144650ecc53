#include "platform/known_folders.h"

#include <cstdlib>
#include <string>

namespace platform {
namespace {

std::optional<std::filesystem::path> lf_env(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::filesystem::path(value);
}

// $HOME joined with `sub`.
std::optional<std::filesystem::path> lf_home(const char* sub)
{
    auto home = lf_env("HOME");
    if (!home) return std::nullopt;
    return *home / sub;
}

// The first folder of a ':'-separated XDG list.
std::optional<std::filesystem::path> lf_firstOfList(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    const std::string list(value);
    const std::string first = list.substr(0, list.find(':'));
    if (first.empty()) return std::nullopt;
    return std::filesystem::path(first);
}

}  // namespace

std::optional<std::filesystem::path> knownFolder(KnownFolder folder)
{
    switch (folder) {
    case KnownFolder::RoamingAppData:
        if (auto p = lf_env("VRMT_APPDATA")) return p;
        if (auto p = lf_env("XDG_CONFIG_HOME")) return p;
        return lf_home(".config");
    case KnownFolder::ProgramData:
        if (auto p = lf_env("VRMT_PROGRAMDATA")) return p;
        if (auto p = lf_firstOfList("XDG_DATA_DIRS")) return p;
        return std::filesystem::path("/usr/local/share");
    case KnownFolder::Documents:
        if (auto p = lf_env("VRMT_DOCUMENTS")) return p;
        if (auto p = lf_env("XDG_DOCUMENTS_DIR")) return p;
        return lf_home("Documents");
    case KnownFolder::PublicDocuments:
        if (auto p = lf_env("VRMT_PUBLIC_DOCUMENTS")) return p;
        if (auto p = lf_env("XDG_PUBLICSHARE_DIR")) return p;
        return lf_home("Public");
    }
    return std::nullopt;
}

}  // namespace platform
