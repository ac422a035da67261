// How much of the render-only frame rate a clip-to-clip job keeps, with
// decoding and encoding on their own threads. Makes its input (the test
// card with a moving bar, H.264) in a temporary folder, then times
//   render only: the default module through the stand-in host, from a
//                still, each output frame read back and dropped;
//   mp4 -> mp4:  the same module as `lumivex render -i in.mp4 -o out.mp4`.
// Besides wall time, the processor time of all threads (user and system):
// on a machine shared with other work the wall times swing with the load,
// while the processor time each frame costs hardly does.
// Run on demand: bench_media [FRAMES [WIDTHxHEIGHT [ROUNDS]]] (default 300
// 1920x1080 3).
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "hostsim/Host.h"
#include "media/Media.h"
#include "render/RenderJob.h"
#include "render/TestCard.h"

namespace {

// Wall and processor seconds from a start.
struct Span {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    double cpu = cpuSeconds();

    static double cpuSeconds() {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    }
    double wallSince() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count(); }
    double cpuSince() const { return cpuSeconds() - cpu; }
};

}  // namespace

int main(int argc, char** argv) {
    const uint32_t frames = argc > 1 ? uint32_t(std::stoul(argv[1])) : 300;
    uint32_t width = 1920, height = 1080;
    const uint32_t rounds = argc > 3 ? uint32_t(std::stoul(argv[3])) : 3;
    if ((argc > 2 && std::sscanf(argv[2], "%ux%u", &width, &height) != 2) || rounds == 0) {
        std::fprintf(stderr, "usage: bench_media [FRAMES [WIDTHxHEIGHT [ROUNDS]]]\n");
        return 2;
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "lumivex_bench_media";
    std::filesystem::create_directories(dir);
    const std::string input = (dir / "in.mp4").string(), output = (dir / "out.mp4").string();
    try {
        const hostsim::Image card = render::makeTestCard(width, height);
        {
            media::WriterOptions w;
            w.width = width;
            w.height = height;
            media::VideoWriter writer(input, w);
            for (uint32_t i = 0; i < frames; ++i) {
                hostsim::Image frame = card;
                for (uint32_t y = 0; y < height; ++y) frame.pixel((i * 7) % width, y)[0] = 1;
                writer.write(std::move(frame));
            }
            writer.finish();
        }

        // The allocator settings a render job makes for itself, for both.
        render::keepFramesInTheHeap();
        hostsim::Module module(DEFAULT_MODULE);
        // Both timings include the instance's setup and its first frame
        // (shaders compiled, targets made), as a job does.
        auto renderOnly = [&] {
            const Span span;
            hostsim::Host host(module, hostsim::HostConfig{});
            host.setInput(card);
            if (host.start() != PF_Err_NONE) throw std::runtime_error("the default module did not start");
            // Each frame is read back into the last one's storage, 8-bit,
            // as the job reads back into storage the writer is done with.
            hostsim::Image spent = hostsim::Image::eightBit(width, height);
            for (uint32_t i = 0; i < frames; ++i) {
                hostsim::RenderResult r = host.render(int32_t(i * 1000), std::move(spent));
                if (r.result != PF_Err_NONE) throw std::runtime_error("render failed");
                spent = std::move(r.image);
            }
            host.finish();
            return span;
        };
        auto clipToClip = [&] {
            render::RenderJob job;
            job.chain.push_back({{DEFAULT_MODULE, ""}, {}});
            job.input = input;
            job.output = output;
            job.baseDir = dir.string();
            const Span span;
            render::runRenderJob(job);
            return span;
        };

        // Rounds of one run each, back to back, so that both see the same
        // load; the ratio is the median of the rounds'.
        std::printf("%u frames of %ux%u, default module, %u round(s)\n", frames, width, height, rounds);
        std::vector<double> ratios;
        for (uint32_t round = 1; round <= rounds; ++round) {
            const Span a = renderOnly();
            const double wallA = a.wallSince(), cpuA = a.cpuSince();
            const Span b = clipToClip();
            const double wallB = b.wallSince(), cpuB = b.cpuSince();
            ratios.push_back(wallA / wallB);
            std::printf(
                "round %u: render only (still, no output) %6.2f s %5.2f fps cpu %6.2f s | mp4 -> mp4 %6.2f s %5.2f fps "
                "cpu %6.2f s | %.1f%% of render only (cpu %.1f%%)\n",
                round, wallA, frames / wallA, cpuA, wallB, frames / wallB, cpuB, 100 * wallA / wallB,
                100 * cpuA / cpuB);
        }
        std::sort(ratios.begin(), ratios.end());
        std::printf("median: mp4 -> mp4 runs at %.1f%% of the render-only rate (range %.1f%% to %.1f%%)\n",
                    100 * ratios[ratios.size() / 2], 100 * ratios.front(), 100 * ratios.back());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_media: %s\n", e.what());
        return 1;
    }
    std::filesystem::remove_all(dir);
    return 0;
}
