#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include "package/BlobReader.h"
#include "package/FileReaders.h"

using namespace testing_support;

namespace {

package::BlobReader& reader() { return package::BlobReader::instance(); }

// Every archive test runs with both zip readers.
class BlobReaderTest : public ::testing::TestWithParam<package::ZipOpener> {
protected:
    void open(const TestModule& module) { reader().open(module.table, GetParam()); }
};

const package::ArchiveEntries kEntries = {
    {"config.xml", bytesOf("<FXNAME>Packed</FXNAME>")},
    {"fx.js", bytesOf("function setup() {}\n")},
    {"shaders/deep.frag", bytesOf("void main() {}")},
    {"caf\xc3\xa9.frag", bytesOf("accent")},
};

TEST_P(BlobReaderTest, OpenedPackageServesTheFileReaders) {
    const TestModule module = moduleWithPackage(kEntries);
    ASSERT_EQ(package::textFileHook, nullptr);
    open(module);

    ASSERT_TRUE(reader().isOpen());
    EXPECT_EQ(package::textFileHook, &package::archiveTextRead);
    EXPECT_EQ(package::binaryFileHook, &package::archiveBinaryRead);
    EXPECT_EQ(package::loadTextFile(L"config.xml"), "<FXNAME>Packed</FXNAME>");
    EXPECT_EQ(package::loadBinaryFile(L"fx.js"), bytesOf("function setup() {}\n"));
    // Open archive, missing entry: empty, never the loose-file "popa".
    EXPECT_EQ(package::loadTextFile(L"missing.frag"), "");
    EXPECT_TRUE(package::loadBinaryFile(L"missing.png").empty());
}

TEST_P(BlobReaderTest, ResourceSizeNotAMultipleOf4StillOpens) {
    package::ArchiveEntries entries = kEntries;
    std::vector<uint8_t> image = package::zipEntries(entries);
    for (int grow = 0; image.size() % 4 == 0; ++grow) {
        entries[1].second.push_back('\n');
        image = package::zipEntries(entries);
        ASSERT_LT(grow, 8);
    }
    const TestModule module = moduleWithBlob(package::scrambleArchive(image));
    open(module);
    ASSERT_TRUE(reader().isOpen());
    EXPECT_EQ(reader().read(L"fx.js"), entries[1].second);
}

TEST_P(BlobReaderTest, UnusableResourcesLeaveTheLooseFilesInForce) {
    const std::vector<uint8_t> image = package::zipEntries(kEntries);
    const std::vector<uint8_t> scrambled = package::scrambleArchive(image);
    const struct {
        const char* what;
        TestModule module;
    } cases[] = {
        {"no resource", TestModule(std::vector<platform::ResourceItem>{})},
        {"resource of another type", TestModule({{11, package::kPackageResourceName, 0, scrambled}})},
        {"empty resource", moduleWithBlob({})},
        {"truncated archive",
         moduleWithBlob(std::vector<uint8_t>(scrambled.begin(), scrambled.begin() + long(scrambled.size() / 2)))},
        {"archive stored unscrambled", moduleWithBlob(image)},
        {"not an archive", moduleWithBlob(package::scrambleArchive(bytesOf("plainly not a zip archive")))},
    };
    TempDir dir;
    writeFile(dir.path / "config.xml", "<FXNAME>Loose</FXNAME>");
    CurrentDir inDir(dir.path);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        open(c.module);
        EXPECT_FALSE(reader().isOpen());
        EXPECT_EQ(package::textFileHook, nullptr);
        EXPECT_EQ(package::binaryFileHook, nullptr);
        EXPECT_TRUE(reader().read(L"config.xml").empty());
        EXPECT_EQ(package::loadTextFile(L"config.xml"), "<FXNAME>Loose</FXNAME>");
    }
}

TEST_P(BlobReaderTest, ReadLooksUpTheFinalComponentIgnoringCase) {
    const TestModule module = moduleWithPackage(kEntries);
    open(module);
    ASSERT_TRUE(reader().isOpen());

    const std::vector<uint8_t> script = bytesOf("function setup() {}\n");
    EXPECT_EQ(reader().read(L"dir\\FX.JS"), script);
    EXPECT_EQ(reader().read(L"a/b\\Fx.Js"), script);
    EXPECT_EQ(reader().read(L"\\fx.js"), script);
    EXPECT_EQ(reader().read(L"\\caf\u00e9.frag"), bytesOf("accent"));  // UTF-8 whatever the locale
    // Entries lie at the root: one stored under a folder is never found.
    EXPECT_TRUE(reader().read(L"deep.frag").empty());
    EXPECT_TRUE(reader().read(L"shaders\\deep.frag").empty());
    EXPECT_TRUE(reader().read(L"fx.j").empty());
    EXPECT_TRUE(reader().read(L"").empty());
    EXPECT_TRUE(reader().read(std::wstring(70000, L'a')).empty());
}

TEST_P(BlobReaderTest, LongestStorableNameIsFoundAndLongerIsNot) {
    const std::string longest(65535, 'n');
    const TestModule module = moduleWithPackage({{longest, bytesOf("x")}});
    open(module);
    ASSERT_TRUE(reader().isOpen());
    EXPECT_EQ(reader().read(std::wstring(65535, L'N')), bytesOf("x"));
    EXPECT_TRUE(reader().read(std::wstring(65536, L'n')).empty());
}

TEST_P(BlobReaderTest, TextReadStopsAtTheFirstNulAndBinaryReadKeepsIt) {
    const std::string content("line one\r\nline\0two", 18);
    const TestModule module = moduleWithPackage({{"fx.js", bytesOf(content)}});
    open(module);
    ASSERT_TRUE(reader().isOpen());
    // Archive text keeps CR LF (no text-mode translation) and stops at NUL.
    EXPECT_EQ(package::loadTextFile(L"fx.js"), "line one\r\nline");
    EXPECT_EQ(package::loadBinaryFile(L"fx.js"), bytesOf(content));
}

TEST_P(BlobReaderTest, LargeDeflatedEntryReadsWhole) {
    std::vector<uint8_t> big(3 * 1024 * 1024 + 17);
    for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t((i / 1000) ^ (i % 7));
    const std::vector<uint8_t> image = package::zipEntries({{"big.bin", big}});
    ASSERT_LT(image.size(), big.size() / 4);  // stored deflated
    const TestModule module = moduleWithBlob(package::scrambleArchive(image));
    open(module);
    EXPECT_EQ(reader().read(L"BIG.BIN"), big);
}

TEST_P(BlobReaderTest, SecondOpenKeepsTheOpenArchive) {
    const TestModule first = moduleWithPackage(kEntries);
    open(first);
    ASSERT_TRUE(reader().isOpen());
    {
        const TestModule second = moduleWithPackage({{"fx.js", bytesOf("second")}});
        open(second);
    }
    EXPECT_EQ(package::loadTextFile(L"fx.js"), "function setup() {}\n");
}

// Stored entries: one damaged, one intact.
TEST_P(BlobReaderTest, EntryFailingItsCrcReadsEmpty) {
    const std::string content = "stored entry content, long enough to find";
    std::vector<uint8_t> image = package::zipEntries({{"a.txt", bytesOf(content)}, {"b.txt", bytesOf("fine")}}, false);
    const auto at = std::search(image.begin(), image.end(), content.begin(), content.end());
    ASSERT_NE(at, image.end());
    *at ^= 0x20;
    const TestModule damaged = moduleWithBlob(package::scrambleArchive(image));
    open(damaged);
    ASSERT_TRUE(reader().isOpen());
    EXPECT_TRUE(reader().read(L"a.txt").empty());
    EXPECT_EQ(reader().read(L"b.txt"), bytesOf("fine"));
}

INSTANTIATE_TEST_SUITE_P(ZipReaders, BlobReaderTest,
                         ::testing::Values(&package::openLibzipReader, &package::openInflateReader),
                         [](const ::testing::TestParamInfo<package::ZipOpener>& info) {
                             return info.param == &package::openLibzipReader ? "Libzip" : "Inflate";
                         });

TEST(BlobReader, OpensThePackageOfItsOwnModule) {
    // This test program carries the default package's resource table.
    reader().open(platform::currentModule());
    ASSERT_TRUE(reader().isOpen());
    const std::vector<uint8_t> onDisk = package::readFileBytes(LUMIVEX_DEFAULT_PACKAGE "/fx.js");
    EXPECT_EQ(package::loadBinaryFile(L"shaders\\fx.js"), onDisk);
}

TEST(BlobReader, AnotherModulesHandleFindsNoPackage) {
    reader().open(platform::moduleOf(reinterpret_cast<const void*>(&std::free)));
    EXPECT_FALSE(reader().isOpen());
    reader().open(nullptr);
    EXPECT_FALSE(reader().isOpen());
}

}  // namespace
