#include "platform/fs_path.h"

#include <cctype>
#include <cstdlib>
#include <mutex>

namespace platform {

namespace {

std::mutex& lf_rootMutex()
{
    static std::mutex& m = *new std::mutex;  // never destroyed
    return m;
}

std::filesystem::path& lf_rootOverride()
{
    static auto& p = *new std::filesystem::path;
    return p;
}

bool lf_isSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::filesystem::path driveRoot()
{
    {
        const std::lock_guard lock(lf_rootMutex());
        if (!lf_rootOverride().empty()) return lf_rootOverride();
    }
    const char* env = std::getenv("VRMT_DRIVE_ROOT");
    return (env && *env) ? std::filesystem::path(env) : std::filesystem::path("/");
}

void setDriveRoot(const std::filesystem::path& root)
{
    const std::lock_guard lock(lf_rootMutex());
    lf_rootOverride() = root;
}

std::filesystem::path toFsPath(std::string_view text)
{
#ifdef _WIN32
    return std::filesystem::path(std::u8string_view(reinterpret_cast<const char8_t*>(text.data()), text.size()));
#else
    std::string out;
    out.reserve(text.size() + 16);
    std::size_t start = 0;
    if (text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':') {
        out = driveRoot().string();
        if (out.empty() || out.back() != '/') out += '/';
        out += text[0];
        start = 2;
        if (start < text.size() && !lf_isSeparator(text[start])) out += '/';
    }
    for (std::size_t i = start; i < text.size(); ++i) {
        const char c = lf_isSeparator(text[i]) ? '/' : text[i];
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out += c;
    }
    return std::filesystem::path(out);
#endif
}

std::string pathText(const std::filesystem::path& path)
{
    const std::u8string u8 = path.u8string();
    return {u8.begin(), u8.end()};
}

}  // namespace platform
