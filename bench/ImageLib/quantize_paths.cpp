// The quantizer's vector paths against its scalar reference, in the same run,
// on a photo-like frame and on full-range noise (8-bit PNG files, for
// example those bench/compare-quantize.sh makes). Each case runs REPS times
// per path on a fresh copy of the frame; prints min and median Mpx/s of each
// path (thread CPU time) and the ratio of the best vector time to the
// scalar one.
//   bench_quantize_paths PHOTO.png NOISE.png [REPS [CASE [PATH]]]
// (CASE 1..5: only that one; PATH scalar, sse2 or avx2: only that path, for
// profiling)
#include "bench/ImageLib/PngInput.h"
#include "ImageLib/Quantize.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <time.h>
#include <utility>
#include <vector>

using namespace ImageLib;

namespace {

struct Frame {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;  // alpha, red, green, blue
};

bool load(const char* path, Frame& f) {
    benchimage::Rgba8 img;
    std::string error;
    if (!benchimage::readRgba8(path, img, error, benchimage::Order::Argb)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    f.width = img.width, f.height = img.height;
    f.pixels = std::move(img.pixels);
    return true;
}

struct Case {
    const char* name;
    bool noise;
    int palette, dither;
    float amount;
};

// The thread's CPU time, steadier than the wall clock on a shared machine.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Milliseconds of each run, sorted.
std::vector<double> time(const Frame& f, const Case& c, detail::QuantizePath path, int reps,
                         std::vector<uint8_t>& out) {
    std::vector<double> ms;
    for (int r = 0; r < reps; ++r) {
        out = f.pixels;
        ImageLib::Surface<Pixel8> s(f.width, f.height, 0, out.data());
        const double start = cpuMs();
        detail::quantizeSurface(s, c.palette, c.dither, c.amount, false, false, path);
        ms.push_back(cpuMs() - start);
    }
    std::sort(ms.begin(), ms.end());
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PHOTO.png NOISE.png [REPS]\n", argv[0]);
        return 2;
    }
    Frame photo, noise;
    if (!load(argv[1], photo) || !load(argv[2], noise)) return 1;
    const int reps = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    const Case cases[] = {
        {"palette 20, dither 3", false, 20, 3, 0.0f},     {"palette 9, dither 15, 0.25", false, 9, 15, 0.25f},
        {"palette 7, dither 3", false, 7, 3, 0.0f},       {"palette 7, dither 1", false, 7, 1, 0.0f},
        {"palette 7, dither 1, noise", true, 7, 1, 0.0f},
    };
    struct Path {
        const char* name;
        detail::QuantizePath path;
    };
    std::vector<Path> paths = {{"scalar", detail::QuantizePath::Scalar}, {"sse2", detail::QuantizePath::Sse2}};
    if (detail::vectorPath() == detail::QuantizePath::Avx2) paths.push_back({"avx2", detail::QuantizePath::Avx2});
    if (argc > 5) {
        const std::string only(argv[5]);
        paths.erase(std::remove_if(paths.begin(), paths.end(), [&](const Path& p) { return only != p.name; }),
                    paths.end());
    }

    std::printf("%-28s %-7s %10s %10s %10s %8s\n", "case", "path", "min ms", "Mpx/s max", "Mpx/s med", "ratio");
    const int only = argc > 4 ? std::atoi(argv[4]) : 0;
    for (const Case& c : cases) {
        if (only > 0 && &c != &cases[only - 1]) continue;
        const Frame& f = c.noise ? noise : photo;
        const double mp = double(f.width) * f.height / 1e6;
        std::vector<uint8_t> reference, out;
        double scalarMin = 0.0;
        for (const Path& p : paths) {
            const std::vector<double> ms = time(f, c, p.path, reps, p.path == paths[0].path ? reference : out);
            if (p.path == detail::QuantizePath::Scalar) scalarMin = ms.front();
            else if (paths[0].path == detail::QuantizePath::Scalar && out != reference)
                std::printf("%s: %s output differs from scalar\n", c.name, p.name);
            std::printf("%-28s %-7s %10.2f %10.2f %10.2f %8.2f\n", c.name, p.name, ms.front(), mp * 1e3 / ms.front(),
                        mp * 1e3 / ms[ms.size() / 2], scalarMin / ms.front());
        }
    }
    return 0;
}
