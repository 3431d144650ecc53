#include "png_image.h"

#include <cstdlib>
#include <fstream>
#include <string>

#include <zlib.h>

namespace {

void lf_put32(std::string& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void lf_chunk(std::string& out, const char* type, const std::string& data)
{
    lf_put32(out, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    out += typed;
    lf_put32(out, static_cast<std::uint32_t>(
                      crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()))));
}

}  // namespace

PngImage::PngImage(int width, int height, Rgb background)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height, background)
{
}

void PngImage::set(int x, int y, Rgb colour)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    pixels_[static_cast<std::size_t>(y) * width_ + x] = colour;
}

void PngImage::line(int x0, int y0, int x1, int y1, Rgb colour)
{
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (int guard = 0; guard < 100000; ++guard) {
        set(x0, y0, colour);
        if (x0 == x1 && y0 == y1) break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void PngImage::circle(int cx, int cy, int radius, Rgb colour)
{
    int x = radius;
    int y = 0;
    int err = 1 - radius;
    while (x >= y) {
        for (auto [px, py] : {std::pair{x, y}, {y, x}, {-y, x}, {-x, y}, {-x, -y}, {-y, -x}, {y, -x}, {x, -y}})
            set(cx + px, cy + py, colour);
        ++y;
        if (err < 0) {
            err += 2 * y + 1;
        } else {
            --x;
            err += 2 * (y - x) + 1;
        }
    }
}

void PngImage::disc(int cx, int cy, int radius, Rgb colour)
{
    for (int y = -radius; y <= radius; ++y)
        for (int x = -radius; x <= radius; ++x)
            if (x * x + y * y <= radius * radius) set(cx + x, cy + y, colour);
}

bool PngImage::save(const std::filesystem::path& path) const
{
    std::string raw;
    raw.reserve(pixels_.size() * 3 + height_);
    for (int y = 0; y < height_; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < width_; ++x) {
            const Rgb& p = pixels_[static_cast<std::size_t>(y) * width_ + x];
            raw.push_back(static_cast<char>(p.r));
            raw.push_back(static_cast<char>(p.g));
            raw.push_back(static_cast<char>(p.b));
        }
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), 6) != Z_OK)
        return false;
    packed.resize(size);

    std::string header;
    lf_put32(header, static_cast<std::uint32_t>(width_));
    lf_put32(header, static_cast<std::uint32_t>(height_));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    std::string file("\x89PNG\r\n\x1a\n", 8);
    lf_chunk(file, "IHDR", header);
    lf_chunk(file, "IDAT", packed);
    lf_chunk(file, "IEND", {});
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << file;
    return bool(out.flush());
}
