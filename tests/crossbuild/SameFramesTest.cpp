// Every effect module at every depth in both hosts, rendered the same way on
// each system. The Linux build keeps its frames (LUMIVEX_FRAME_DIR); the
// Windows build, running under Wine with the Windows module and the Windows
// loader, must produce the same frames (LUMIVEX_REFERENCE_FRAMES), float
// frames included: the same shaders run on the same software renderer, and
// the host's conversions are the same code. Both loaders also refuse files
// that are no effect module in the same way.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>

#include "hostsim/Error.h"
#include "hostsim/Host.h"

namespace {

struct ModuleFile {
    const char* name;
    const char* path;
};

const ModuleFile kModules[] = {
#include "Modules.inc"
};

struct Case {
    ModuleFile module;
    hostsim::HostKind kind;
    uint32_t depth;
};

std::string caseName(const Case& c) {
    return std::string(c.module.name) + (c.kind == hostsim::HostKind::Editing ? "_Editing" : "_Compositing") +
           std::to_string(c.depth);
}

void PrintTo(const Case& c, std::ostream* out) { *out << caseName(c); }

// A card with every channel varying: ramps, a hard edge and partial alpha.
hostsim::Image card() {
    hostsim::Image image(48, 27);
    for (uint32_t y = 0; y < image.height; ++y) {
        for (uint32_t x = 0; x < image.width; ++x) {
            float* p = image.pixel(x, y);
            p[0] = float(x) / float(image.width - 1);
            p[1] = float(y) / float(image.height - 1);
            p[2] = x < image.width / 2 ? 0.25f : 0.75f;
            p[3] = y < 3 ? 0.5f : 1.0f;
        }
    }
    return image;
}

// The file format: width, height, origin x and y (4 bytes each), then the
// frame's floats, all in this machine's byte order (both builds are x86-64).
struct Frame {
    int32_t header[4] = {};
    std::vector<float> rgba;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

[[maybe_unused]] void writeFrame(const std::string& path, const Frame& frame) {
    File file(std::fopen(path.c_str(), "wb"));
    ASSERT_TRUE(file) << "cannot write " << path;
    ASSERT_EQ(std::fwrite(frame.header, sizeof frame.header, 1, file.get()), 1u) << path;
    ASSERT_EQ(std::fwrite(frame.rgba.data(), sizeof(float), frame.rgba.size(), file.get()), frame.rgba.size()) << path;
}

[[maybe_unused]] Frame readFrame(const std::string& path) {
    Frame frame;
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        ADD_FAILURE() << "no frame of the Linux build at " << path << " (run its test_crossbuild first)";
        return frame;
    }
    if (std::fread(frame.header, sizeof frame.header, 1, file.get()) != 1) {
        ADD_FAILURE() << path << " is truncated";
        return frame;
    }
    frame.rgba.resize(size_t(uint32_t(frame.header[0])) * uint32_t(frame.header[1]) * 4);
    if (std::fread(frame.rgba.data(), sizeof(float), frame.rgba.size(), file.get()) != frame.rgba.size())
        ADD_FAILURE() << path << " is truncated";
    return frame;
}

class SameFrames : public testing::TestWithParam<Case> {};

TEST_P(SameFrames, OnLinuxAndWindows) {
    const Case& c = GetParam();
    hostsim::Module module(c.module.path);
    hostsim::HostConfig config;
    config.kind = c.kind;
    config.depth = c.depth;
    hostsim::Host host(module, config);
    host.setInput(card());
    ASSERT_EQ(host.start(), PF_Err_NONE);
    const hostsim::RenderResult result = host.render(0);
    ASSERT_EQ(host.finish(), PF_Err_NONE);

    Frame frame;
    frame.header[0] = int32_t(result.image.width);
    frame.header[1] = int32_t(result.image.height);
    frame.header[2] = result.originX;
    frame.header[3] = result.originY;
    frame.rgba = result.image.rgba;
    ASSERT_FALSE(frame.rgba.empty()) << "no frame rendered: " << hostsim::errorName(result.result);
    const std::string file = caseName(c) + ".frame";
#ifdef LUMIVEX_FRAME_DIR
    writeFrame(std::string(LUMIVEX_FRAME_DIR) + "/" + file, frame);
#endif
#ifdef LUMIVEX_REFERENCE_FRAMES
    const Frame linux = readFrame(std::string(LUMIVEX_REFERENCE_FRAMES) + "/" + file);
    ASSERT_EQ(std::vector<int32_t>(frame.header, frame.header + 4),
              std::vector<int32_t>(linux.header, linux.header + 4))
        << "size and origin";
    ASSERT_EQ(frame.rgba.size(), linux.rgba.size());
    size_t differing = 0;
    for (size_t i = 0; i < frame.rgba.size(); ++i) {
        if (!(frame.rgba[i] == linux.rgba[i]) && differing++ < 5)
            ADD_FAILURE() << "value " << i << " (pixel " << i / 4 << ", channel " << i % 4 << "): " << frame.rgba[i]
                          << " here, " << linux.rgba[i] << " on Linux";
    }
    EXPECT_EQ(differing, 0u);
#endif
}

// What the host says of a file it cannot use, with either system's loader.
std::string loadError(const std::string& path) {
    try {
        hostsim::Module module(path);
    } catch (const hostsim::Error& e) {
        return e.what();
    }
    return "";
}

TEST(ModuleFiles, FilesThatAreNoEffectAreRefusedByName) {
    const std::string missing = "no-such-module.aex";
    EXPECT_NE(loadError(missing).find(missing), std::string::npos) << loadError(missing);
    const std::string text = NOT_A_MODULE;
    EXPECT_NE(loadError(text).find(text), std::string::npos) << loadError(text);
    // The engine module carries no registration: it is not loaded at all.
    EXPECT_NE(loadError(ENGINE_MODULE).find("has no registration resource"), std::string::npos)
        << loadError(ENGINE_MODULE);
}

std::vector<Case> everyCase() {
    std::vector<Case> cases;
    for (const ModuleFile& module : kModules)
        for (hostsim::HostKind kind : {hostsim::HostKind::Compositing, hostsim::HostKind::Editing})
            for (uint32_t depth : {8u, 16u, 32u}) cases.push_back({module, kind, depth});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryModule, SameFrames, testing::ValuesIn(everyCase()),
                         [](const testing::TestParamInfo<Case>& info) { return caseName(info.param); });

}  // namespace
