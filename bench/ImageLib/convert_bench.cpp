// Conversion throughput on a 1920x1080 frame against memcpy of the same
// bytes. Run: build-img/bench/ImageLib/bench_imagelib
#include "ImageLib/Quantize.h"
#include "ImageLib/Surface.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

using namespace ImageLib;

namespace {

constexpr uint32_t kW = 1920, kH = 1080;

std::vector<uint8_t> randomFrame(size_t bytes) {
    std::mt19937 rng(1);
    std::vector<uint8_t> v(bytes);
    for (auto& b : v) b = uint8_t(rng());
    return v;
}

Kernel kernelOf(const benchmark::State& s) { return s.range(0) ? Kernel::Vector : Kernel::Scalar; }

void memcpyBytes(benchmark::State& state) {
    const size_t bytes = size_t(state.range(0));
    std::vector<uint8_t> a = randomFrame(bytes), b(bytes);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), bytes);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
// The bytes each conversion reads: 8-bit, 16-bit and float frames.
BENCHMARK(memcpyBytes)->Arg(kW* kH * 4)->Arg(kW* kH * 8)->Arg(kW* kH * 16);

template <class P>
void toFloatFrame(benchmark::State& state) {
    std::vector<uint8_t> px = randomFrame(kW * kH * sizeof(P));
    ImageLib::Surface<P> src(kW, kH, 0, px.data());
    for (auto _ : state) benchmark::DoNotOptimize(toFloat(src, kernelOf(state)).data);
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH * int64_t(sizeof(P)));
}
BENCHMARK_TEMPLATE(toFloatFrame, Pixel8)->Arg(1)->Arg(0);
BENCHMARK_TEMPLATE(toFloatFrame, Pixel15)->Arg(1)->Arg(0);

template <class P>
void fromFloatFrame(benchmark::State& state) {
    ImageLib::Surface<Pixel32> src(kW, kH);
    std::memset(src.data, 0, kW * kH * 16);
    ImageLib::Surface<P> dst(kW, kH);
    for (auto _ : state) {
        fromFloat(src, dst, kernelOf(state));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH * 16);
}
BENCHMARK_TEMPLATE(fromFloatFrame, Pixel8)->Arg(1)->Arg(0);
BENCHMARK_TEMPLATE(fromFloatFrame, Pixel15)->Arg(1)->Arg(0);

void expandHost16Frame(benchmark::State& state) {
    std::vector<uint8_t> src = randomFrame(kW * kH * 8), dst(kW * kH * 8);
    for (auto _ : state) {
        expandHost16(src.data(), dst.data(), kW, kH, kW * 8, kernelOf(state));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH * 8);
}
BENCHMARK(expandHost16Frame)->Arg(1)->Arg(0);

// Whole quantize of an 8-bit frame: palette, dither.
void quantizeFrame(benchmark::State& state) {
    const std::vector<uint8_t> original = randomFrame(kW * kH * 4);
    std::vector<uint8_t> px(original.size());
    for (auto _ : state) {
        state.PauseTiming();
        px = original;
        state.ResumeTiming();
        ImageLib::Surface<Pixel8> s(kW, kH, 0, px.data());
        quantizeSurface(s, int(state.range(0)), int(state.range(1)), 0.2f, false, false);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kW * kH);
}
BENCHMARK(quantizeFrame)->Args({10, 3})->Args({10, 15})->Args({7, 1})->Args({7, 3})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
