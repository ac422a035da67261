// The editor's file routes on a running studio: the effect's text files are
// listed and read, a save reaches the disk and the effect reloads with it,
// and a save is refused outside the effect folder, for files that are not
// text, without the token, from other web pages, with a body that is not
// JSON, and over a file that changed on disk since it was read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "studio/Files.h"
#include "tests/studio/StudioServer.h"

namespace {

using json = nlohmann::json;
using namespace studio_test;

class EditorServer : public StudioServer {
protected:
    Answer save(const json& body, const std::string& type = "application/json", httplib::Headers headers = {},
                bool withToken = true) {
        return send("PUT", "/api/source", body.dump(), type, std::move(headers), withToken);
    }
    // The green of the frame's top left pixel, once a frame is rendered.
    double green() {
        if (send("GET", "/api/frame.raw").status != 200) return -1;
        const Answer a = send("GET", "/api/pixel?x=0&y=0");
        return a.status == 200 ? json::parse(a.body)["rgba"][1].get<double>() : -1;
    }
};

TEST_F(EditorServer, ListsAndReadsTheEffectsTextFiles) {
    effect.write("sub/blur.frag", "void main() {}\n");
    effect.write(".fx.js.swp", "backup");
    effect.write("picture.png", "not text");
    const Answer list = send("GET", "/api/sources");
    ASSERT_EQ(list.status, 200) << list.body;
    std::vector<std::string> paths;
    const json listed = json::parse(list.body);
    for (const json& f : listed["files"]) paths.push_back(f["path"]);
    EXPECT_EQ(paths, (std::vector<std::string>{"config.xml", "fill.frag", "fx.js", "sub/blur.frag"}));

    const Answer read = send("GET", "/api/source?path=fill.frag");
    ASSERT_EQ(read.status, 200) << read.body;
    EXPECT_EQ(json::parse(read.body)["text"], fileText(effect.path / "fill.frag"));
    EXPECT_EQ(send("GET", "/api/source?path=sub/blur.frag").status, 200);
    EXPECT_EQ(send("GET", "/api/source?path=picture.png").status, 415);
    EXPECT_EQ(send("GET", "/api/source?path=missing.frag").status, 403);
    effect.write("binary.frag", std::string("void\0main", 9));
    EXPECT_EQ(send("GET", "/api/source?path=binary.frag").status, 415);
}

TEST_F(EditorServer, ASaveReachesTheDiskAndReloadsTheEffect) {
    ASSERT_TRUE(eventually([&] {
        const double g = green();
        return g >= 0 && g < 128;
    })) << "the fixture's frame is not dark green";
    const json read = json::parse(send("GET", "/api/source?path=fill.frag").body);
    const std::string green1 = "uniform vec4 colour;\nvoid main() { gl_FragColor = vec4(colour.r, 1.0, 0.0, 1.0); }\n";
    const Answer saved = save({{"path", "fill.frag"}, {"text", green1}, {"version", read["version"]}});
    ASSERT_EQ(saved.status, 200) << saved.body;
    EXPECT_EQ(fileText(effect.path / "fill.frag"), green1);
    EXPECT_TRUE(eventually([&] { return green() == 255; })) << "the effect did not reload with the saved shader";
    // No new file is left beside it.
    for (const auto& entry : fs::directory_iterator(effect.path))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();

    // The version read before that save is stale now: another editor's
    // text is never overwritten unasked. Without a version the save goes.
    const Answer stale = save({{"path", "fill.frag"}, {"text", "lost"}, {"version", read["version"]}});
    EXPECT_EQ(stale.status, 409) << stale.body;
    EXPECT_EQ(fileText(effect.path / "fill.frag"), green1);
    EXPECT_EQ(save({{"path", "fill.frag"}, {"text", read["text"]}}).status, 200);
    EXPECT_EQ(fileText(effect.path / "fill.frag"), read["text"].get<std::string>());
}

TEST_F(EditorServer, SavesStayInsideTheEffectFolderAndNeedThePagesRights) {
    const TempDir elsewhere;
    elsewhere.write("outside.frag", "outside\n");
    const fs::path outside = elsewhere.path / "outside.frag";
    fs::create_symlink(outside, effect.path / "link.frag");
    effect.write("picture.png", "x");
    const std::string escape = "../" + elsewhere.path.filename().string() + "/outside.frag";
    const std::string text = "void main() {}\n";

    for (const std::string& path :
         {escape, outside.string(), std::string("link.frag"), std::string("missing.frag"), "sub/../" + escape})
        EXPECT_EQ(save({{"path", path}, {"text", text}}).status, 403) << path;
    EXPECT_EQ(send("GET", "/api/source?path=link.frag").status, 403);
    EXPECT_EQ(send("GET", "/api/source?path=" + escape).status, 403);
    EXPECT_EQ(save({{"path", "picture.png"}, {"text", text}}).status, 415);
    EXPECT_EQ(save({{"path", "fill.frag"}, {"text", std::string(studio::kMaxSourceSize + 1, 'x')}}).status, 413);
    EXPECT_EQ(save({{"path", "fill.frag"}, {"text", std::string("a\0b", 3)}}).status, 415);
    EXPECT_EQ(save({{"path", "fill.frag"}}).status, 400);

    // Who may ask: the token, the studio's own origin, a JSON body.
    const json body = {{"path", "fill.frag"}, {"text", text}};
    EXPECT_EQ(save(body, "application/json", {}, false).status, 403);
    EXPECT_EQ(save(body, "application/json", {{"Origin", "http://127.0.0.1:1"}}).status, 403);
    EXPECT_EQ(save(body, "application/json", {{"Sec-Fetch-Site", "cross-site"}}).status, 403);
    EXPECT_EQ(save(body, "text/plain").status, 415);
    EXPECT_EQ(save(body, "application/x-www-form-urlencoded").status, 415);

    EXPECT_EQ(fileText(outside), "outside\n");
    EXPECT_NE(fileText(effect.path / "fill.frag"), text);
    // The page's own origin may.
    EXPECT_EQ(save(body, "application/json", {{"Origin", origin()}, {"Sec-Fetch-Site", "same-origin"}}).status, 200);
    EXPECT_EQ(fileText(effect.path / "fill.frag"), text);
}

}  // namespace
