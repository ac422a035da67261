// Ids and limits of the entity factories, and shader text rewriting against
// effects that push sizes and counts: no GL needed.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "gpu/Context.h"
#include "gpu/ShaderSource.h"

namespace {

namespace ss = gpu::shader_source;

// Random creates and releases against a plain model of "lowest free serial".
TEST(EntityIds, LowestFreeSerialUnderAnyReleaseOrder) {
    gpu::EntityFactory<int, gpu::kSurfaceKind, 64> factory;
    std::set<uint32_t> live;
    std::mt19937 random(7);
    for (int step = 0; step < 20000; ++step) {
        if (live.empty() || random() % 3 != 0) {
            uint32_t expected = 1;
            while (live.count(expected)) ++expected;
            const uint32_t id = factory.create();
            if (expected > 64) {
                EXPECT_EQ(id, 0u);
                EXPECT_TRUE(factory.full());
                continue;
            }
            ASSERT_EQ(id, gpu::kSurfaceKind | expected) << "step " << step;
            live.insert(expected);
        } else {
            auto it = live.begin();
            std::advance(it, random() % live.size());
            factory.release(gpu::kSurfaceKind | *it);
            factory.release(gpu::kSurfaceKind | *it);  // a second release is ignored
            live.erase(it);
            EXPECT_FALSE(factory.full());
        }
        ASSERT_EQ(factory.entities.size(), live.size());
    }
}

TEST(EntityIds, ReleasingTheHighestLeavesLowerGapsFirst) {
    gpu::EntityFactory<int, gpu::kTextureKind> factory;
    for (int i = 0; i < 5; ++i) factory.create();
    factory.release(gpu::kTextureKind | 2);
    factory.release(gpu::kTextureKind | 5);
    factory.release(gpu::kTextureKind | 4);
    EXPECT_EQ(factory.create(), gpu::kTextureKind | 2);
    EXPECT_EQ(factory.create(), gpu::kTextureKind | 4);
    EXPECT_EQ(factory.create(), gpu::kTextureKind | 5);
    EXPECT_EQ(factory.create(), gpu::kTextureKind | 6);
}

struct RegistryLimits : ::testing::Test {
    void SetUp() override { gpu::Context::instance().initialize(); }
    void TearDown() override { gpu::Context::instance().shutdown(); }
};

// Every kind stops at its bound with 0 and takes a released id again.
TEST_F(RegistryLimits, EachKindHoldsABoundedNumberOfLiveEntities) {
    gpu::Context& context = gpu::Context::instance();
    for (uint32_t kind :
         {gpu::kParameterKind, gpu::kShaderKind, gpu::kRenderTargetKind, gpu::kTextureKind, gpu::kSurfaceKind}) {
        const uint32_t limit = gpu::kindLimit(kind);
        for (uint32_t i = 1; i <= limit; ++i) ASSERT_EQ(context.createEntity(kind), kind | i);
        EXPECT_EQ(context.createEntity(kind), 0u) << std::hex << kind;
        context.releaseEntity(kind | 17);
        EXPECT_EQ(context.createEntity(kind), kind | 17);
        EXPECT_EQ(context.createEntity(kind), 0u);
    }
    EXPECT_GE(gpu::kindLimit(gpu::kParameterKind), 10000u);  // effects with ten thousand parameters load
}

// A released parameter keeps its place, so declaring and releasing in a loop
// stops at the bound on places instead of growing the list without end.
TEST_F(RegistryLimits, ParameterPlacesAreBoundedThoughReleased) {
    gpu::Context& context = gpu::Context::instance();
    for (uint32_t i = 0; i < gpu::kindLimit(gpu::kParameterKind); ++i) {
        const uint32_t id = context.createParameter("p", 0, "P");
        ASSERT_NE(id, 0u) << i;
        context.releaseEntity(id);
    }
    EXPECT_EQ(context.count(), gpu::kindLimit(gpu::kParameterKind));
    EXPECT_EQ(context.createParameter("p", 0, "P"), 0u);
    EXPECT_EQ(context.count(), gpu::kindLimit(gpu::kParameterKind));
}

// "#extension" lines must precede all code, so the texture-read definitions
// go after every leading directive, comment and blank line.
TEST(ShaderSourceDirectives, DefinitionsFollowLeadingDirectives) {
    const std::string head = "// lod\n#extension GL_ARB_shader_texture_lod : enable\n/* x */\n#define K \\\n 2\n";
    const std::string out = ss::rewrite(head + "void main() { gl_FragColor = texture2D(s, v); }");
    ASSERT_EQ(out.rfind(head, 0), 0u) << out;
    EXPECT_EQ(out.find("vec4 repl_texture2D("), head.size()) << out;
    // No line is added before the author's code: its lines keep their numbers.
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 6) << out;

    // Without leading directives the definition is a first line of its own.
    std::string plain = "x = texture2D(s, v);\n#extension A : enable";
    EXPECT_TRUE(ss::rewriteCall(plain, "texture2D"));
    EXPECT_EQ(plain.rfind("vec4 repl_texture2D(", 0), 0u);
    EXPECT_EQ(plain.find("\nx = repl_texture2D("), plain.find('\n')) << plain;
}

// Many calls are all rewritten, in one pass over the text.
TEST(ShaderSourceSize, EveryOneOfManyCallsIsRewritten) {
    std::string body;
    for (int i = 0; i < 20000; ++i) body += "c += texture2D(s, v) + (texture2D (s, v));\n";
    std::string text = body;
    EXPECT_TRUE(ss::rewriteCall(text, "texture2D"));
    size_t rewritten = 0;
    for (size_t p = text.find("repl_texture2D"); p != std::string::npos; p = text.find("repl_texture2D", p + 1))
        ++rewritten;
    EXPECT_EQ(rewritten, 40000u + 1u);  // the calls and the definition's name
    // Only the calls grew (by "repl_") besides the definition's own line.
    EXPECT_EQ(text.size(), body.size() + 40000u * 5 + text.find('\n') + 1);
}

}  // namespace
