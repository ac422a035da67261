#include <gtest/gtest.h>

#include <clocale>

#include "TestSupport.h"
#include "package/FileReaders.h"
#include "platform/FileNames.h"
#include "platform/Utf8.h"

using namespace testing_support;

namespace {

TEST(FileNames, WindowsNamesBecomeRelativePaths) {
    EXPECT_EQ(platform::localPath("\\blur.frag"), "blur.frag");
    EXPECT_EQ(platform::localPath("\\shaders\\blur.frag"), "shaders/blur.frag");
    EXPECT_EQ(platform::localPath("/\\\\x.png"), "x.png");
    EXPECT_EQ(platform::localPath("a\\b/c"), "a/b/c");
    EXPECT_EQ(platform::localPath("\\"), "");
}

TEST(FileNames, NamesAreUtf8WhateverTheLocale) {
    std::setlocale(LC_CTYPE, "C");
    EXPECT_EQ(platform::narrowFileName(L"caf\u00e9.png"), std::optional<std::string>("caf\xc3\xa9.png"));
    // A lone surrogate names no file.
    EXPECT_FALSE(platform::narrowFileName(std::wstring(L"a") + wchar_t(0xD800)).has_value());
}

TEST(LooseFiles, NonAsciiNamesAreRead) {
    std::setlocale(LC_CTYPE, "C");
    TempDir dir;
    CurrentDir inDir(dir.path);
    writeFile(dir.path / "caf\xc3\xa9.png", "png");
    writeFile(dir.path / "\xf0\x9f\x98\x80.frag", "frag");
    EXPECT_EQ(package::loadBinaryFile(L"\\caf\u00e9.png"), bytesOf("png"));
    EXPECT_EQ(package::loadTextFile(platform::widen("\xf0\x9f\x98\x80.frag")), "frag");
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
