#include "platform/Utf8.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/FileNames.h"

TEST(Utf8, ConvertsWithoutLossAndJoinsScriptSurrogatePairs) {
    // U+00E9, U+20AC and U+1F600 in UTF-8.
    const std::string text = "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
    const std::wstring wide = platform::widen(text);
    std::wstring expected = {wchar_t(0xE9), wchar_t(0x20AC)};
    if (sizeof(wchar_t) == 2) {
        expected += {wchar_t(0xD83D), wchar_t(0xDE00)};
    } else {
        expected += wchar_t(0x1F600);
    }
    EXPECT_EQ(wide, expected);
    EXPECT_EQ(platform::narrow(wide), text);
    // The script engine writes U+1F600 as two three-byte surrogate halves.
    EXPECT_EQ(platform::widen("\xed\xa0\xbd\xed\xb8\x80"), platform::widen("\xf0\x9f\x98\x80"));
    // Bytes that start no sequence (a stray continuation byte, a truncated
    // sequence, an overlong form) are kept as the characters of their value.
    EXPECT_EQ(platform::widen("a\x80z\xc3"), std::wstring({L'a', wchar_t(0x80), L'z', wchar_t(0xC3)}));
    EXPECT_EQ(platform::widen("\xc0\xaf"), std::wstring({wchar_t(0xC0), wchar_t(0xAF)}));
    // A lone surrogate narrows to U+FFFD, or to nothing when exactness is asked.
    const std::wstring lone = {L'x', wchar_t(0xDC00)};
    EXPECT_EQ(platform::narrow(lone), "x\xef\xbf\xbd");
    EXPECT_FALSE(platform::narrowExactly(lone).has_value());
}

TEST(Utf8, NonAsciiFileNamesOpen) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / "lumivex-utf8-test";
    fs::create_directories(folder);
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    // U+00E9 and U+1F600 in a name made through the file system's own API.
    std::ofstream(fs::u8path("caf\xc3\xa9\xf0\x9f\x98\x80.txt")) << "x";
    std::FILE* file = platform::openForReading(L"\\" + platform::widen("caf\xc3\xa9\xf0\x9f\x98\x80.txt"));
    EXPECT_NE(file, nullptr);
    if (file) std::fclose(file);
    fs::current_path(previous);
    fs::remove_all(folder);
}
