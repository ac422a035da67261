// Every frei0r plug-in loaded as a frei0r host loads it (dlopen on Linux,
// LoadLibrary under Wine) and driven through its exported functions only:
// its parameters all set away from their defaults, two frames rendered. The
// Linux build keeps its frames (LUMIVEX_FRAME_DIR); the Windows build's
// <name>.dll must render the same frames within one level
// (LUMIVEX_REFERENCE_FRAMES).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

struct PluginFile {
    const char* name;
    const char* path;
};

const PluginFile kPlugins[] = {
#include "Frei0rPlugins.inc"
};

void PrintTo(const PluginFile& plugin, std::ostream* out) { *out << plugin.name; }

// A loaded plug-in file and its nine functions; unloaded when it goes.
class Library {
public:
    explicit Library(const std::string& path) {
#ifdef _WIN32
        handle = LoadLibraryA(path.c_str());
#else
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
        if (!handle) return;
        init = reinterpret_cast<decltype(init)>(symbol("f0r_init"));
        deinit = reinterpret_cast<decltype(deinit)>(symbol("f0r_deinit"));
        pluginInfo = reinterpret_cast<decltype(pluginInfo)>(symbol("f0r_get_plugin_info"));
        paramInfo = reinterpret_cast<decltype(paramInfo)>(symbol("f0r_get_param_info"));
        construct = reinterpret_cast<decltype(construct)>(symbol("f0r_construct"));
        destruct = reinterpret_cast<decltype(destruct)>(symbol("f0r_destruct"));
        setParam = reinterpret_cast<decltype(setParam)>(symbol("f0r_set_param_value"));
        getParam = reinterpret_cast<decltype(getParam)>(symbol("f0r_get_param_value"));
        update = reinterpret_cast<decltype(update)>(symbol("f0r_update"));
    }
    ~Library() {
        if (!handle) return;
#ifdef _WIN32
        FreeLibrary(handle);
#else
        dlclose(handle);
#endif
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool complete() const {
        return handle && init && deinit && pluginInfo && paramInfo && construct && destruct && setParam && getParam &&
               update;
    }

    decltype(&f0r_init) init = nullptr;
    decltype(&f0r_deinit) deinit = nullptr;
    decltype(&f0r_get_plugin_info) pluginInfo = nullptr;
    decltype(&f0r_get_param_info) paramInfo = nullptr;
    decltype(&f0r_construct) construct = nullptr;
    decltype(&f0r_destruct) destruct = nullptr;
    decltype(&f0r_set_param_value) setParam = nullptr;
    decltype(&f0r_get_param_value) getParam = nullptr;
    decltype(&f0r_update) update = nullptr;

private:
    void* symbol(const char* name) const {
#ifdef _WIN32
        return reinterpret_cast<void*>(GetProcAddress(handle, name));
#else
        return dlsym(handle, name);
#endif
    }

#ifdef _WIN32
    HMODULE handle = nullptr;
#else
    void* handle = nullptr;
#endif
};

constexpr uint32_t kWidth = 48, kHeight = 27;
constexpr double kTimes[] = {0.0, 0.5};

// A card with every channel varying: ramps, a hard edge and partial alpha,
// as RGBA8888 words.
std::vector<uint32_t> card() {
    std::vector<uint32_t> px(size_t(kWidth) * kHeight);
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            const uint32_t r = x * 255 / (kWidth - 1), g = y * 255 / (kHeight - 1);
            const uint32_t b = x < kWidth / 2 ? 64 : 192, a = y < 3 ? 128 : 255;
            px[size_t(y) * kWidth + x] = r | g << 8 | b << 16 | a << 24;
        }
    }
    return px;
}

// Sets every parameter to a value of its kind away from the usual defaults
// and checks that the plug-in gives the value back.
void setEveryParam(const Library& lib, f0r_instance_t fx, int count) {
    for (int i = 0; i < count; ++i) {
        f0r_param_info_t info{};
        lib.paramInfo(&info, i);
        SCOPED_TRACE(info.name ? info.name : "(no name)");
        switch (info.type) {
            case F0R_PARAM_BOOL:
            case F0R_PARAM_DOUBLE: {
                double v = info.type == F0R_PARAM_BOOL ? 1.0 : 0.75, back = -1;
                lib.setParam(fx, &v, i);
                lib.getParam(fx, &back, i);
                EXPECT_EQ(back, v);
                break;
            }
            case F0R_PARAM_COLOR: {
                f0r_param_color_t v{0.2f, 0.4f, 0.6f}, back{};
                lib.setParam(fx, &v, i);
                lib.getParam(fx, &back, i);
                EXPECT_EQ(back.g, v.g);
                break;
            }
            case F0R_PARAM_POSITION: {
                f0r_param_position_t v{0.25, 0.75}, back{};
                lib.setParam(fx, &v, i);
                lib.getParam(fx, &back, i);
                EXPECT_EQ(back.y, v.y);
                break;
            }
            case F0R_PARAM_STRING: {
                f0r_param_string v = const_cast<char*>("1,2,0.5"), back = nullptr;
                lib.setParam(fx, &v, i);
                lib.getParam(fx, &back, i);
                EXPECT_STREQ(back, v);
                break;
            }
            default: ADD_FAILURE() << "parameter " << i << " has the unknown kind " << info.type;
        }
    }
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The file format: the frames' RGBA8888 words one after the other.
[[maybe_unused]] void writeFrames(const std::string& path, const std::vector<uint32_t>& words) {
    File file(std::fopen(path.c_str(), "wb"));
    ASSERT_TRUE(file) << "cannot write " << path;
    ASSERT_EQ(std::fwrite(words.data(), 4, words.size(), file.get()), words.size()) << path;
}

[[maybe_unused]] std::vector<uint32_t> readFrames(const std::string& path, size_t count) {
    std::vector<uint32_t> words(count);
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        ADD_FAILURE() << "no frames of the Linux build at " << path << " (run its test_crossbuild first)";
        return {};
    }
    if (std::fread(words.data(), 4, count, file.get()) != count || std::fgetc(file.get()) != EOF) {
        ADD_FAILURE() << path << " does not hold " << count / (size_t(kWidth) * kHeight) << " frames";
        return {};
    }
    return words;
}

class SameFramesThroughFrei0r : public testing::TestWithParam<PluginFile> {};

TEST_P(SameFramesThroughFrei0r, OnLinuxAndWindows) {
    const PluginFile& plugin = GetParam();
    Library lib(plugin.path);
    ASSERT_TRUE(lib.complete()) << plugin.path << " does not load with the nine frei0r functions";
    ASSERT_EQ(lib.init(), 1);
    f0r_plugin_info_t info{};
    lib.pluginInfo(&info);
    ASSERT_NE(info.name, nullptr);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    f0r_instance_t fx = lib.construct(kWidth, kHeight);
    ASSERT_NE(fx, nullptr);
    setEveryParam(lib, fx, info.num_params);

    const std::vector<uint32_t> in = card();
    std::vector<uint32_t> frames;
    for (double time : kTimes) {
        std::vector<uint32_t> out(in.size(), 0xDEADBEEF);
        lib.update(fx, time, in.data(), out.data());
        frames.insert(frames.end(), out.begin(), out.end());
    }
    lib.destruct(fx);
    lib.deinit();

    const std::string file = std::string(plugin.name) + ".frei0r";
#ifdef LUMIVEX_FRAME_DIR
    writeFrames(std::string(LUMIVEX_FRAME_DIR) + "/" + file, frames);
#endif
#ifdef LUMIVEX_REFERENCE_FRAMES
    const std::vector<uint32_t> linux = readFrames(std::string(LUMIVEX_REFERENCE_FRAMES) + "/" + file, frames.size());
    ASSERT_EQ(linux.size(), frames.size());
    size_t differing = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        for (int c = 0; c < 4; ++c) {
            const int here = int(frames[i] >> (8 * c) & 0xFF), there = int(linux[i] >> (8 * c) & 0xFF);
            if (std::abs(here - there) > 1 && differing++ < 5)
                ADD_FAILURE() << "frame " << i / in.size() << ", pixel " << i % in.size() << ", channel " << c << ": "
                              << here << " here, " << there << " on Linux";
        }
    }
    EXPECT_EQ(differing, 0u);
#endif
}

// Named so that the Linux frames are made with the module frames
// (ctest -R '^EveryModule/SameFrames', as scripts/test-windows.sh runs it).
INSTANTIATE_TEST_SUITE_P(EveryModule, SameFramesThroughFrei0r, testing::ValuesIn(kPlugins),
                         [](const testing::TestParamInfo<PluginFile>& info) { return std::string(info.param.name); });

}  // namespace
