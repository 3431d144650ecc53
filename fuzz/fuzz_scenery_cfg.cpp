// scenery.cfg and scenery_add-ons.xml are written by the simulator, installers
// and users, in 8-bit text, UTF-8 or UTF-16: any bytes must be read (character
// set detected) and split into folders without a crash.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "airports/airport_scan.h"
#include "core/files.h"
#include "core/options.h"
#include "core/text_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("vrmt-fuzz-scenery-" + std::to_string(::getpid()) + ".cfg");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    SIM_INSTALL_PATH.set(size % 2 ? "C:\\Program Files\\Lockheed Martin\\Prepar3D v5\\" : "D:\\P3D");
    std::vector<std::string> lines;
    if (!gf_readTextFileLines(file, lines)) return 0;
    std::vector<std::string> folders;
    lf_readSceneryCfgLines(lines, folders);
    for (const auto& line : lines) gf_extractPath(line);
    return 0;
}
