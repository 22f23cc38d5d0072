// Host-side maker of the atlas images: draws the two stand-in plates (8-bit RGB PNG) with their
// baseline JPEG previews, or derives a preview from a published plate given as a PNG file.
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Files and the preview accumulator

struct File {
    std::FILE* f = nullptr;
    File(const char* path, const char* mode) : f(std::fopen(path, mode))
    {
        if (!f)
            throw std::runtime_error(std::string("cannot open ") + path);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File()
    {
        if (f)
            std::fclose(f);
    }
};

// Averages whole source rows into a smaller image (area average, integer box bounds), so a
// preview can be made while the source streams past row by row.
struct Downscaler {
    int srcWidth, srcHeight, width, height;
    std::vector<std::uint64_t> sums;   // one output row of RGB sums
    std::vector<std::uint32_t> counts;
    std::vector<int> columnOf;         // output column of each source column
    std::vector<std::uint8_t> out;     // finished RGB rows
    int currentRow = 0;

    Downscaler(int sw, int sh, int w, int h)
        : srcWidth(sw), srcHeight(sh), width(w), height(h), sums(std::size_t(w) * 3), counts(std::size_t(w)),
          columnOf(std::size_t(sw)), out(std::size_t(w) * h * 3)
    {
        for (int x = 0; x < sw; ++x)
            columnOf[x] = int(std::int64_t(x) * w / sw);
    }

    void flush()
    {
        std::uint8_t* row = &out[std::size_t(currentRow) * width * 3];
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t n = std::max<std::uint32_t>(counts[x], 1);
                row[x * 3 + c] = std::uint8_t((sums[x * 3 + c] + n / 2) / n);
            }
        std::fill(sums.begin(), sums.end(), 0);
        std::fill(counts.begin(), counts.end(), 0);
    }

    void addRow(int y, const std::uint8_t* rgb)
    {
        const int target = int(std::int64_t(y) * height / srcHeight);
        if (target != currentRow) {
            flush();
            currentRow = target;
        }
        for (int x = 0; x < srcWidth; ++x) {
            const int o = columnOf[x];
            sums[o * 3] += rgb[x * 3];
            sums[o * 3 + 1] += rgb[x * 3 + 1];
            sums[o * 3 + 2] += rgb[x * 3 + 2];
            ++counts[o];
        }
        if (y == srcHeight - 1)
            flush();
    }
};

void writeJpeg(const char* path, const std::vector<std::uint8_t>& rgb, int width, int height)
{
    File file(path, "wb");
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file.f);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);  // baseline, Huffman, no progression
    jpeg_set_quality(&info, 88, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[std::size_t(info.next_scanline) * width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
}

[[noreturn]] void pngError(png_structp, png_const_charp message)
{
    throw std::runtime_error(std::string("png: ") + message);
}

void writePng(const char* path, const std::vector<std::uint8_t>& rgb, int width, int height)
{
    File file(path, "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file.f);
    // Speed over size: fast deflate with the one filter that pays for itself on noisy imagery.
    png_set_compression_level(png, 1);
    png_set_compression_strategy(png, Z_RLE);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, &rgb[std::size_t(y) * width * 3]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
}

// Streams a PNG (any colour type, 8 or 16 bits) as 8-bit RGB rows into the downscaler.
void previewFromPng(const char* input, const char* output, int width, int height)
{
    File file(input, "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file.f);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE)
        throw std::runtime_error("interlaced plates are not supported");
    png_read_update_info(png, info);
    const int sw = int(png_get_image_width(png, info));
    const int sh = int(png_get_image_height(png, info));
    Downscaler scaler(sw, sh, width, height);
    std::vector<std::uint8_t> row(png_get_rowbytes(png, info));
    for (int y = 0; y < sh; ++y) {
        png_read_row(png, row.data(), nullptr);
        scaler.addRow(y, row.data());
    }
    png_destroy_read_struct(&png, &info, nullptr);
    writeJpeg(output, scaler.out, width, height);
}

// ---------------------------------------------------------------------------------------------
// Procedural imagery

std::uint32_t hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed)
{
    std::uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

float unit(std::uint32_t h) { return float(h >> 8) * (1.0f / 16777216.0f); }

float smooth(float t) { return t * t * (3.0f - 2.0f * t); }

// Value noise in [0, 1) with lattice spacing `cell` pixels.
float valueNoise(float x, float y, float cell, std::uint32_t seed)
{
    const float fx = x / cell, fy = y / cell;
    const int ix = int(std::floor(fx)), iy = int(std::floor(fy));
    const float tx = smooth(fx - float(ix)), ty = smooth(fy - float(iy));
    const auto at = [&](int dx, int dy) { return unit(hash(std::uint32_t(ix + dx), std::uint32_t(iy + dy), seed)); };
    const float top = at(0, 0) + (at(1, 0) - at(0, 0)) * tx;
    const float bottom = at(0, 1) + (at(1, 1) - at(0, 1)) * tx;
    return top + (bottom - top) * ty;
}

float fbm(float x, float y, float cell, int octaves, std::uint32_t seed)
{
    float sum = 0.0f, amplitude = 0.5f, norm = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * valueNoise(x, y, cell, seed + std::uint32_t(o) * 101u);
        norm += amplitude;
        amplitude *= 0.5f;
        cell *= 0.5f;
    }
    return sum / norm;
}

struct Look {
    std::uint32_t seed;
    float cliffLevel;        // fraction of the height where the ridge line sits
    float cliffSwing;        // how far the ridge line wanders, fraction of the height
    float dust[3], rim[3], gas[3], sky[3];
};

constexpr Look LOOKS[2] = {
    {7u, 0.58f, 0.16f, {150, 70, 30}, {255, 214, 150}, {70, 130, 210}, {10, 16, 40}},
    {23u, 0.50f, 0.22f, {120, 60, 80}, {250, 170, 120}, {120, 150, 190}, {14, 12, 28}},
};

// Slowly varying fields, sampled every GRID pixels and interpolated per pixel.
constexpr int GRID = 8;

struct Coarse {
    int columns = 0, rows = 0;
    std::vector<float> density, tint, rugged;
    std::vector<float> ridge;  // ridge line height per grid column, pixels

    float at(const std::vector<float>& field, float gx, float gy) const
    {
        const int x0 = std::min(int(gx), columns - 2), y0 = std::min(int(gy), rows - 2);
        const float tx = gx - float(x0), ty = gy - float(y0);
        const float* r0 = &field[std::size_t(y0) * columns + x0];
        const float* r1 = r0 + columns;
        const float a = r0[0] + (r0[1] - r0[0]) * tx, b = r1[0] + (r1[1] - r1[0]) * tx;
        return a + (b - a) * ty;
    }
};

Coarse buildCoarse(int width, int height, const Look& look)
{
    Coarse c;
    c.columns = width / GRID + 2;
    c.rows = height / GRID + 2;
    const std::size_t n = std::size_t(c.columns) * c.rows;
    c.density.resize(n);
    c.tint.resize(n);
    c.rugged.resize(n);
    c.ridge.resize(std::size_t(c.columns));
    const float scale = float(height);
    for (int gx = 0; gx < c.columns; ++gx) {
        const float x = float(gx * GRID);
        c.ridge[gx] = height * look.cliffLevel +
                      (fbm(x, 0.0f, scale * 0.5f, 7, look.seed + 1) - 0.5f) * 2.0f * height * look.cliffSwing;
    }
    for (int gy = 0; gy < c.rows; ++gy)
        for (int gx = 0; gx < c.columns; ++gx) {
            const float x = float(gx * GRID), y = float(gy * GRID);
            const std::size_t i = std::size_t(gy) * c.columns + gx;
            c.density[i] = fbm(x, y, scale * 0.25f, 7, look.seed + 2);
            c.tint[i] = fbm(x, y, scale * 0.6f, 3, look.seed + 3);
            c.rugged[i] = fbm(x, y, scale * 0.08f, 5, look.seed + 4) - 0.5f;
        }
    return c;
}

std::uint8_t clampByte(float v) { return std::uint8_t(std::clamp(v, 0.0f, 255.0f)); }

void paintRows(std::vector<std::uint8_t>& rgb, int width, int height, const Look& look, const Coarse& c, int y0,
               int y1)
{
    const float h = float(height);
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* row = &rgb[std::size_t(y) * width * 3];
        const float gy = float(y) / GRID;
        for (int x = 0; x < width; ++x) {
            const float gx = float(x) / GRID;
            const int col = std::min(int(gx), c.columns - 2);
            const float ridge = c.ridge[col] + (c.ridge[col + 1] - c.ridge[col]) * (gx - float(col));
            const float density = c.at(c.density, gx, gy), tint = c.at(c.tint, gx, gy);
            const float rugged = c.at(c.rugged, gx, gy);
            // Fine structure: a 3-pixel octave for ridges and wisps, a per-pixel grain.
            const float fine = valueNoise(float(x), float(y), 3.0f, look.seed + 9);
            const std::uint32_t g = hash(std::uint32_t(x), std::uint32_t(y), look.seed + 11);
            const float grain = (unit(g) - 0.5f) * 4.0f;
            const float d = (float(y) - ridge) + rugged * h * 0.09f + (fine - 0.5f) * 10.0f;  // > 0: inside
            float r, gr, b;
            if (d > 0) {
                const float depth = std::min(d / (h * 0.25f), 1.0f);
                const float k = (0.45f + 0.8f * density) * (1.0f - 0.55f * depth) * (0.85f + 0.3f * fine);
                r = look.dust[0] * k;
                gr = look.dust[1] * k;
                b = look.dust[2] * k;
            } else {
                const float up = std::min(-d / (h * 0.4f), 1.0f);
                const float glow = (1.0f - up) * (0.35f + 0.9f * density * density);
                const float w = std::max(0.0f, fine * density * 1.6f - 0.3f);
                const float wisps = w * w * 120.0f;
                r = look.sky[0] + look.gas[0] * glow * (0.6f + tint) + wisps * 0.6f;
                gr = look.sky[1] + look.gas[1] * glow * (0.7f + 0.5f * tint) + wisps * 0.8f;
                b = look.sky[2] + look.gas[2] * glow + wisps;
            }
            // The bright rim where radiation eats into the ridge, with filaments a pixel or two wide.
            const float ad = std::fabs(d);
            float glowAmount = 0.0f;
            if (ad < h * 0.25f) {
                glowAmount = std::exp(-ad / (h * 0.012f)) * (0.5f + density);
                const float phase = float(x) * 0.0035f + rugged * 13.0f + fine * 0.4f;
                if (phase - std::floor(phase) < 0.013f)
                    glowAmount += 0.6f * std::exp(-ad / (h * 0.05f));
            }
            r += look.rim[0] * glowAmount;
            gr += look.rim[1] * glowAmount;
            b += look.rim[2] * glowAmount;
            row[x * 3] = clampByte(r + grain);
            row[x * 3 + 1] = clampByte(gr + grain);
            row[x * 3 + 2] = clampByte(b + grain);
        }
    }
}

void addPixel(std::vector<std::uint8_t>& rgb, int width, int height, int x, int y, const float colour[3], float a)
{
    if (x < 0 || y < 0 || x >= width || y >= height || a <= 0.004f)
        return;
    std::uint8_t* p = &rgb[(std::size_t(y) * width + x) * 3];
    for (int c = 0; c < 3; ++c)
        p[c] = clampByte(float(p[c]) + (colour[c] - float(p[c])) * std::min(a, 1.0f));
}

// Stars: many single faint pixels, fewer soft discs, a handful of bright ones with spikes.
void paintStars(std::vector<std::uint8_t>& rgb, int width, int height, std::uint32_t seed)
{
    const std::int64_t area = std::int64_t(width) * height;
    const int count = int(area / 2500);
    for (int i = 0; i < count; ++i) {
        const std::uint32_t h1 = hash(std::uint32_t(i), 1, seed), h2 = hash(std::uint32_t(i), 2, seed);
        const std::uint32_t h3 = hash(std::uint32_t(i), 3, seed);
        const int cx = int(h1 % std::uint32_t(width)), cy = int(h2 % std::uint32_t(height));
        const float m = unit(h3);
        const float warm = unit(hash(std::uint32_t(i), 4, seed));
        const float colour[3] = {220.0f + 35.0f * warm, 225.0f + 20.0f * warm, 255.0f - 40.0f * warm};
        if (m < 0.9f) {
            addPixel(rgb, width, height, cx, cy, colour, 0.35f + m * 0.6f);
            continue;
        }
        const float radius = 1.0f + (m - 0.9f) * 60.0f;  // up to 7 pixels
        const int r = int(std::ceil(radius * 2.0f));
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx) {
                const float q = float(dx * dx + dy * dy) / (radius * radius);
                addPixel(rgb, width, height, cx + dx, cy + dy, colour, std::exp(-q * 1.5f));
            }
        if (m > 0.995f) {
            const int spike = int(radius * 12.0f);
            for (int t = -spike; t <= spike; ++t) {
                const float a = 0.8f * std::exp(-std::fabs(float(t)) / (radius * 3.0f));
                addPixel(rgb, width, height, cx + t, cy, colour, a);
                addPixel(rgb, width, height, cx, cy + t, colour, a);
            }
        }
    }
}

// A 5 x 7 bitmap font for the legend: capitals, digits and a little punctuation.
const char* glyph(char c)
{
    switch (c) {
    case 'A': return " ### #   ##   #######   ##   ##   #";
    case 'B': return "#### #   ##   ##### #   ##   ##### ";
    case 'C': return " ### #   ##    #    #    #   # ### ";
    case 'D': return "#### #   ##   ##   ##   ##   ##### ";
    case 'E': return "######    #    #### #    #    #####";
    case 'F': return "######    #    #### #    #    #    ";
    case 'G': return " ### #   ##    # ####   ##   # ####";
    case 'H': return "#   ##   ##   #######   ##   ##   #";
    case 'I': return " ###   #    #    #    #    #   ### ";
    case 'K': return "#   ##  # # #  ##   # #  #  # #   #";
    case 'L': return "#    #    #    #    #    #    #####";
    case 'M': return "#   ### ### # ##   ##   ##   ##   #";
    case 'N': return "#   ###  ## # ##  ###   ##   ##   #";
    case 'O': return " ### #   ##   ##   ##   ##   # ### ";
    case 'P': return "#### #   ##   ##### #    #    #    ";
    case 'R': return "#### #   ##   ##### # #  #  # #   #";
    case 'S': return " ####    #     ###     #    #####  ";
    case 'T': return "#####  #    #    #    #    #    #  ";
    case 'U': return "#   ##   ##   ##   ##   ##   # ### ";
    case 'V': return "#   ##   ##   ##   ##   # # #   #  ";
    case 'W': return "#   ##   ##   ##   ## # ### ###   #";
    case 'X': return "#   ##   # # #   #   # # #   ##   #";
    case 'Y': return "#   ##   # # #   #    #    #    #  ";
    case 'Z': return "#####    #   #   #   #   #    #####";
    case '0': return " ### #   ##  ### # ###  ##   # ### ";
    case '1': return "  #   ##    #    #    #    #   ### ";
    case '2': return " ### #   #    #   #   #   #   #####";
    case '3': return "#####   #   #     #     ##   # ### ";
    case '4': return "   #   ##  # # #  #####   #    #   ";
    case '5': return "######    ####     #    ##   # ### ";
    case '6': return "  ##  #   #    #### #   ##   # ### ";
    case '7': return "#####    #   #   #   #    #    #   ";
    case '8': return " ### #   ##   # ### #   ##   # ### ";
    case '9': return " ### #   ##   # ####    #   #  ##  ";
    case '-': return "                ###                ";
    case '.': return "                          ##   ##  ";
    case ',': return "                     ##   ##   #   ";
    default: return "                                   ";
    }
}

void drawLegend(std::vector<std::uint8_t>& rgb, int width, int height, const std::vector<std::string>& lines, int scale)
{
    const int advance = 6 * scale, lineHeight = 10 * scale, margin = 4 * scale;
    std::size_t longest = 0;
    for (const std::string& l : lines)
        longest = std::max(longest, l.size());
    const int boxW = int(longest) * advance + 2 * margin, boxH = int(lines.size()) * lineHeight + 2 * margin;
    const int left = 3 * margin, top = height - boxH - 3 * margin;
    for (int y = top; y < top + boxH; ++y)
        for (int x = left; x < left + boxW && x < width; ++x) {
            std::uint8_t* p = &rgb[(std::size_t(y) * width + x) * 3];
            for (int c = 0; c < 3; ++c)
                p[c] = std::uint8_t(p[c] / 5 + 8);
        }
    for (std::size_t li = 0; li < lines.size(); ++li)
        for (std::size_t ci = 0; ci < lines[li].size(); ++ci) {
            const char* g = glyph(lines[li][ci]);
            for (int gy = 0; gy < 7; ++gy)
                for (int gx = 0; gx < 5; ++gx) {
                    if (gy * 5 + gx >= int(std::strlen(g)) || g[gy * 5 + gx] != '#')
                        continue;
                    for (int sy = 0; sy < scale; ++sy)
                        for (int sx = 0; sx < scale; ++sx) {
                            const int x = left + margin + int(ci) * advance + gx * scale + sx;
                            const int y = top + margin + int(li) * lineHeight + gy * scale + sy;
                            if (x < width && y < height) {
                                std::uint8_t* p = &rgb[(std::size_t(y) * width + x) * 3];
                                p[0] = 236;
                                p[1] = 232;
                                p[2] = 220;
                            }
                        }
                }
        }
}

void generate(int plate, int width, int height, const char* pngPath, const char* jpegPath, int pw, int ph)
{
    const Look& look = LOOKS[plate];
    std::vector<std::uint8_t> rgb(std::size_t(width) * height * 3);
    const Coarse coarse = buildCoarse(width, height, look);
    const int workers = 2;
    std::vector<std::thread> threads;
    for (int i = 0; i < workers; ++i)
        threads.emplace_back([&, i] {
            paintRows(rgb, width, height, look, coarse, height * i / workers, height * (i + 1) / workers);
        });
    for (std::thread& t : threads)
        t.join();
    paintStars(rgb, width, height, look.seed + 77);
    drawLegend(rgb, width, height,
               {"GENERATED STAND-IN FOR THE PUBLISHED IMAGE",
                "PLATE " + std::to_string(plate + 1) + " - " + std::to_string(width) + " X " + std::to_string(height) +
                    " PX - NOT A SCIENCE IMAGE"},
               plate == 0 ? 8 : 6);
    std::thread previewThread([&] {
        Downscaler scaler(width, height, pw, ph);
        for (int y = 0; y < height; ++y)
            scaler.addRow(y, &rgb[std::size_t(y) * width * 3]);
        writeJpeg(jpegPath, scaler.out, pw, ph);
    });
    writePng(pngPath, rgb, width, height);
    previewThread.join();
}

int usage()
{
    std::fprintf(stderr,
                 "usage: plate_generator generate <plate 0|1> <plate.png> <preview.jpg>\n"
                 "       plate_generator preview <plate.png> <preview.jpg> <width> <height>\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if (argc == 5 && std::strcmp(argv[1], "generate") == 0) {
            const int plate = std::atoi(argv[2]);
            if (plate == 0)
                generate(0, 14575, 8441, argv[3], argv[4], 1600, 927);
            else if (plate == 1)
                generate(1, 11264, 3904, argv[3], argv[4], 1600, 555);
            else
                return usage();
            return 0;
        }
        if (argc == 6 && std::strcmp(argv[1], "preview") == 0) {
            previewFromPng(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
            return 0;
        }
        return usage();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plate_generator: %s\n", e.what());
        return 1;
    }
}
