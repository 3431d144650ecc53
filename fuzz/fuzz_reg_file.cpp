// The .reg stand-in file is hand-written or exported by users: any bytes must
// parse without a crash, and what was parsed must be readable.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    platform::MemoryRegistry r;
    platform::parseRegFileBytes(std::string_view(reinterpret_cast<const char*>(data), size), r);
    std::u16string value;
    for (auto root : {platform::RegRoot::LocalMachine, platform::RegRoot::CurrentUser}) {
        r.openKey(root, u"SOFTWARE\\Lockheed Martin\\Prepar3D v5");
        r.getString(root, u"SOFTWARE\\Lockheed Martin\\Prepar3D v5", u"SetupPath", value);
        r.getString(root, u"K", u"", value);
    }
    return 0;
}
