// The gallery in effects/: together its effects call every LX_ function the
// engine registers, and each renders through the command without an error.
#include <algorithm>
#include <set>
#include <vector>

#include "media/Still.h"
#include "script/Bindings.h"
#include "script/duktape/HeapGuard.h"
#include "tests/tools/CliFixture.h"

using namespace clitest;

namespace {

// Gallery folders: every effect package in effects/ but the default effect,
// which has tests of its own.
std::vector<fs::path> galleryEffects() {
    std::vector<fs::path> effects;
    for (const auto& entry : fs::directory_iterator(GALLERY_DIR))
        if (entry.path().filename() != "default" && fs::exists(entry.path() / "config.xml"))
            effects.push_back(entry.path());
    std::sort(effects.begin(), effects.end());
    return effects;
}

// The names of the LX_ functions as the engine registers them on a heap.
std::vector<std::string> registeredApi() {
    script::HeapGuard guard;  // what the engine's hooks read
    duk_context* ctx = duk_create_heap(nullptr, nullptr, nullptr, &guard, nullptr);
    script::registerScriptApi(ctx);
    std::vector<std::string> names;
    duk_push_global_object(ctx);
    duk_enum(ctx, -1, DUK_ENUM_OWN_PROPERTIES_ONLY);
    while (duk_next(ctx, -1, 1)) {
        const std::string name = duk_get_string(ctx, -2);
        if (name.rfind("LX_", 0) == 0 && duk_is_function(ctx, -1)) names.push_back(name);
        duk_pop_2(ctx);
    }
    duk_destroy_heap(ctx);
    return names;
}

using Gallery = Cli;

}  // namespace

TEST_F(Gallery, EffectsTogetherCallEveryFunctionOfTheScriptApi) {
    const std::vector<std::string> api = registeredApi();
    ASSERT_NE(std::find(api.begin(), api.end(), "LX_initParam"), api.end());
    std::string scripts;
    for (const fs::path& effect : galleryEffects()) scripts += slurp((effect / "fx.js").string());
    std::set<std::string> missing;
    for (const std::string& name : api) {
        // A call, written either way the engine accepts: LX_name( or L.X.name(
        const std::string shorthand = "L.X." + name.substr(3) + "(";
        if (scripts.find(name + "(") == std::string::npos && scripts.find(shorthand) == std::string::npos)
            missing.insert(name);
    }
    EXPECT_TRUE(missing.empty()) << "no gallery effect calls " << testing::PrintToString(missing);
}

TEST_F(Gallery, EveryEffectRendersWithoutAnError) {
    const std::vector<fs::path> effects = galleryEffects();
    EXPECT_GE(effects.size(), 4u);
    for (const fs::path& effect : effects) {
        const std::string name = effect.filename().string();
        Outcome r = run("render --effect " + effect.string() + " --size 192x108 -o " + name + ".png");
        EXPECT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_EQ(r.err, "") << name;
        // Something was drawn: not one flat colour.
        const std::vector<float> rgba = media::readImage(path(name + ".png")).rgba;
        ASSERT_GE(rgba.size(), 4u) << name;
        bool varied = false;
        for (size_t i = 4; i < rgba.size() && !varied; ++i) varied = rgba[i] != rgba[i % 4];
        EXPECT_TRUE(varied) << name;
    }
}
