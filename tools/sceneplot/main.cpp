// vrmt-sceneplot: draws the service stand-in's scene into a PNG, two panels:
// the whole scene (50 nm across) and the airport (4 nm across). Each plane's
// position every second for a quarter of an hour, one colour a role (approach
// blue, landing cyan, taxi green, parked grey, pushback orange, departure red);
// a flight that ends and the next that begins show as separate tracks. The
// airport is the black cross.
//   vrmt-sceneplot [--out scene.png] [--per-role N] [--minutes N]

#include <zlib.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "scene.h"

namespace {

constexpr int lf_panel = 800;

struct Image {
    int width, height;
    std::vector<std::uint8_t> rgb;
    Image(int w, int h) : width(w), height(h), rgb(static_cast<std::size_t>(w) * h * 3, 255) {}
    void dot(int x, int y, std::array<std::uint8_t, 3> c, int r = 1)
    {
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx) {
                const int px = x + dx, py = y + dy;
                if (px < 0 || py < 0 || px >= width || py >= height) continue;
                auto* p = &rgb[(static_cast<std::size_t>(py) * width + px) * 3];
                p[0] = c[0], p[1] = c[1], p[2] = c[2];
            }
    }
};

void lf_chunk(std::ofstream& out, const char* type, const std::vector<std::uint8_t>& data)
{
    const auto be32 = [&out](std::uint32_t v) {
        const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        out.write(b, 4);
    };
    be32(static_cast<std::uint32_t>(data.size()));
    out.write(type, 4);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));  // a null buffer resets it
    be32(static_cast<std::uint32_t>(crc));
}

bool lf_writePng(const std::string& path, const Image& img)
{
    std::vector<std::uint8_t> raw;
    raw.reserve(img.rgb.size() + img.height);
    for (int y = 0; y < img.height; ++y) {
        raw.push_back(0);  // no filter
        const auto* row = &img.rgb[static_cast<std::size_t>(y) * img.width * 3];
        raw.insert(raw.end(), row, row + img.width * 3);
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(size);
    if (compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size())) != Z_OK) return false;
    packed.resize(size);
    std::ofstream out(path, std::ios::binary);
    if (!out) return false;
    out.write("\x89PNG\r\n\x1a\n", 8);
    std::vector<std::uint8_t> header(13, 0);
    const auto put32 = [&header](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) header[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    };
    put32(0, static_cast<std::uint32_t>(img.width));
    put32(4, static_cast<std::uint32_t>(img.height));
    header[8] = 8;  // bit depth
    header[9] = 2;  // RGB
    lf_chunk(out, "IHDR", header);
    lf_chunk(out, "IDAT", packed);
    lf_chunk(out, "IEND", {});
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string outPath = "scene.png";
    int perRole = 3;
    double minutes = 15;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--out" && i + 1 < argc) {
            outPath = argv[++i];
        } else if (a == "--per-role" && i + 1 < argc) {
            perRole = std::atoi(argv[++i]);
        } else if (a == "--minutes" && i + 1 < argc) {
            minutes = std::atof(argv[++i]);
        } else {
            std::puts("usage: vrmt-sceneplot [--out scene.png] [--per-role N] [--minutes N]");
            return a == "--help" ? 0 : 2;
        }
    }
    constexpr double start = 1'700'000'000.0;
    const standin::SceneAirport airport;
    const standin::Scene scene(airport, perRole, [] { return start; });
    static const std::array<std::array<std::uint8_t, 3>, 6> colours{{
        {30, 60, 220}, {0, 170, 200}, {0, 150, 0}, {130, 130, 130}, {240, 140, 0}, {210, 20, 20}}};
    Image img(2 * lf_panel, lf_panel);
    const double cosLat = std::cos(airport.lat * 0.017453292519943295);
    const auto plot = [&](double lat, double lon, int panel, double halfNm, std::array<std::uint8_t, 3> c, int r) {
        const double east = (lon - airport.lon) * 60.0 * cosLat, north = (lat - airport.lat) * 60.0;
        const int x = panel * lf_panel + static_cast<int>((east / halfNm + 1.0) * lf_panel / 2);
        const int y = static_cast<int>((1.0 - north / halfNm) * lf_panel / 2);
        if (x >= panel * lf_panel && x < (panel + 1) * lf_panel) img.dot(x, y, c, r);
    };
    for (double t = start; t < start + minutes * 60; t += 1.0) {
        const auto data = scene.liveData(t, 90, -90, -180, 180);
        for (const auto& [hex, e] : data.items()) {
            const int number = std::stoi(hex, nullptr, 16) - 0x484000;
            const int index = number % (6 * perRole);
            const auto& c = colours[static_cast<std::size_t>(index / perRole)];
            plot(e[1].get<double>(), e[2].get<double>(), 0, 25.0, c, 1);
            plot(e[1].get<double>(), e[2].get<double>(), 1, 2.0, c, 1);
        }
    }
    for (int panel = 0; panel < 2; ++panel) {
        for (int d = -8; d <= 8; ++d) {
            img.dot(panel * lf_panel + lf_panel / 2 + d, lf_panel / 2, {0, 0, 0}, 0);
            img.dot(panel * lf_panel + lf_panel / 2, lf_panel / 2 + d, {0, 0, 0}, 0);
        }
        for (int y = 0; y < lf_panel; ++y) img.dot(lf_panel, y, {0, 0, 0}, 0);
    }
    if (!lf_writePng(outPath, img)) {
        std::fprintf(stderr, "vrmt-sceneplot: cannot write %s\n", outPath.c_str());
        return 1;
    }
    std::printf("%s: the scene around %s over %.0f minutes, %d planes a role\n", outPath.c_str(), airport.icao.c_str(),
                minutes, perRole);
    return 0;
}
