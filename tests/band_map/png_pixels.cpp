// Prints the colours of pixels of a PNG picture: png_pixels FILE X Y [X Y ...] writes one
// line "X Y #rrggbb" per point. Reads 8-bit RGB and RGBA pictures without interlacing, as
// a browser's screenshot is; the compressed data is inflated by zlib.
// Build: g++ -O1 -o png_pixels png_pixels.cpp -lz
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::uint32_t BigEndian(const unsigned char *p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

int Fail(const char *what) {
    std::fprintf(stderr, "png_pixels: %s\n", what);
    return 1;
}

int Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 4 || argc % 2 != 0) return Fail("usage: png_pixels FILE X Y [X Y ...]");
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (file.size() < 8 || !std::equal(kSignature, kSignature + 8, file.begin())) return Fail("not a PNG file");

    std::uint32_t width = 0, height = 0;
    int channels = 0;
    std::vector<unsigned char> compressed;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::uint32_t length = BigEndian(&file[at]);
        const std::string type(file.begin() + at + 4, file.begin() + at + 8);
        if (at + 12 + length > file.size()) return Fail("cut short");
        const unsigned char *data = &file[at + 8];
        if (type == "IHDR") {
            width = BigEndian(data);
            height = BigEndian(data + 4);
            const int depth = data[8], colour = data[9], interlace = data[12];
            if (depth != 8 || interlace != 0 || (colour != 2 && colour != 6)) return Fail("not 8-bit RGB(A) without interlacing");
            channels = colour == 6 ? 4 : 3;
        } else if (type == "IDAT") {
            compressed.insert(compressed.end(), data, data + length);
        } else if (type == "IEND") {
            break;
        }
        at += 12 + length;
    }
    if (channels == 0) return Fail("no header");

    const std::size_t stride = std::size_t(width) * channels;
    std::vector<unsigned char> raw((stride + 1) * height);
    uLongf raw_size = raw.size();
    if (uncompress(raw.data(), &raw_size, compressed.data(), compressed.size()) != Z_OK || raw_size != raw.size()) {
        return Fail("cannot inflate the picture data");
    }
    // Undo the filter of every row: each byte is predicted from its left, upper and
    // upper-left neighbours.
    std::vector<unsigned char> pixels(stride * height);
    for (std::uint32_t y = 0; y < height; ++y) {
        const unsigned char filter = raw[y * (stride + 1)];
        const unsigned char *src = &raw[y * (stride + 1) + 1];
        unsigned char *row = &pixels[y * stride];
        const unsigned char *up = y > 0 ? &pixels[(y - 1) * stride] : nullptr;
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= std::size_t(channels) ? row[i - channels] : 0;
            const int b = up != nullptr ? up[i] : 0;
            const int c = up != nullptr && i >= std::size_t(channels) ? up[i - channels] : 0;
            int predicted = 0;
            switch (filter) {
                case 0: predicted = 0; break;
                case 1: predicted = a; break;
                case 2: predicted = b; break;
                case 3: predicted = (a + b) / 2; break;
                case 4: predicted = Paeth(a, b, c); break;
                default: return Fail("unknown row filter");
            }
            row[i] = static_cast<unsigned char>(src[i] + predicted);
        }
    }

    for (int i = 2; i + 1 < argc; i += 2) {
        const long x = std::strtol(argv[i], nullptr, 10);
        const long y = std::strtol(argv[i + 1], nullptr, 10);
        if (x < 0 || y < 0 || x >= long(width) || y >= long(height)) return Fail("point outside the picture");
        const unsigned char *p = &pixels[std::size_t(y) * stride + std::size_t(x) * channels];
        std::printf("%ld %ld #%02x%02x%02x\n", x, y, p[0], p[1], p[2]);
    }
    return 0;
}
