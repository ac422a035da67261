// Writing and reading a 1920x1080 frame as PNG (8 and 16 bits) and EXR
// through the still-picture interface, the way a numbered output sequence
// is written and read back. The frame is the gallery photograph, tiled, with
// a gentle horizontal ramp so that 16-bit samples use their low byte as a
// rendered frame's do. Also reports the encoded size per frame.
// Run: build/bench/ImageLib/bench_still
#include "media/Still.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr uint32_t kW = 1920, kH = 1080;

const ImageLib::Picture& frame() {
    static const ImageLib::Picture picture = [] {
        const ImageLib::Picture photo = media::readImage(BENCH_PHOTO);
        ImageLib::Picture out(kW, kH);
        for (uint32_t y = 0; y < kH; ++y)
            for (uint32_t x = 0; x < kW; ++x) {
                const float* from = photo.pixel(x % photo.width, y % photo.height);
                float* to = out.pixel(x, y);
                for (int c = 0; c < 3; ++c) to[c] = from[c] * 0.9f + 0.1f * float(x) / kW;
                to[3] = from[3];
            }
        return out;
    }();
    return picture;
}

const char* nameOf(int64_t depth) { return depth == 32 ? "frame.exr" : "frame.png"; }

void encodeStill(benchmark::State& state) {
    const uint32_t depth = uint32_t(state.range(0));
    const ImageLib::Picture& image = frame();
    size_t bytes = 0;
    for (auto _ : state) {
        std::vector<uint8_t> file = media::encodeImage(nameOf(depth), image, depth);
        bytes = file.size();
        benchmark::DoNotOptimize(file.data());
    }
    state.counters["MB"] = double(bytes) / 1e6;
}
BENCHMARK(encodeStill)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond);

void decodeStill(benchmark::State& state) {
    const uint32_t depth = uint32_t(state.range(0));
    const std::vector<uint8_t> file = media::encodeImage(nameOf(depth), frame(), depth);
    for (auto _ : state) {
        ImageLib::Picture image = media::decodeImage(file, nameOf(depth));
        benchmark::DoNotOptimize(image.rgba.data());
    }
}
BENCHMARK(decodeStill)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
