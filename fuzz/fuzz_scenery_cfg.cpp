// scenery.cfg and scenery_add-ons.xml are written by the simulator, installers
// and users, in 8-bit text, UTF-8 or UTF-16: any bytes must be read (character
// set detected) and split into folders without a crash.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "airports/airport_scan.h"
#include "core/files.h"
#include "core/options.h"
#include "core/text_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A file in memory, read through its path as any file.
    static const int fd = ::memfd_create("vrmt-fuzz-scenery", 0);
    static const std::filesystem::path file = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ::ftruncate(fd, 0) != 0) return 0;
    if (size > 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    SIM_INSTALL_PATH.set(size % 2 ? "C:\\Program Files\\Lockheed Martin\\Prepar3D v5\\" : "D:\\P3D");
    std::vector<std::string> lines;
    if (!gf_readTextFileLines(file, lines)) return 0;
    std::vector<std::string> folders;
    lf_readSceneryCfgLines(lines, folders);
    for (const auto& line : lines) gf_extractPath(line);
    return 0;
}
