// Upload and readback throughput of textures and render targets at the
// three host depths, and the cost of the error overlay, on the headless
// context. Run on demand:
//   bench_gpu --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "gpu/OpenGLContext.h"
#include "gpu/Texture.h"
#include "gpu/text/TextOverlay.h"

namespace {

// One context for the whole run, current on the benchmark thread.
gpu::OpenGLContext& glContext() {
    static gpu::OpenGLContext* context = [] {
        auto* made = new gpu::OpenGLContext();
        made->create();
        gpu::initGLExtensions();
        return made;
    }();
    return *context;
}

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1080;

void setBytes(benchmark::State& state, uint64_t bytesPerIteration) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytesPerIteration));
}

// Arguments: depth, 16-bit conversion on or off.
void BM_Upload(benchmark::State& state) {
    glContext();
    const auto depth = static_cast<uint32_t>(state.range(0));
    const bool convert16 = state.range(1) != 0;
    const uint64_t rowBytes = uint64_t{kWidth} * 4 * gpu::bytesPerChannel(depth);
    std::vector<uint8_t> pixels(rowBytes * kHeight, 0x40);
    gpu::Texture texture;
    texture.create(kWidth, kHeight, depth, true);
    for (auto _ : state) {
        texture.upload(pixels.data(), kWidth, kHeight, depth, rowBytes, true, convert16);
        glFinish();
    }
    setBytes(state, pixels.size());
}
BENCHMARK(BM_Upload)
    ->Args({8, 0})
    ->Args({16, 0})
    ->Args({16, 1})
    ->Args({32, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Readback(benchmark::State& state) {
    glContext();
    const auto depth = static_cast<uint32_t>(state.range(0));
    gpu::RenderTarget target;
    target.createTarget(kWidth, kHeight, depth);
    const uint64_t bytes = uint64_t{kWidth} * kHeight * 4 * gpu::bytesPerChannel(depth);
    std::vector<uint8_t> host(bytes);
    for (auto _ : state) {
        const void* pixels = target.beginReadback();
        if (pixels) std::memcpy(host.data(), pixels, bytes);
        target.endReadback();
    }
    setBytes(state, bytes);
}
BENCHMARK(BM_Readback)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Blit(benchmark::State& state) {
    glContext();
    gpu::RenderTarget source;
    gpu::RenderTarget destination;
    source.createTarget(kWidth, kHeight, 8);
    destination.createTarget(kWidth, kHeight, 8);
    for (auto _ : state) {
        source.blitTo(destination, true, false);
        glFinish();
    }
    setBytes(state, uint64_t{kWidth} * kHeight * 4);
}
BENCHMARK(BM_Blit)->Unit(benchmark::kMillisecond)->UseRealTime();

// An error of one line as long as the argument (in bytes) over a 1080p frame:
// only what fits the frame's width should cost anything.
void BM_ErrorOverlay(benchmark::State& state) {
    glContext();
    gpu::RenderTarget target;
    target.createTarget(kWidth, kHeight, 8);
    gpu::text::TextOverlay overlay;
    const std::string text(static_cast<size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        overlay.drawOverlayText(text.c_str(), target.framebufferName(), kWidth, kHeight);
        glFinish();
    }
}
BENCHMARK(BM_ErrorOverlay)->Arg(100)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
