// Eight host threads render through EntryPointFunc at once, two per effect
// instance, over four instances of the default effect with different
// parameters and depths (one global setup, as a host applies an effect
// several times). Each instance is used by one thread at a time (the host
// serialises an instance's commands) but the threads of different instances
// race into the module, and an instance moves between threads from frame to
// frame. Every frame must equal the same frame rendered alone beforehand,
// and a watchdog fails the test instead of letting a deadlock hang it.
// Frames are small (48x27) so that 8 x 1000 of them stay quick.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "hostsim/Host.h"

namespace {

constexpr int kInstances = 4, kThreads = 8, kFramesPerThread = 1000, kTimes = 3;
constexpr std::chrono::seconds kWatchdog{240};

struct Instance {
    std::unique_ptr<hostsim::Host> host;
    std::mutex busy;
    std::vector<hostsim::Image> alone;  // the frame at each of the kTimes times, rendered alone
};

hostsim::Image card(uint32_t width, uint32_t height) {
    hostsim::Image image(width, height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            float* p = image.pixel(x, y);
            p[0] = float(x) / width, p[1] = float(y) / height, p[2] = float((x + y) % 5) / 4, p[3] = 1.0f;
        }
    return image;
}

// Ends the process with a message when not cancelled in time.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit)
        : thread([this, limit] {
              std::unique_lock<std::mutex> lock(m);
              if (!cv.wait_for(lock, limit, [this] { return done; })) {
                  std::fprintf(stderr, "watchdog: the render threads did not finish in %llds (deadlock?)\n",
                               static_cast<long long>(limit.count()));
                  std::_Exit(3);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(m);
            done = true;
        }
        cv.notify_one();
        thread.join();
    }

private:
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread thread;
};

}  // namespace

TEST(Threads, EightHostThreadsOverFourInstancesRenderWhatEachFrameRendersAlone) {
    hostsim::Module module(VANTREL_MODULE);
    hostsim::Host session(module, hostsim::HostConfig{});
    ASSERT_EQ(session.globalSetup(), PF_Err_NONE);
    const hostsim::Image input = card(48, 27);
    static const uint32_t kDepths[kInstances] = {8, 16, 32, 8};
    std::vector<Instance> instances(kInstances);
    for (int i = 0; i < kInstances; ++i) {
        hostsim::HostConfig config;
        config.depth = kDepths[i];
        auto& host = instances[i].host;
        host = std::make_unique<hostsim::Host>(module, config);
        host->setInput(input);
        host->adoptGlobalSetup(session);
        ASSERT_EQ(host->paramsSetup(), PF_Err_NONE);
        ASSERT_EQ(host->sequenceSetup(), PF_Err_NONE);
        host->setFloat(host->findParam("Threshold"), 0.1 + 0.2 * i);
        host->setFloat(host->findParam("Intensity"), 0.5 + i);
        host->setPopup(host->findParam("Texture"), 1 + i % 3);
        for (int t = 0; t < kTimes; ++t) {
            hostsim::RenderResult frame = host->render(t * 1000);
            ASSERT_EQ(frame.result, PF_Err_NONE) << frame.message;
            instances[i].alone.push_back(std::move(frame.image));
        }
    }
    // The instances differ, so a frame rendered with another's state shows.
    for (int i = 1; i < kInstances; ++i) ASSERT_NE(instances[i].alone[0].rgba, instances[0].alone[0].rgba);

    std::atomic<int> failures{0}, frames{0};
    {
        Watchdog watchdog(kWatchdog);
        std::vector<std::thread> threads;
        for (int n = 0; n < kThreads; ++n) {
            threads.emplace_back([&, n] {
                Instance& instance = instances[n % kInstances];
                for (int f = 0; f < kFramesPerThread; ++f) {
                    const int t = (f + n) % kTimes;
                    std::lock_guard<std::mutex> lock(instance.busy);
                    const hostsim::RenderResult frame = instance.host->render(t * 1000);
                    if (frame.result != PF_Err_NONE || frame.image.rgba != instance.alone[t].rgba) ++failures;
                    ++frames;
                }
            });
        }
        for (auto& thread : threads) thread.join();
    }
    EXPECT_EQ(frames.load(), kThreads * kFramesPerThread);
    EXPECT_EQ(failures.load(), 0) << "frames that differ from the frame rendered alone";
    for (auto& instance : instances) EXPECT_EQ(instance.host->sequenceSetdown(), PF_Err_NONE);
    EXPECT_EQ(session.globalSetdown(), PF_Err_NONE);
}
