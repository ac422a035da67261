// Quantizes one image file the way a script's surface quantize does and
// writes the result as PNG (a palette image where it fits); prints the time
// of the quantize step alone.
//   bench_quantize_file IN.png OUT.png PALETTE DITHER AMOUNT [SERPENTINE]
#include "ImageLib/Decode.h"
#include "ImageLib/Quantize.h"
#include "tools/png/PngWrite.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>


int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s IN OUT PALETTE DITHER AMOUNT [SERPENTINE]\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    ImageLib::DecodedImage img;
    if (!ImageLib::decodeImage(file.data(), file.size(), img) || img.depth != 8) {
        std::fprintf(stderr, "%s: cannot decode an 8-bit image\n", argv[1]);
        return 1;
    }
    // Files decode as red, green, blue, alpha; surfaces are alpha first.
    auto* px = static_cast<uint8_t*>(img.pixels.get());
    const size_t n = size_t(img.width) * img.height;
    for (size_t i = 0; i < n; ++i) {
        uint8_t* p = px + 4 * i;
        const uint8_t a = p[3];
        p[3] = p[2], p[2] = p[1], p[1] = p[0], p[0] = a;
    }
    ImageLib::Surface<ImageLib::Pixel8> surface(img.width, img.height, 0, px);
    const auto start = std::chrono::steady_clock::now();
    ImageLib::quantizeSurface(surface, std::atoi(argv[3]), std::atoi(argv[4]), float(std::atof(argv[5])),
                              false, argc > 6 && std::atoi(argv[6]) != 0);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    for (size_t i = 0; i < n; ++i) {
        uint8_t* p = px + 4 * i;
        const uint8_t a = p[0];
        p[0] = p[1], p[1] = p[2], p[2] = p[3], p[3] = a;
    }
    const std::vector<uint8_t> png =
        pngwrite::encodePng(px, img.width, img.height, uint64_t(img.width) * 4, 8, true);
    std::FILE* out = std::fopen(argv[2], "wb");
    const bool written = out && std::fwrite(png.data(), 1, png.size(), out) == png.size();
    if (!out || std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 1;
    }
    std::printf("quantize_ms=%.2f megapixels_per_s=%.2f\n", ms, double(n) / 1e3 / ms);
    return 0;
}
