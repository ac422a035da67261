// The frei0r API of the glue, driven as a host drives it, with the fixture
// package kinds/ (see its fx.js) on real GL: what the plug-in tells, values
// reaching the script, instances, frame sizes, output crops, GL objects
// over construct/destruct cycles, errors and calls from several threads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <frei0r.h>
}

namespace {

uint32_t rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return r | g << 8 | b << 16 | a << 24; }
int channel(uint32_t pixel, int c) { return (pixel >> (8 * c)) & 0xFF; }

int paramIndex(const std::string& name) {
    f0r_plugin_info_t info{};
    f0r_get_plugin_info(&info);
    for (int i = 0; i < info.num_params; ++i) {
        f0r_param_info_t p{};
        f0r_get_param_info(&p, i);
        if (p.name && name == p.name) return i;
    }
    ADD_FAILURE() << "no parameter " << name;
    return -1;
}

void setDouble(f0r_instance_t fx, const char* name, double v) { f0r_set_param_value(fx, &v, paramIndex(name)); }

double getDouble(f0r_instance_t fx, const char* name) {
    double v = -1;
    f0r_get_param_value(fx, &v, paramIndex(name));
    return v;
}

// Gain 1, no turn, no tint, spot off the frame: Image shows the input as it is.
void showInputAsItIs(f0r_instance_t fx) {
    setDouble(fx, "Gain", 0.375);
    setDouble(fx, "Turn", 0);
    f0r_param_string place = const_cast<char*>("0,0,0");
    f0r_set_param_value(fx, &place, paramIndex("Place"));
    f0r_param_position_t away{-1, -1};
    f0r_set_param_value(fx, &away, paramIndex("Spot"));
}

// A frame of distinct pixels, alpha included (straight, any value).
std::vector<uint32_t> noise(uint32_t w, uint32_t h, unsigned seed) {
    std::vector<uint32_t> px(size_t(w) * h);
    for (uint32_t& p : px) {
        seed = seed * 1103515245u + 12345u;
        p = seed ^ (seed >> 13);
    }
    return px;
}

std::vector<uint32_t> update(f0r_instance_t fx, double time, const std::vector<uint32_t>& in) {
    std::vector<uint32_t> out(in.size(), 0xDEADBEEF);
    f0r_update(fx, time, in.data(), out.data());
    return out;
}

// The three bands of Show "Values" at the middle row.
struct Bands {
    uint32_t left, middle, right;
};
Bands bands(const std::vector<uint32_t>& frame, uint32_t w, uint32_t h) {
    const size_t row = size_t(h / 2) * w;
    return {frame[row + w / 6], frame[row + w / 2], frame[row + w - w / 6]};
}

void expectPixel(uint32_t pixel, double r, double g, double b, double a, const char* what) {
    const double want[4] = {r, g, b, a};
    for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(channel(pixel, c), std::lround(want[c] * 255), 1) << what << " channel " << c;
    }
}

struct Frei0rPlugin : testing::Test {
    void SetUp() override { ASSERT_EQ(f0r_init(), 1); }
    void TearDown() override { f0r_deinit(); }
};

TEST_F(Frei0rPlugin, InfoDescribesTheEffectAndItsParameters) {
    f0r_plugin_info_t info{};
    f0r_get_plugin_info(&info);
    EXPECT_STREQ(info.name, "Kinds");
    EXPECT_STREQ(info.author, "Lumivex tests");
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    EXPECT_EQ(info.frei0r_version, 1);
    EXPECT_EQ(info.major_version, 2);
    EXPECT_EQ(info.minor_version, 3);
    EXPECT_NE(std::string(info.explanation).find("A parameter of every kind"), std::string::npos);
    // Groups, the layer and the hidden parameter are left out.
    const std::vector<std::pair<std::string, int>> want = {{"Gain", F0R_PARAM_DOUBLE},  {"Turn", F0R_PARAM_DOUBLE},
                                                           {"Tint", F0R_PARAM_COLOR},   {"Spot", F0R_PARAM_POSITION},
                                                           {"Place", F0R_PARAM_STRING}, {"Invert", F0R_PARAM_BOOL},
                                                           {"Show", F0R_PARAM_DOUBLE},  {"Grow", F0R_PARAM_DOUBLE}};
    ASSERT_EQ(info.num_params, int(want.size()));
    for (int i = 0; i < info.num_params; ++i) {
        f0r_param_info_t p{};
        f0r_get_param_info(&p, i);
        EXPECT_EQ(p.name, want[i].first);
        EXPECT_EQ(p.type, want[i].second) << p.name;
        ASSERT_NE(p.explanation, nullptr);
    }
    f0r_param_info_t untouched{"none", 99, nullptr};
    f0r_get_param_info(&untouched, info.num_params);
    EXPECT_STREQ(untouched.name, "none");
}

TEST_F(Frei0rPlugin, NewInstancesReadTheDeclaredDefaults) {
    f0r_instance_t fx = f0r_construct(64, 32);
    ASSERT_NE(fx, nullptr);
    EXPECT_DOUBLE_EQ(getDouble(fx, "Gain"), 0.375);
    EXPECT_DOUBLE_EQ(getDouble(fx, "Turn"), 0.25);
    EXPECT_DOUBLE_EQ(getDouble(fx, "Invert"), 0);
    EXPECT_DOUBLE_EQ(getDouble(fx, "Show"), 0);
    f0r_param_color_t tint{};
    f0r_get_param_value(fx, &tint, paramIndex("Tint"));
    EXPECT_FLOAT_EQ(tint.r, 1);
    EXPECT_NEAR(tint.g, 128 / 255.0, 1e-6);
    EXPECT_FLOAT_EQ(tint.b, 0);
    f0r_param_position_t spot{};
    f0r_get_param_value(fx, &spot, paramIndex("Spot"));
    EXPECT_DOUBLE_EQ(spot.x, 8 / 64.0);
    EXPECT_DOUBLE_EQ(spot.y, 4 / 32.0);
    f0r_param_string place = nullptr;
    f0r_get_param_value(fx, &place, paramIndex("Place"));
    EXPECT_STREQ(place, "1.5,-2.5,3");
    f0r_destruct(fx);
}

TEST_F(Frei0rPlugin, ValuesAtTheRangeEndsReachTheScript) {
    const uint32_t w = 60, h = 30;
    f0r_instance_t fx = f0r_construct(w, h);
    ASSERT_NE(fx, nullptr);
    setDouble(fx, "Show", 0.25);  // Values
    setDouble(fx, "Gain", 1);     // 6
    setDouble(fx, "Turn", 1);     // 360 degrees
    setDouble(fx, "Invert", 1);
    f0r_param_position_t spot{0.5, 1};  // (30, 30) pixels
    f0r_set_param_value(fx, &spot, paramIndex("Spot"));
    f0r_param_color_t tint{0, 1, 0.6f};
    f0r_set_param_value(fx, &tint, paramIndex("Tint"));
    f0r_param_string place = const_cast<char*>("4,-4,0");
    f0r_set_param_value(fx, &place, paramIndex("Place"));
    Bands b = bands(update(fx, 0, noise(w, h, 1)), w, h);
    expectPixel(b.left, 1, 1, 1, 30 / 64.0, "left");
    expectPixel(b.middle, 0, 1, 0.6, 30 / 64.0, "middle");
    expectPixel(b.right, 1, 0, 0.5, 2 / 8.0, "right");

    setDouble(fx, "Gain", 0);  // -2
    setDouble(fx, "Turn", 0);
    setDouble(fx, "Invert", 0.49);
    spot = {0, 0};
    f0r_set_param_value(fx, &spot, paramIndex("Spot"));
    b = bands(update(fx, 0, noise(w, h, 1)), w, h);
    expectPixel(b.left, 0, 0, 0, 0, "left at the low ends");
    // The values read back as they were set, after a frame too.
    EXPECT_DOUBLE_EQ(getDouble(fx, "Invert"), 0.49);
    EXPECT_DOUBLE_EQ(getDouble(fx, "Gain"), 0);
    f0r_destruct(fx);
}

TEST_F(Frei0rPlugin, TwoInstancesKeepTheirOwnValues) {
    f0r_instance_t a = f0r_construct(48, 24);
    f0r_instance_t b = f0r_construct(48, 24);
    ASSERT_TRUE(a && b);
    setDouble(a, "Show", 0.25);
    setDouble(b, "Show", 0.25);
    setDouble(a, "Gain", 0);
    setDouble(b, "Gain", 1);
    const auto in = noise(48, 24, 2);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(channel(bands(update(a, i, in), 48, 24).left, 0), 0);
        EXPECT_EQ(channel(bands(update(b, i, in), 48, 24).left, 0), 255);
    }
    EXPECT_DOUBLE_EQ(getDouble(a, "Gain"), 0);
    f0r_destruct(a);
    f0r_destruct(b);
}

TEST_F(Frei0rPlugin, InstancesOfDifferentSizesPassTheirFramesThrough) {
    f0r_instance_t a = f0r_construct(64, 32);
    f0r_instance_t b = f0r_construct(24, 48);
    ASSERT_TRUE(a && b);
    showInputAsItIs(a);
    showInputAsItIs(b);
    for (unsigned i = 0; i < 3; ++i) {
        const auto inA = noise(64, 32, 10 + i), inB = noise(24, 48, 20 + i);
        EXPECT_EQ(update(a, 0, inA), inA) << "frame " << i;
        EXPECT_EQ(update(b, 0, inB), inB) << "frame " << i;
    }
    // A host that changes size makes a new instance.
    f0r_destruct(a);
    f0r_instance_t c = f0r_construct(40, 16);
    ASSERT_NE(c, nullptr);
    showInputAsItIs(c);
    const auto inC = noise(40, 16, 30);
    EXPECT_EQ(update(c, 0, inC), inC);
    f0r_destruct(b);
    f0r_destruct(c);
}

TEST_F(Frei0rPlugin, AnEnlargedOutputIsCroppedCentredOnTheFrame) {
    for (const double grow : {16.0, 17.0}) {
        f0r_instance_t fx = f0r_construct(32, 24);
        ASSERT_NE(fx, nullptr);
        showInputAsItIs(fx);
        setDouble(fx, "Grow", grow / 64);
        const auto in = noise(32, 24, 3);
        EXPECT_EQ(update(fx, 0, in), in) << "grown by " << grow;
        f0r_destruct(fx);
    }
}

TEST_F(Frei0rPlugin, ConstructDestructCyclesLeaveNoGLObjectBehind) {
    const auto probe = [](int extra) {
        std::vector<f0r_instance_t> held;
        for (int i = 0; i < extra; ++i) held.push_back(f0r_construct(16, 8));
        for (f0r_instance_t fx : held) update(fx, 0, noise(16, 8, 4));
        f0r_instance_t fx = f0r_construct(16, 8);
        setDouble(fx, "Show", 0.5);
        const uint32_t pixel = update(fx, 0, noise(16, 8, 4))[0];
        f0r_destruct(fx);
        for (f0r_instance_t h : held) f0r_destruct(h);
        return pixel;
    };
    const uint32_t first = probe(0);
    // Live instances hold a render target each, which the probe sees.
    EXPECT_NE(probe(2), first);
    for (int cycle = 0; cycle < 20; ++cycle) {
        f0r_instance_t fx = f0r_construct(16 + 8 * (cycle % 3), 8);
        const auto in = noise(16 + 8 * (cycle % 3), 8, cycle);
        update(fx, cycle, in);
        f0r_destruct(fx);
    }
    EXPECT_EQ(probe(0), first);
}

TEST_F(Frei0rPlugin, AScriptErrorGivesTheErrorFrameAndTheNextFrameRecovers) {
    f0r_instance_t fx = f0r_construct(256, 64);
    ASSERT_NE(fx, nullptr);
    const auto in = noise(256, 64, 5);
    setDouble(fx, "Show", 0.75);  // Throw
    const auto broken = update(fx, 0, in);
    // White text on transparent black.
    size_t white = 0, clear = 0;
    for (uint32_t p : broken) {
        if (p == rgba(255, 255, 255, 255)) ++white;
        if (p == 0) ++clear;
    }
    EXPECT_GT(white, 20u);
    EXPECT_GT(clear, broken.size() / 2);
    setDouble(fx, "Show", 0.25);
    setDouble(fx, "Gain", 1);
    EXPECT_EQ(channel(bands(update(fx, 1, in), 256, 64).left, 0), 255);
    f0r_destruct(fx);
}

TEST_F(Frei0rPlugin, AShaderErrorGivesTheErrorFrame) {
    f0r_instance_t fx = f0r_construct(256, 64);
    ASSERT_NE(fx, nullptr);
    setDouble(fx, "Show", 1);  // Shader
    const auto out = update(fx, 0, noise(256, 64, 6));
    size_t white = 0;
    for (uint32_t p : out) white += p == rgba(255, 255, 255, 255);
    EXPECT_GT(white, 20u);
    f0r_destruct(fx);
}

TEST_F(Frei0rPlugin, UpdatesFromSeveralThreadsRenderEachInstanceRight) {
    constexpr int kThreads = 3;
    std::vector<f0r_instance_t> fx(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        fx[t] = f0r_construct(32, 16);
        ASSERT_NE(fx[t], nullptr);
        setDouble(fx[t], "Show", 0.25);
        setDouble(fx[t], "Gain", t / 2.0);  // red 0, 0.5, 1
    }
    std::vector<int> wrong(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const auto in = noise(32, 16, t);
            for (int i = 0; i < 15; ++i) {
                const int red = channel(bands(update(fx[t], i, in), 32, 16).left, 0);
                if (std::abs(red - int(std::lround(t / 2.0 * 255))) > 1) ++wrong[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    // One instance carried on by another thread, as hosts with worker pools do.
    std::thread([&] { EXPECT_EQ(channel(bands(update(fx[2], 0, noise(32, 16, 9)), 32, 16).left, 0), 255); }).join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(wrong[t], 0) << "thread " << t;
        f0r_destruct(fx[t]);
    }
}

}  // namespace
