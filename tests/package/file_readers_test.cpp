#include <gtest/gtest.h>

#include <clocale>

#include "TestSupport.h"
#include "package/FileReaders.h"
#include "platform/FileNames.h"

using namespace testing_support;

namespace {

TEST(FileNames, WindowsNamesBecomeRelativePaths) {
    EXPECT_EQ(platform::localPath("\\blur.frag"), "blur.frag");
    EXPECT_EQ(platform::localPath("\\shaders\\blur.frag"), "shaders/blur.frag");
    EXPECT_EQ(platform::localPath("/\\\\x.png"), "x.png");
    EXPECT_EQ(platform::localPath("a\\b/c"), "a/b/c");
    EXPECT_EQ(platform::localPath("\\"), "");
}

TEST(FileNames, NarrowingFollowsTheLocale) {
    const std::wstring name = L"caf\u00e9.png";
    std::setlocale(LC_CTYPE, "C");
    EXPECT_FALSE(platform::narrowFileName(name).has_value());
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    EXPECT_EQ(platform::narrowFileName(name), std::optional<std::string>("caf\xc3\xa9.png"));
    std::setlocale(LC_CTYPE, "C");
}

TEST(LooseFiles, MissingFilesGivePopaAndAnEmptyArray) {
    TempDir dir;
    CurrentDir inDir(dir.path);
    std::filesystem::create_directory(dir.path / "folder");
    for (const wchar_t* name : {L"config.xml", L"\\nowhere\\fx.js", L"folder", L"", L"caf\u00e9.png"}) {
        EXPECT_EQ(package::loadTextFile(name), "popa");
        EXPECT_TRUE(package::loadBinaryFile(name).empty());
    }
}

TEST(LooseFiles, TextModeReadsCrLfAsLfAndStopsAtNul) {
    TempDir dir;
    CurrentDir inDir(dir.path);
    const std::string content("a\r\nb\rc\r\n\r\nd\0tail\r\n", 18);
    writeFile(dir.path / "shaders" / "t.frag", content);

    EXPECT_EQ(package::loadTextFile(L"\\shaders\\t.frag"), "a\nb\rc\n\nd");
    EXPECT_EQ(package::loadBinaryFile(L"shaders/t.frag"), bytesOf(content));
}

TEST(LooseFiles, EmptyFileIsEmptyNotMissing) {
    TempDir dir;
    CurrentDir inDir(dir.path);
    writeFile(dir.path / "empty.js", "");
    EXPECT_EQ(package::loadTextFile(L"empty.js"), "");
    EXPECT_TRUE(package::loadBinaryFile(L"empty.js").empty());
}

}  // namespace
