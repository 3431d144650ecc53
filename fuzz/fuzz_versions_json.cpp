// versions.json comes from the download site (or from whatever answers in its
// place): any bytes give a document or a problem, and every entry a version, a
// missing key or a problem, never an exception or a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "shell/update_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const VersionsDocument versions = parseVersionsText(text);
    if (versions.problem.empty() != versions.document.is_object()) std::abort();
    for (const char* key : {"aig", "dbase", ""}) {
        const RemoteVersion r = remoteVersionOf(versions.document, key);
        if (r.state == RemoteVersion::State::Found &&
            (!r.problem.empty() || r.version.major < 0 || r.version.minor < 0 || r.version.patch < 0))
            std::abort();
        if (r.state == RemoteVersion::State::Invalid && r.problem.empty()) std::abort();
    }
    if (versions.document.is_object())
        for (const auto& item : versions.document.items()) (void)remoteVersionOf(versions.document, item.key());
    return 0;
}
