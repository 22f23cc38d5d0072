// Draws the application icon (the route mark: three lines and four dots on a light tile) at eight
// sizes and writes them as one .ico file of PNG images. Usage: icon_generator <output.ico>
#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Rgba {
    double r, g, b, a;  // straight colour, 0..1
};

Rgba argb(std::uint32_t value)
{
    return {((value >> 16) & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0, (value & 0xFF) / 255.0,
            ((value >> 24) & 0xFF) / 255.0};
}

const Rgba TILE = argb(0xFFF7F6F1);
const Rgba TILE_EDGE = argb(0xFFD9DCE6);
const Rgba COBALT = argb(0xFF1E43CB);
const Rgba APRICOT = argb(0xFFFFB782);
const Rgba APRICOT_DEEP = argb(0xFFF0995C);

struct Point {
    double x, y;
};

// The mark in a 256-unit square: up to the right, down steeply, then on to the right.
constexpr std::array<Point, 4> MARK = {{{46, 150}, {108, 90}, {146, 182}, {212, 124}}};

double distanceToSegment(Point p, Point a, Point b)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

bool insideRoundedSquare(Point p, double inset, double radius)
{
    const double lo = inset, hi = 256.0 - inset;
    if (p.x < lo || p.x > hi || p.y < lo || p.y > hi)
        return false;
    const double cx = std::clamp(p.x, lo + radius, hi - radius), cy = std::clamp(p.y, lo + radius, hi - radius);
    return std::hypot(p.x - cx, p.y - cy) <= radius;
}

// Colour of one sample point (256-unit space); strokes are kept at least about 1.4 pixels wide.
Rgba sample(Point p, double unitsPerPixel)
{
    Rgba colour{0, 0, 0, 0};
    const auto over = [&colour](const Rgba& top) {
        const double a = top.a + colour.a * (1 - top.a);
        if (a <= 0)
            return;
        colour = {(top.r * top.a + colour.r * colour.a * (1 - top.a)) / a,
                  (top.g * top.a + colour.g * colour.a * (1 - top.a)) / a,
                  (top.b * top.a + colour.b * colour.a * (1 - top.a)) / a, a};
    };
    const double edge = std::max(4.0, unitsPerPixel);
    if (insideRoundedSquare(p, 6, 50))
        over(TILE_EDGE);
    if (insideRoundedSquare(p, 6 + edge, 50 - edge))
        over(TILE);

    const double halfLine = std::max(8.0, 0.75 * unitsPerPixel);
    const std::array<Rgba, 3> lineColours = {COBALT, COBALT, APRICOT_DEEP};
    for (std::size_t i = 0; i < 3; ++i)
        if (distanceToSegment(p, MARK[i], MARK[i + 1]) <= halfLine)
            over(lineColours[i]);

    const std::array<double, 4> radii = {24, 17, 20, 17};
    const std::array<Rgba, 4> dotColours = {COBALT, COBALT, APRICOT, APRICOT};
    for (std::size_t i = 0; i < 4; ++i)
        if (std::hypot(p.x - MARK[i].x, p.y - MARK[i].y) <= std::max(radii[i], 1.1 * unitsPerPixel))
            over(dotColours[i]);
    return colour;
}

// Renders one size with 8 x 8 samples per pixel, averaged in premultiplied form.
std::vector<std::uint8_t> render(int size)
{
    constexpr int SAMPLES = 8;
    const double unitsPerPixel = 256.0 / size;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < SAMPLES; ++sy)
                for (int sx = 0; sx < SAMPLES; ++sx) {
                    const Point p{(x + (sx + 0.5) / SAMPLES) * unitsPerPixel, (y + (sy + 0.5) / SAMPLES) * unitsPerPixel};
                    const Rgba c = sample(p, unitsPerPixel);
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                }
            std::uint8_t* out = &pixels[(static_cast<std::size_t>(y) * size + x) * 4];
            const auto byte = [](double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
            out[0] = a > 0 ? byte(r / a) : 0;
            out[1] = a > 0 ? byte(g / a) : 0;
            out[2] = a > 0 ? byte(b / a) : 0;
            out[3] = byte(a / (SAMPLES * SAMPLES));
        }
    }
    return pixels;
}

void appendBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void noFlush(png_structp) {}

bool encodePng(const std::vector<std::uint8_t>& pixels, int size, std::vector<std::uint8_t>& out)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, &out, appendBytes, noFlush);
    png_set_IHDR(png, info, size, size, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < size; ++y)
        png_write_row(png, const_cast<png_bytep>(&pixels[static_cast<std::size_t>(y) * size * 4]));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

void put16(std::vector<std::uint8_t>& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: icon_generator <output.ico>\n");
        return 2;
    }
    constexpr std::array<int, 8> SIZES = {16, 20, 24, 32, 48, 64, 128, 256};
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : SIZES) {
        std::vector<std::uint8_t> png;
        if (!encodePng(render(size), size, png)) {
            std::fprintf(stderr, "icon_generator: PNG encoding failed at %d px\n", size);
            return 1;
        }
        images.push_back(std::move(png));
    }

    // ICONDIR, then one ICONDIRENTRY per image, then the PNG streams.
    std::vector<std::uint8_t> ico;
    put16(ico, 0);
    put16(ico, 1);
    put16(ico, static_cast<unsigned>(SIZES.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(SIZES.size());
    for (std::size_t i = 0; i < SIZES.size(); ++i) {
        ico.push_back(static_cast<std::uint8_t>(SIZES[i] % 256));  // 0 stands for 256
        ico.push_back(static_cast<std::uint8_t>(SIZES[i] % 256));
        ico.push_back(0);
        ico.push_back(0);
        put16(ico, 1);
        put16(ico, 32);
        put32(ico, static_cast<std::uint32_t>(images[i].size()));
        put32(ico, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto& image : images)
        ico.insert(ico.end(), image.begin(), image.end());

    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(ico.data()), static_cast<std::streamsize>(ico.size()));
    if (!file) {
        std::fprintf(stderr, "icon_generator: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
