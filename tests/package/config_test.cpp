#include <gtest/gtest.h>

#include "TestSupport.h"
#include "package/ConfigDocument.h"

using namespace testing_support;

namespace {

class Config : public ::testing::Test {
protected:
    void parse(const std::string& text) { config.parse(text, "config.xml"); }
    package::ConfigDocument config;
};

TEST_F(Config, IntegersReadLikeStrtol) {
    parse(
        "<FLAGS>  12abc</FLAGS><FLAGS2>-1</FLAGS2><MAJOR_VERSION>+7</MAJOR_VERSION>"
        "<MINOR_VERSION>abc</MINOR_VERSION><BUILD_VERSION></BUILD_VERSION>");
    EXPECT_EQ(config.getFlags(), 12u);
    EXPECT_EQ(config.getFlags2(), 0xFFFFFFFFu);
    EXPECT_EQ(config.getInteger(L"MAJOR_VERSION"), 7u);
    EXPECT_EQ(config.getInteger(L"MINOR_VERSION"), 0u);
    EXPECT_EQ(config.getInteger(L"BUILD_VERSION"), 0u);
    EXPECT_EQ(config.getInteger(L"STAGE_VERSION"), 0u);
}

TEST_F(Config, FlagWordsAboveTheSignedRangeKeepEveryBit) {
    parse("<FLAGS>2147483648</FLAGS><FLAGS2>4294967295</FLAGS2>");
    EXPECT_EQ(config.getFlags(), 0x80000000u);
    EXPECT_EQ(config.getFlags2(), 0xFFFFFFFFu);
}

TEST_F(Config, OnlyTheFirstTopLevelElementWithTheExactNameCounts) {
    parse(
        "<OUTER><FXNAME>nested</FXNAME></OUTER>"
        "<flags>5</flags><FLAGS>3</FLAGS><FLAGS>9</FLAGS>"
        "<FXNAME>first</FXNAME><FXNAME>second</FXNAME><FXNAMES>longer</FXNAMES>");
    EXPECT_EQ(config.getText(1), "first");
    EXPECT_EQ(config.getFlags(), 3u);
    EXPECT_EQ(config.get(L"flags"), "5");
    EXPECT_EQ(config.get(L"FXNAM"), "");
}

TEST_F(Config, TextsByIndex) {
    parse(
        "\xEF\xBB\xBF<?xml version=\"1.0\"?><!-- about -->\n"
        "<ABOUT>Tom &amp; Jerry\n  line two</ABOUT><FXNAME>Fx</FXNAME><AGEP_ID>Reg</AGEP_ID><EMPTY/>");
    EXPECT_EQ(config.getText(0), "Tom & Jerry\n  line two");
    EXPECT_EQ(config.getText(1), "Fx");
    EXPECT_EQ(config.getText(2), "Reg");
    EXPECT_EQ(config.getText(3), "");
    EXPECT_EQ(config.get(L"EMPTY"), "");
    EXPECT_EQ(config.get(L"\u00c9T\u00c9"), "");
}

TEST_F(Config, VersionFieldsAreCutToTheirWidths) {
    parse(
        "<MAJOR_VERSION>65</MAJOR_VERSION><MINOR_VERSION>258</MINOR_VERSION>"
        "<BUILD_VERSION>65537</BUILD_VERSION><STAGE_VERSION>5</STAGE_VERSION>");
    EffectVersion version = 0xFFFFFFFFu;  // every bit is rewritten
    config.getVersion(&version);
    const package::VersionFields fields = package::splitVersion(version);
    EXPECT_EQ(fields.major, 1u);
    EXPECT_EQ(fields.minor, 2u);
    EXPECT_EQ(fields.build, 1u);
    EXPECT_EQ(fields.stage, 1u);
    EXPECT_EQ(version, 1u | (2u << 6) | (1u << 14) | (1u << 30));
}

TEST_F(Config, HostVersionWordOfTheConfiguredVersion) {
    parse(
        "<MAJOR_VERSION>9</MAJOR_VERSION><MINOR_VERSION>17</MINOR_VERSION>"
        "<STAGE_VERSION>1</STAGE_VERSION><BUILD_VERSION>600</BUILD_VERSION>");
    EffectVersion version = 0;
    config.getVersion(&version);
    EXPECT_EQ(package::hostVersionWord(version), 0x88258u);
}

TEST_F(Config, EmptyTextReadsAsEmptyKeys) {
    parse("");
    EXPECT_EQ(config.getText(0), "");
    EXPECT_EQ(config.getFlags(), 0u);
    EffectVersion version = 0xFFFFFFFFu;
    config.getVersion(&version);
    EXPECT_EQ(version, 0u);
}

TEST_F(Config, MalformedXmlThrowsNamingTheFileAndTheReason) {
    EXPECT_THROW(
        {
            try {
                parse("popa");
            } catch (const package::ConfigError& error) {
                EXPECT_STREQ(error.what(), "config.xml: expected < (at byte 0)");
                throw;
            }
        },
        package::ConfigError);
    for (const char* text : {"<FLAGS>1</FLAGS", "<FLAGS>1", "<FLAGS a=>1</FLAGS>", "<A>&#xFFFFFFFFF;</A>"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(parse(text), package::ConfigError);
    }
    // A failed parse leaves nothing of the earlier document.
    parse("<FLAGS>4</FLAGS>");
    EXPECT_THROW(parse("<FLAGS>5"), package::ConfigError);
    EXPECT_EQ(config.getFlags(), 0u);
}

TEST_F(Config, DeepNestingIsRejectedInsteadOfOverflowingTheStack) {
    auto repeat = [](const std::string& piece, int times) {
        std::string text;
        for (int i = 0; i < times; ++i) text += piece;
        return text;
    };
    parse(repeat("<a>", 255) + "<FLAGS>1</FLAGS>" + repeat("</a>", 255) + "<FLAGS>7</FLAGS>");  // 256 levels
    EXPECT_EQ(config.getFlags(), 7u);

    // Closing tags hidden where the parser does not read them do not count.
    for (const std::string& hidden : {std::string("<!-- </a> -->"), std::string("<![CDATA[</a>]]>"),
                                      std::string("<?pi </a> ?>"), std::string("<b t='</a>'/>")}) {
        SCOPED_TRACE(hidden);
        try {
            parse(repeat("<a>" + hidden, 300));
            FAIL() << "nesting of 300 accepted";
        } catch (const package::ConfigError& error) {
            EXPECT_NE(std::string(error.what()).find("config.xml: elements nested deeper than 256"), std::string::npos)
                << error.what();
        }
    }
    EXPECT_THROW(parse(repeat("<a>", 1000000)), package::ConfigError);
}

TEST(ConfigLoad, WithoutPackageOrFileInitialisationFails) {
    TempDir dir;
    CurrentDir inDir(dir.path);
    package::ConfigDocument config;
    try {
        config.load();
        FAIL() << "load of a missing config.xml succeeded";
    } catch (const package::ConfigError& error) {
        EXPECT_NE(std::string(error.what()).find("config.xml: expected <"), std::string::npos);
    }
}

TEST(ConfigLoad, ReadsTheLooseFile) {
    TempDir dir;
    writeFile(dir.path / "config.xml", "<FXNAME>Loose</FXNAME>\r\n<FLAGS>8</FLAGS>\r\n");
    CurrentDir inDir(dir.path);
    package::ConfigDocument config;
    config.load();
    EXPECT_EQ(config.getText(1), "Loose");
    EXPECT_EQ(config.getFlags(), 8u);
}

}  // namespace
