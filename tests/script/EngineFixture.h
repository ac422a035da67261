// Runs the real effect engine (effectPlugin) on a headless GL context, with
// the effect's files written as loose files into a fresh temporary folder
// that becomes the current folder (no package is open, so the file readers
// read from there). Each test runs in its own process, so the engine's
// singletons start fresh.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "gpu/Context.h"
#include "script/AELumivex2.h"
#include "script/Scripting.h"

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumivex-script-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        ASSERT_EQ(chdir(folder.c_str()), 0);
        writeFile("config.xml", "<FXNAME>Test</FXNAME><FLAGS>4</FLAGS>\n");
    }

    void TearDown() override {
        if (locked) engine().unlockGL();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    static script::AELumivex2& engine() { return static_cast<script::AELumivex2&>(script::effectPlugin()); }
    static gpu::Context& registry() { return gpu::Context::instance(); }

    void writeFile(const std::string& name, const std::string& bytes) {
        std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
    }

    // Writes fx.js (and other files), initialises the engine, makes a
    // sequence current and takes the GL lock for the rest of the test.
    void load(const std::string& script, const std::map<std::string, std::string>& files = {}) {
        writeFile("fx.js", script);
        for (const auto& [name, bytes] : files) writeFile(name, bytes);
        ASSERT_TRUE(engine().init(nullptr));
        ASSERT_TRUE(engine().lockGL());
        locked = true;
        handle = engine().newSequence();
        engine().setSequence(handle);
    }

    // preRender and render of one frame; returns the output size.
    std::pair<uint32_t, uint32_t> frame(uint32_t width = 8, uint32_t height = 4, uint32_t depth = 8, double time = 0) {
        uint32_t w = 0, h = 0;
        engine().preRender(width, height, &w, &h);
        engine().render(time, w, h, depth);
        return {w, h};
    }

    // The output as read back (8-bit): rows bottom-up, bytes alpha, red,
    // green, blue per pixel.
    std::vector<uint8_t> output() {
        const gpu::Sequence* sequence = registry().current();
        EXPECT_NE(sequence, nullptr);
        if (!sequence) return {};
        gpu::RenderTarget& target = registry().getRenderTarget(sequence->renderTargetId);
        std::vector<uint8_t> bytes(size_t{target.width()} * target.height() * 4);
        const void* mapped = engine().readOutput();
        EXPECT_NE(mapped, nullptr);
        if (mapped) std::memcpy(bytes.data(), mapped, bytes.size());
        engine().releaseOutput();
        return bytes;
    }

    // Evaluates a script expression in the loaded program's global scope and
    // returns it converted to text; checks that the value stack is balanced.
    std::string eval(const std::string& expression) {
        duk_context* ctx = script::Scripting::instance().ctx;
        EXPECT_NE(ctx, nullptr);
        if (!ctx) return "";
        const duk_idx_t top = duk_get_top(ctx);
        auto error =
            script::Scripting::instance().run("__result = (" + expression + ");", "test", std::chrono::seconds(10));
        EXPECT_FALSE(error) << expression << ": " << (error ? error->message : "");
        EXPECT_EQ(duk_get_top(ctx), top) << expression;
        duk_get_global_string(ctx, "__result");
        std::string text = duk_safe_to_string(ctx, -1);
        duk_pop(ctx);
        return text;
    }

    double number(const std::string& expression) { return std::stod(eval("+(" + expression + ")")); }

    std::string folder;
    script::SequenceHandle* handle = nullptr;
    bool locked = false;
};

// A fragment shader that writes one colour (red, green, blue, alpha in 0..1).
inline std::string solidShader(const char* rgba) {
    return std::string("void main() { gl_FragColor = vec4(") + rgba + "); }\n";
}
