#pragma once
// A small RGB canvas written as a PNG (8-bit RGB, no filter), for the plots of
// the tools.

#include <cstdint>
#include <filesystem>
#include <vector>

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
};

class PngImage {
public:
    PngImage(int width, int height, Rgb background);
    int width() const { return width_; }
    int height() const { return height_; }
    void set(int x, int y, Rgb colour);
    void line(int x0, int y0, int x1, int y1, Rgb colour);
    void circle(int cx, int cy, int radius, Rgb colour);
    void disc(int cx, int cy, int radius, Rgb colour);
    // False when the file cannot be written.
    bool save(const std::filesystem::path& path) const;

private:
    int width_;
    int height_;
    std::vector<Rgb> pixels_;
};
