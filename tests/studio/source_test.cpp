// `lumivex studio --effect FILE` on ISF and Shadertoy files: the file is
// imported at start and on every save, its errors name its own lines, a
// failed import is reported and recovered from, the imported folder goes
// away with the studio, and the editor shows and saves the author's files,
// never the generated ones.
#include <gtest/gtest.h>

#include "studio/Studio.h"
#include "tests/studio/StudioServer.h"

namespace {

using studio_test::Answer;
using studio_test::fileText;
using studio_test::TempDir;
namespace fs = std::filesystem;
using json = nlohmann::json;

// An ISF shader whose red is its "level" (line 8 reads it) and a point input.
std::string isf(const std::string& level) {
    return "/*{\n"
           "  \"INPUTS\": [\n"
           "    {\"NAME\": \"level\", \"TYPE\": \"float\", \"DEFAULT\": 0.5},\n"
           "    {\"NAME\": \"centre\", \"TYPE\": \"point2D\", \"DEFAULT\": [0.25, 0.75]}\n"
           "  ]\n"
           "}*/\n"
           "void main() {\n"
           "    float r = " +
           level +
           ";\n"
           "    gl_FragColor = vec4(r, 0.25, centre.x, 1.0);\n"
           "}\n";
}

// The studio on a file of its own folder, which each test writes first.
class SourceStudio : public studio_test::StudioServer {
protected:
    virtual std::pair<std::string, std::string> source() const { return {"shader.fs", isf("level")}; }
    std::string prepare() override {
        const auto [name, text] = source();
        folder.write(name, text);
        return (folder.path / name).string();
    }
    // Writes the file as an editor saves it: a new file renamed over the old.
    void save(const std::string& name, const std::string& text) {
        folder.write(name + ".new", text);
        fs::rename(folder.path / (name + ".new"), folder.path / name);
    }
    json errors() {
        const Answer a = send("GET", "/api/errors");
        return a.status == 200 ? json::parse(a.body)["errors"] : json();
    }
    // The red, green and blue of the frame's pixel (8-bit), rendered anew.
    std::vector<int> pixel() {
        if (send("GET", "/api/frame.png").status != 200) return {};
        const Answer a = send("GET", "/api/pixel?x=5&y=5");
        if (a.status != 200) return {};
        const json rgba = json::parse(a.body)["rgba"];
        return {rgba[0].get<int>(), rgba[1].get<int>(), rgba[2].get<int>()};
    }
    // Whether the errors are exactly one report at FILE:LINE whose message holds `text`.
    bool oneErrorAt(const std::string& file, int line, const std::string& text) {
        pixel();
        const json e = errors();
        return e.is_array() && e.size() == 1 && e[0]["file"] == file && e[0]["line"] == line &&
               e[0]["message"].get<std::string>().find(text) != std::string::npos && e[0]["severity"] == "error";
    }

    TempDir folder;
};

TEST_F(SourceStudio, IsfFileIsShownAndItsErrorsNameItsOwnLines) {
    EXPECT_EQ(pixel(), (std::vector<int>{128, 64, 64}));
    EXPECT_TRUE(errors().empty()) << errors();
    // The point's default sits where the file has it on the studio's frame
    // (640x360, y down): 0.25 across, 0.75 up.
    EXPECT_EQ(param("centre")["value"], json::array({160, 90}));

    save("shader.fs", isf("levl"));
    EXPECT_TRUE(eventually([&] { return oneErrorAt("shader.fs", 8, "levl"); })) << errors();

    save("shader.fs", isf("1.0"));
    EXPECT_TRUE(eventually([&] { return pixel() == std::vector<int>{255, 64, 64}; }));
    EXPECT_TRUE(errors().empty()) << errors();
}

TEST_F(SourceStudio, ImportedFolderIsRemovedOnExit) {
    const Answer a = send("GET", "/api/settings");
    ASSERT_EQ(a.status, 200);
    const fs::path dir = json::parse(a.body)["effectDir"].get<std::string>();
    ASSERT_TRUE(fs::exists(dir / "fx.js")) << dir;
    EXPECT_FALSE(dir.string().rfind(folder.path.string(), 0) == 0) << "imported beside the file";
    TearDown();
    pid = -1;
    EXPECT_FALSE(fs::exists(dir.parent_path())) << dir.parent_path();
}

// The editor's routes on the author's file: the list, a read, saves that
// reload the effect with errors at the file's lines, and refusals of the
// generated files, other files beside it and names outside its folder.
TEST_F(SourceStudio, EditorShowsAndSavesTheSourceFileItself) {
    folder.write("notes.txt", "not read by the import\n");
    const Answer list = send("GET", "/api/sources");
    ASSERT_EQ(list.status, 200) << list.body;
    EXPECT_EQ(json::parse(list.body)["files"],
              json::parse(R"([{"path": "shader.fs", "size": )" + std::to_string(isf("level").size()) + "}]"));
    const Answer read = send("GET", "/api/source?path=shader.fs");
    ASSERT_EQ(read.status, 200) << read.body;
    EXPECT_EQ(read.header("Content-Type"), "application/json");
    EXPECT_EQ(json::parse(read.body)["text"], isf("level"));

    const TempDir elsewhere;
    elsewhere.write("shader.fs", "outside\n");
    const std::string escape = "../" + elsewhere.path.filename().string() + "/shader.fs";
    const auto put = [&](const json& body) { return send("PUT", "/api/source", body.dump(), "application/json"); };
    for (const std::string& path : {std::string("fx.js"), std::string("config.xml"), std::string("notes.txt"),
                                    std::string("missing.fs"), escape, (elsewhere.path / "shader.fs").string()}) {
        EXPECT_EQ(send("GET", "/api/source?path=" + path).status, 403) << path;
        EXPECT_EQ(put({{"path", path}, {"text", "void main() {}\n"}}).status, 403) << path;
    }
    EXPECT_EQ(fileText(elsewhere.path / "shader.fs"), "outside\n");
    EXPECT_EQ(fileText(folder.path / "notes.txt"), "not read by the import\n");

    // A save that breaks line 8 is reported there, and leaves no new file beside it.
    const std::string version = json::parse(read.body)["version"];
    const Answer broken = put({{"path", "shader.fs"}, {"text", isf("levl")}, {"version", version}});
    ASSERT_EQ(broken.status, 200) << broken.body;
    EXPECT_EQ(fileText(folder.path / "shader.fs"), isf("levl"));
    EXPECT_TRUE(eventually([&] { return oneErrorAt("shader.fs", 8, "levl"); })) << errors();
    for (const auto& entry : fs::directory_iterator(folder.path))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();

    // The version read before that save is stale; the fix, with the new one, clears the error.
    EXPECT_EQ(put({{"path", "shader.fs"}, {"text", isf("0.0")}, {"version", version}}).status, 409);
    const Answer fixed =
        put({{"path", "shader.fs"}, {"text", isf("1.0")}, {"version", json::parse(broken.body)["version"]}});
    ASSERT_EQ(fixed.status, 200) << fixed.body;
    EXPECT_TRUE(eventually([&] { return pixel() == std::vector<int>{255, 64, 64}; }));
    EXPECT_TRUE(errors().empty()) << errors();
}

// An ISF shader with a vertex shader beside it and an image it imports.
class SourceVertexStudio : public SourceStudio {
protected:
    std::string prepare() override {
        folder.write("shader.vs", "void main() {\n  isf_vertShaderInit();\n}\n");
        fs::copy_file(studio::kPhotographPath, folder.path / "coffee.png");
        return SourceStudio::prepare();
    }
    std::pair<std::string, std::string> source() const override {
        return {"shader.fs",
                "/*{\"INPUTS\": [], \"IMPORTED\": {\"photo\": {\"PATH\": \"coffee.png\"}}}*/\n"
                "void main() {\n"
                "    gl_FragColor = IMG_NORM_PIXEL(photo, isf_FragNormCoord);\n"
                "}\n"};
    }
};

TEST_F(SourceVertexStudio, EditorListsTheSourceAndItsVertexShaderButNotImages) {
    EXPECT_EQ(pixel().size(), 3u);
    EXPECT_TRUE(errors().empty()) << errors();
    const Answer list = send("GET", "/api/sources");
    ASSERT_EQ(list.status, 200) << list.body;
    std::vector<std::string> paths;
    const json listed = json::parse(list.body);
    for (const json& f : listed["files"]) paths.push_back(f["path"]);
    EXPECT_EQ(paths, (std::vector<std::string>{"shader.fs", "shader.vs"}));
    const Answer read = send("GET", "/api/source?path=shader.vs");
    ASSERT_EQ(read.status, 200) << read.body;
    EXPECT_EQ(json::parse(read.body)["text"], "void main() {\n  isf_vertShaderInit();\n}\n");
    EXPECT_EQ(send("GET", "/api/source?path=coffee.png").status, 415);
}

// A Shadertoy export whose Image pass reads Buffer A.
class ShadertoyStudio : public SourceStudio {
protected:
    std::pair<std::string, std::string> source() const override {
        return {
            "toy.json",
            "{\"Shader\": {\"info\": {\"name\": \"Toy\"}, \"renderpass\": [\n"
            "  {\"type\": \"buffer\", \"name\": \"Buffer A\", \"outputs\": [{\"id\": \"4dXGR8\"}], \"inputs\": [],\n"
            "   \"code\": \"void mainImage(out vec4 c, in vec2 f) { c = vec4(0.2, 0.4, 0.6, 1.0); }\"},\n"
            "  {\"type\": \"image\", \"name\": \"Image\", \"outputs\": [],\n"
            "   \"inputs\": [{\"channel\": 0, \"type\": \"buffer\", \"id\": \"4dXGR8\"}],\n"
            "   \"code\": \"void mainImage(out vec4 c, in vec2 f) {\\n  c = texture(iChannel0, f / "
            "iResolution.xy);\\n}\"}\n"
            "]}}\n"};
    }
};

TEST_F(ShadertoyStudio, ExportIsShownWithItsBuffers) {
    EXPECT_EQ(pixel(), (std::vector<int>{51, 102, 153}));
    EXPECT_TRUE(errors().empty()) << errors();
}

// A Shadertoy shader that cannot be imported at first.
class BrokenStudio : public SourceStudio {
protected:
    std::pair<std::string, std::string> source() const override {
        return {"toy.glsl", "void notMain(out vec4 c, in vec2 f) { c = vec4(1.0); }\n"};
    }
};

TEST_F(BrokenStudio, FailedImportIsReportedAndTheNextSaveRecovers) {
    // The studio runs without an effect and says why.
    EXPECT_TRUE(eventually([&] { return oneErrorAt("toy.glsl", 1, "no mainImage"); })) << errors();
    EXPECT_EQ(send("GET", "/api/frame.png").status, 200);

    save("toy.glsl", "void mainImage(out vec4 c, in vec2 f) {\n  c = vec4(0.0, 1.0, 0.0, 1.0);\n}\n");
    EXPECT_TRUE(eventually([&] { return pixel() == std::vector<int>{0, 255, 0}; }));
    EXPECT_TRUE(errors().empty()) << errors();

    // A broken save keeps the last good import running beside its error.
    save("toy.glsl", "void mainImage(out vec4 c, in vec2 f) {\n  c = vec4(0.0, 1.0, 0.0, 1.0)\n}\n");
    EXPECT_TRUE(eventually([&] { return oneErrorAt("toy.glsl", 3, "syntax error"); })) << errors();
    EXPECT_EQ(pixel(), (std::vector<int>{0, 255, 0}));
}

}  // namespace

namespace {}  // namespace
