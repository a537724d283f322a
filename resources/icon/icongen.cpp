// Draws the application icon and writes it as resource data: one RT_ICON image per file
// (a DIB with its AND mask, as the loader expects) and the RT_GROUP_ICON directory.
//
//   icongen OUTDIR  ->  OUTDIR/icon_30001.bin ... icon_30008.bin, OUTDIR/icon_group.bin
//
// The picture: a round emblem in a thin light rim, quartered red, green, blue and yellow,
// with a large green check mark over its lower right part.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "../resource.h"

namespace {

struct Rgba {
    double r = 0, g = 0, b = 0, a = 0;
};

constexpr Rgba kRim{236, 236, 236, 1};
constexpr Rgba kRed{214, 40, 40, 1};
constexpr Rgba kGreen{46, 160, 67, 1};
constexpr Rgba kBlue{38, 92, 206, 1};
constexpr Rgba kYellow{246, 196, 30, 1};
constexpr Rgba kCheck{0, 128, 32, 1};
constexpr Rgba kCheckEdge{255, 255, 255, 1};

double SegmentDistance(double x, double y, double x0, double y0, double x1, double y1) {
    const double dx = x1 - x0, dy = y1 - y0;
    const double t = std::clamp(((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - (x0 + t * dx), y - (y0 + t * dy));
}

// The colour at a point of the unit square, y pointing down.
Rgba ColourAt(double x, double y, double size) {
    // Below 24 pixels the check needs to be bolder to stay readable.
    const double stroke = size < 24 ? 0.17 : 0.13;
    const double check = std::min(SegmentDistance(x, y, 0.40, 0.64, 0.57, 0.82),
                                  SegmentDistance(x, y, 0.57, 0.82, 0.95, 0.36));
    if (check < stroke / 2) return kCheck;
    if (check < stroke / 2 + 0.05) return kCheckEdge;

    const double radius = std::hypot(x - 0.5, y - 0.5);
    if (radius > 0.48) return {};
    if (radius > 0.48 - std::max(0.04, 1.0 / size)) return kRim;
    if (y < 0.5) return x < 0.5 ? kRed : kGreen;
    return x < 0.5 ? kBlue : kYellow;
}

// 4 x 4 samples a pixel, averaged with their coverage.
std::vector<Rgba> Draw(int size) {
    constexpr int kSamples = 4;
    std::vector<Rgba> pixels(static_cast<size_t>(size * size));
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            Rgba sum;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const Rgba c = ColourAt((px + (sx + 0.5) / kSamples) / size,
                                            (py + (sy + 0.5) / kSamples) / size, size);
                    sum.r += c.r * c.a;
                    sum.g += c.g * c.a;
                    sum.b += c.b * c.a;
                    sum.a += c.a;
                }
            }
            Rgba& p = pixels[static_cast<size_t>(py * size + px)];
            if (sum.a > 0) p = {sum.r / sum.a, sum.g / sum.a, sum.b / sum.a, sum.a / 16};
        }
    }
    return pixels;
}

void Put16(std::vector<uint8_t>& out, unsigned v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

uint8_t Byte(double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))); }

// The 8-bit palette: a 6 x 6 x 6 colour cube, then a grey ramp.
std::array<std::array<uint8_t, 3>, 256> Palette() {
    std::array<std::array<uint8_t, 3>, 256> palette{};
    int i = 0;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                palette[i++] = {uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51)};
    for (int k = 0; i < 256; ++i, ++k)
        palette[i] = {uint8_t(k * 255 / 39), uint8_t(k * 255 / 39), uint8_t(k * 255 / 39)};
    return palette;
}

int Nearest(const std::array<std::array<uint8_t, 3>, 256>& palette, const Rgba& c) {
    int best = 0;
    double bestDistance = 1e9;
    for (int i = 0; i < 256; ++i) {
        const double d = std::pow(palette[i][0] - c.r, 2) + std::pow(palette[i][1] - c.g, 2) +
                         std::pow(palette[i][2] - c.b, 2);
        if (d < bestDistance) bestDistance = d, best = i;
    }
    return best;
}

// BITMAPINFOHEADER, palette, colour rows and AND-mask rows, both bottom-up and padded to
// four bytes, as an RT_ICON resource holds them.
std::vector<uint8_t> IconImage(int size, int bits) {
    const std::vector<Rgba> pixels = Draw(size);
    const auto transparent = [&](int x, int y) {
        return pixels[static_cast<size_t>(y * size + x)].a < (bits == 32 ? 1.0 / 512 : 0.5);
    };
    const int colourStride = (size * bits / 8 + 3) / 4 * 4;
    const int maskStride = (size / 8 + 3) / 4 * 4;

    std::vector<uint8_t> out;
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(size));
    Put32(out, static_cast<uint32_t>(size * 2));
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(bits));
    Put32(out, 0);
    Put32(out, static_cast<uint32_t>((colourStride + maskStride) * size));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, bits == 8 ? 256 : 0);
    Put32(out, 0);

    const auto palette = Palette();
    if (bits == 8) {
        for (const auto& entry : palette) {
            out.insert(out.end(), {entry[2], entry[1], entry[0], 0});
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        const size_t rowStart = out.size();
        for (int x = 0; x < size; ++x) {
            const Rgba& p = pixels[static_cast<size_t>(y * size + x)];
            if (bits == 8) {
                out.push_back(transparent(x, y) ? 0 : static_cast<uint8_t>(Nearest(palette, p)));
            } else {
                out.insert(out.end(), {Byte(p.b), Byte(p.g), Byte(p.r), Byte(p.a * 255)});
            }
        }
        out.resize(rowStart + static_cast<size_t>(colourStride), 0);
    }
    for (int y = size - 1; y >= 0; --y) {
        const size_t rowStart = out.size();
        out.resize(rowStart + static_cast<size_t>(maskStride), 0);
        for (int x = 0; x < size; ++x) {
            if (transparent(x, y)) out[rowStart + static_cast<size_t>(x / 8)] |= 0x80 >> (x % 8);
        }
    }
    return out;
}

bool Save(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string dir = argv[1];
    constexpr int kSizes[] = {48, 32, 24, 16};
    static_assert(IDI_APP_IMAGE_COUNT == 8);

    std::vector<uint8_t> group;
    Put16(group, 0);
    Put16(group, 1);
    Put16(group, IDI_APP_IMAGE_COUNT);
    for (int i = 0; i < IDI_APP_IMAGE_COUNT; ++i) {
        const int size = kSizes[i % 4];
        const int bits = i < 4 ? 8 : 32;
        const int id = IDI_APP_IMAGE_FIRST + i;
        const std::vector<uint8_t> image = IconImage(size, bits);
        if (!Save(dir + "/icon_" + std::to_string(id) + ".bin", image)) return 1;

        group.insert(group.end(), {static_cast<uint8_t>(size), static_cast<uint8_t>(size), 0, 0});
        Put16(group, 1);
        Put16(group, static_cast<unsigned>(bits));
        Put32(group, static_cast<uint32_t>(image.size()));
        Put16(group, static_cast<unsigned>(id));
    }
    return Save(dir + "/icon_group.bin", group) ? 0 : 1;
}
