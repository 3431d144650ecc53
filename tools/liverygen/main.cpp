// vrmt-liverygen DIR COUNT SEED: writes a library of COUNT generated AI aircraft
// (aircraft.cfg files with their folders) and its dbase.xml into DIR, and
// prints what a livery scan of it must find.

#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string_view>

#include "liverygen.h"

namespace {

template <typename T>
bool parse(std::string_view text, T& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

int usage()
{
    std::fputs("usage: vrmt-liverygen DIR COUNT SEED\n"
               "  Writes COUNT generated aircraft.cfg files (SimObjects/Airplanes/... and IVAO_MTL/...)\n"
               "  with their model and texture folders, and dbase.xml, into DIR. The same SEED gives\n"
               "  the same library. Prints what a livery scan of DIR must find.\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) return usage(), 0;
    std::size_t count = 0;
    std::uint32_t seed = 0;
    if (argc != 4 || !parse(argv[2], count) || !parse(argv[3], seed)) return usage();
    try {
        const auto lib = liverygen::generateLiveryLibrary(argv[1], count, seed);
        const auto& e = lib.expected;
        std::printf("%zu aircraft.cfg files, %zu lines, database %s\n", lib.files, lib.lines, lib.dbaseXml.c_str());
        std::printf("a scan finds %zu liveries\n", e.liveries);
        std::printf("  invalid airline codes       %zu\n", e.invalidAirlineCodes);
        std::printf("  invalid model codes         %zu\n", e.invalidAircraftCodes);
        std::printf("  code fixes                  %zu\n", e.fixes);
        std::printf("  invalid aircraft.cfg files  %zu\n", e.invalidCfgFiles);
        std::printf("  incomplete sections         %zu\n", e.incompleteSections);
        std::printf("  files without sections      %zu\n", e.noFltsimSection);
    } catch (const std::exception& ex) {
        std::fprintf(stderr, "vrmt-liverygen: %s\n", ex.what());
        return 1;
    }
    return 0;
}
