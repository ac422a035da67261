#include "platform/Mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// With m held once by this thread, another thread's wait must block until
// this thread's release.
void expectOtherThreadWaitsForLastRelease(platform::Mutex& m) {
    std::atomic<bool> got{false};
    std::thread other([&] {
        m.wait();
        got = true;
        m.release();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(got.load());
    m.release();
    other.join();
    EXPECT_TRUE(got.load());
}

}  // namespace

TEST(Mutex, RecursiveForOwner) {
    platform::Mutex m;
    EXPECT_TRUE(m.wait());
    EXPECT_TRUE(m.wait());
    m.release();
    // Still owned once: another thread must block until the last release.
    expectOtherThreadWaitsForLastRelease(m);
}

TEST(Mutex, ReleaseByNonOwnerIsIgnored) {
    platform::Mutex m;
    m.wait();
    std::thread([&] { m.release(); }).join();
    expectOtherThreadWaitsForLastRelease(m);
}
