#include <gtest/gtest.h>

#include <sys/stat.h>

#include <clocale>
#include <future>

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

// Names an effect must not read, whatever lies on disk.
const std::wstring kRefusedNames[] = {
    L"..\\outside\\secret.png",
    L"../outside/secret.png",
    L"inside\\..\\..\\outside\\secret.png",
    L"..",
    std::wstring(L"inside.png\0.jpg", 15),
    std::wstring(L"..\\..\\..\\..\\etc\\passwd\0", 23),
    L"C:\\outside\\secret.png",
    L"inside.png:stream",
};

// An effect folder "effect" beside a folder "outside" holding a secret.
struct Confinement : ::testing::Test {
    Confinement() : inDir((writeFiles(), dir.path / "effect")) {}
    void writeFiles() {
        writeFile(dir.path / "outside" / "secret.png", "secret");
        writeFile(dir.path / "effect" / "inside.png", "inside");
        writeFile(dir.path / "effect" / "Mixed.Frag", "mixed");
        writeFile(dir.path / "effect" / "etc" / "passwd", "own");
    }
    std::filesystem::path effect() const { return dir.path / "effect"; }

    TempDir dir;
    CurrentDir inDir;
};

TEST_F(Confinement, LooseReadsStayInTheEffectFolder) {
    for (const std::wstring& name : kRefusedNames) {
        EXPECT_EQ(package::loadTextFile(name), "popa") << platform::narrow(name);
        EXPECT_TRUE(package::loadBinaryFile(name).empty()) << platform::narrow(name);
    }
    // A leading separator reads from the effect folder, never the root.
    EXPECT_EQ(package::loadTextFile(L"/etc/passwd"), "own");
    EXPECT_EQ(package::loadTextFile(L"\\inside.png"), "inside");
    EXPECT_EQ(package::loadTextFile(L".\\inside.png"), "inside");
}

TEST_F(Confinement, LinksOutOfTheFolderAreRefusedAndLinksInsideFollowed) {
    std::filesystem::create_symlink(dir.path / "outside" / "secret.png", effect() / "out.png");
    std::filesystem::create_directory_symlink(dir.path / "outside", effect() / "outdir");
    std::filesystem::create_symlink("inside.png", effect() / "alias.png");
    std::filesystem::create_directory_symlink(effect(), effect() / "self");
    EXPECT_TRUE(package::loadBinaryFile(L"out.png").empty());
    EXPECT_EQ(package::loadTextFile(L"outdir\\secret.png"), "popa");
    EXPECT_EQ(package::loadTextFile(L"alias.png"), "inside");
    EXPECT_EQ(package::loadTextFile(L"self\\inside.png"), "inside");
}

TEST_F(Confinement, PipesAndFoldersAreNoFilesAndNeverBlock) {
    ASSERT_EQ(mkfifo((effect() / "pipe.png").c_str(), 0600), 0);
    // Opening a pipe without a writer would wait forever; run it aside.
    auto read = std::async(std::launch::async, [] { return package::loadBinaryFile(L"pipe.png"); });
    ASSERT_EQ(read.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "the read blocked on a pipe";
    EXPECT_TRUE(read.get().empty());
    EXPECT_EQ(package::loadTextFile(L"etc"), "popa");
}

TEST_F(Confinement, LetterCaseIsIgnoredWhereTheExactNameIsMissing) {
    EXPECT_EQ(package::loadTextFile(L"mixed.frag"), "mixed");
    EXPECT_EQ(package::loadTextFile(L"ETC\\PASSWD"), "own");
    writeFile(effect() / "mixed.frag", "exact");
    EXPECT_EQ(package::loadTextFile(L"mixed.frag"), "exact");
    EXPECT_EQ(package::loadTextFile(L"MIXED.FRAG"), "mixed");  // the first in byte order
}

// The same names give the same files once the folder is packed.
TEST_F(Confinement, PackagedReadsRefuseAndFindTheSameNames) {
    const std::string secret = "secret";
    package::ArchiveEntries entries = {
        {"inside.png", bytesOf("inside")}, {"Mixed.Frag", bytesOf("mixed")}, {"secret.png", bytesOf(secret)}};
    const TestModule module = moduleWithPackage(entries);
    package::BlobReader::instance().open(module.table);
    ASSERT_TRUE(package::BlobReader::instance().isOpen());
    for (const std::wstring& name : kRefusedNames) {
        EXPECT_TRUE(package::loadBinaryFile(name).empty()) << platform::narrow(name);
    }
    EXPECT_EQ(package::loadTextFile(L"\\inside.png"), "inside");
    EXPECT_EQ(package::loadTextFile(L".\\inside.png"), "inside");
    EXPECT_EQ(package::loadTextFile(L"mixed.frag"), "mixed");
}

TEST(FileNames, EffectFileNamesRefuseEscapes) {
    for (const std::wstring& name : kRefusedNames) EXPECT_FALSE(platform::isEffectFileName(name));
    for (const wchar_t* name : {L"a.png", L"\\shaders\\blur.frag", L"..a.png", L"a..\\b.png", L"./x", L""})
        EXPECT_TRUE(platform::isEffectFileName(name)) << platform::narrow(name);
}

}  // namespace
