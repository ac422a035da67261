#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "TestSupport.h"
#include "package/Pack.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& path) {
    const std::vector<uint8_t> bytes = package::readFileBytes(path.string());
    return std::string(bytes.begin(), bytes.end());
}

std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const package::PackageError& error) {
        return error.what();
    }
    return "<no error>";
}

void writeMinimalPackage(const fs::path& dir) {
    writeFile(dir / "config.xml", "<FXNAME>Round</FXNAME>");
    writeFile(dir / "fx.js", "function setup() {}");
}

TEST(Pack, RoundTripRestoresEveryFileFlat) {
    TempDir source;
    writeMinimalPackage(source.path);
    const std::string binary("\x89PNG\r\n\x1a\n\0\xff", 10);
    writeFile(source.path / "shaders" / "blur.frag", "void main() {}\r\n");
    writeFile(source.path / "images" / "deep" / "logo.png", binary);
    writeFile(source.path / ".hidden", "skipped");
    writeFile(source.path / ".git" / "config", "skipped");

    TempDir target;
    const fs::path out = target.path / "unpacked";
    const fs::path archive = target.path / "round.lxp";
    package::packToFile(source.path.string(), archive.string());
    package::unpackFile(archive.string(), out.string());

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"blur.frag", "config.xml", "fx.js", "logo.png"}));
    EXPECT_EQ(readText(out / "blur.frag"), "void main() {}\r\n");
    EXPECT_EQ(readText(out / "logo.png"), binary);
    EXPECT_EQ(readText(out / "config.xml"), "<FXNAME>Round</FXNAME>");
}

TEST(Pack, SameFilesGiveTheSameArchive) {
    TempDir source;
    writeMinimalPackage(source.path);
    const std::vector<uint8_t> first = package::packDirectory(source.path.string());
    fs::last_write_time(source.path / "fx.js", fs::file_time_type::clock::now() - std::chrono::hours(30));
    EXPECT_EQ(package::packDirectory(source.path.string()), first);
}

TEST(Pack, UnpackableFoldersAreRejectedByName) {
    TempDir dir;
    EXPECT_NE(messageOf([&] { package::packDirectory((dir.path / "none").string()); }).find("is not a folder"),
              std::string::npos);
    writeFile(dir.path / "fx.js", "x");
    EXPECT_NE(messageOf([&] { package::packDirectory(dir.path.string()); }).find("has no config.xml"),
              std::string::npos);
    writeFile(dir.path / "config.xml", "<FXNAME>x</FXNAME>");
    fs::create_symlink(dir.path / "gone.png", dir.path / "dangling.png");
    EXPECT_NE(messageOf([&] { package::packDirectory(dir.path.string()); }).find("dangling.png"), std::string::npos);
    fs::remove(dir.path / "dangling.png");
    // A link may name a file of the folder, never one outside it.
    TempDir elsewhere;
    writeFile(elsewhere.path / "secret.txt", "not the effect's");
    fs::create_symlink(elsewhere.path / "secret.txt", dir.path / "notes.txt");
    const std::string outside = messageOf([&] { package::packDirectory(dir.path.string()); });
    EXPECT_NE(outside.find("notes.txt links to a file outside"), std::string::npos) << outside;
    fs::remove(dir.path / "notes.txt");
    fs::create_symlink(dir.path / "fx.js", dir.path / "again.js");
    EXPECT_NO_THROW(package::packDirectory(dir.path.string()));
    fs::remove(dir.path / "again.js");
    writeFile(dir.path / "a" / "FX.JS", "y");
    const std::string clash = messageOf([&] { package::packDirectory(dir.path.string()); });
    EXPECT_NE(clash.find("FX.JS"), std::string::npos) << clash;
    EXPECT_NE(clash.find("same name"), std::string::npos) << clash;
}

TEST(Pack, UnpackChecksEveryEntryBeforeWritingAnything) {
    TempDir dir;
    const fs::path out = dir.path / "out";
    for (const char* bad : {"../escape.js", "sub/inner.js", "sub\\inner.js", ".."}) {
        SCOPED_TRACE(bad);
        const std::vector<uint8_t> archive =
            package::scrambleArchive(package::zipEntries({{"config.xml", bytesOf("<A/>")}, {bad, bytesOf("evil")}}));
        const std::string message = messageOf([&] { package::unpackArchive(archive, out.string(), "evil.lxp"); });
        EXPECT_NE(message.find("evil.lxp: entry"), std::string::npos) << message;
        EXPECT_FALSE(fs::exists(out));
        EXPECT_FALSE(fs::exists(dir.path / "escape.js"));
    }
}

TEST(Pack, UnpackNeverOverwrites) {
    TempDir source;
    writeMinimalPackage(source.path);
    const std::vector<uint8_t> archive = package::packDirectory(source.path.string());
    TempDir out;
    writeFile(out.path / "fx.js", "mine");
    const std::string message = messageOf([&] { package::unpackArchive(archive, out.path.string(), "p.lxp"); });
    EXPECT_NE(message.find("already exists"), std::string::npos) << message;
    EXPECT_EQ(readText(out.path / "fx.js"), "mine");
    EXPECT_FALSE(fs::exists(out.path / "config.xml"));
}

TEST(Pack, UnpackOfSomethingElseNamesTheFile) {
    TempDir dir;
    writeFile(dir.path / "plain.zip", "PK not really");
    const std::string message =
        messageOf([&] { package::unpackFile((dir.path / "plain.zip").string(), (dir.path / "o").string()); });
    EXPECT_NE(message.find("plain.zip is not an effect package"), std::string::npos) << message;
    EXPECT_NE(
        messageOf([&] { package::unpackFile((dir.path / "missing").string(), dir.path.string()); }).find("cannot open"),
        std::string::npos);
}

}  // namespace
