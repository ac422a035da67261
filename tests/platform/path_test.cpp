#include "platform/Path.h"

#include <gtest/gtest.h>

TEST(Path, FinalComponent) {
    EXPECT_STREQ(platform::pathFindFileName("shaders\\blur.frag"), "blur.frag");
    EXPECT_STREQ(platform::pathFindFileName("a/b\\c/FX.JS"), "FX.JS");
    EXPECT_STREQ(platform::pathFindFileName("plain.txt"), "plain.txt");
    EXPECT_STREQ(platform::pathFindFileName("\\lead"), "lead");
    EXPECT_STREQ(platform::pathFindFileName(""), "");
    // A trailing separator keeps the last named component, as the shell does.
    EXPECT_STREQ(platform::pathFindFileName("c:\\dir\\"), "dir\\");
}
