// Quantizes one image file the way a script's surface quantize does and
// writes the result as PNG (a palette image where it fits); prints the time
// of the quantize step alone.
//   bench_quantize_file IN.png OUT.png PALETTE DITHER AMOUNT [SERPENTINE]
#include "ImageLib/Quantize.h"
#include "bench/ImageLib/PngInput.h"
#include "media/Png.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s IN OUT PALETTE DITHER AMOUNT [SERPENTINE]\n", argv[0]);
        return 2;
    }
    // Surfaces hold alpha, red, green, blue.
    benchimage::Rgba8 img;
    std::string error;
    if (!benchimage::readRgba8(argv[1], img, error, benchimage::Order::Argb)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    uint8_t* px = img.pixels.data();
    const size_t n = size_t(img.width) * img.height;
    ImageLib::Surface<ImageLib::Pixel8> surface(img.width, img.height, 0, px);
    const auto start = std::chrono::steady_clock::now();
    ImageLib::quantizeSurface(surface, std::atoi(argv[3]), std::atoi(argv[4]), float(std::atof(argv[5])), false,
                              argc > 6 && std::atoi(argv[6]) != 0);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const std::vector<uint8_t> png =
        media::encodePng(px, img.width, img.height, uint64_t(img.width) * 4, 8, true, true);
    std::FILE* out = std::fopen(argv[2], "wb");
    const bool written = out && std::fwrite(png.data(), 1, png.size(), out) == png.size();
    if (!out || std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 1;
    }
    std::printf("quantize_ms=%.2f megapixels_per_s=%.2f\n", ms, double(n) / 1e3 / ms);
    return 0;
}
