#include <gtest/gtest.h>

#include "TestSupport.h"
#include "package/ConfigDocument.h"
#include "package/Registration.h"

using namespace testing_support;

namespace {

// The registration of the default effect, written out byte by byte: keys
// and codes as little-endian numbers ('8BIM' is "MIB8"), strings with a
// zero terminator padded to 4 bytes.
std::vector<uint8_t> expectedDefaultRegistration() {
    const char bytes[] =
        "\x01\x00"
        "\x00\x00\x00\x00"
        "\x0C\x00\x00\x00"
        "MIB8"
        "dnik"
        "\0\0\0\0"
        "\x04\0\0\0"
        "TKFe"
        "MIB8"
        "eman"
        "\0\0\0\0"
        "\x0C\0\0\0"
        "\x07"
        "Vantrel"
        "\0\0\0\0"
        "MIB8"
        "gtac"
        "\0\0\0\0"
        "\x08\0\0\0"
        "\x06"
        "Shader"
        "\0"
        "MIB8"
        "4668"
        "\0\0\0\0"
        "\x10\0\0\0"
        "EntryPointFunc"
        "\0\0"
        "MIB8"
        "RVPe"
        "\0\0\0\0"
        "\x04\0\0\0"
        "\x02\0\0\0"
        "MIB8"
        "RVSe"
        "\0\0\0\0"
        "\x04\0\0\0"
        "\x0D\x00\x02\x00"
        "MIB8"
        "REVe"
        "\0\0\0\0"
        "\x04\0\0\0"
        "\x00\x06\x09\x00"
        "MIB8"
        "FNIe"
        "\0\0\0\0"
        "\x02\0\0\0"
        "\0\0\0\0"
        "MIB8"
        "OLGe"
        "\0\0\0\0"
        "\x04\0\0\0"
        "\x25\x80\x00\x06"
        "MIB8"
        "2LGe"
        "\0\0\0\0"
        "\x04\0\0\0"
        "\x00\x14\x00\x00"
        "MIB8"
        "ANMe"
        "\0\0\0\0"
        "\x10\0\0\0"
        "\x0C"
        "ADBE Vantrel"
        "\0\0\0"
        "MIB8"
        "LFea"
        "\0\0\0\0"
        "\x04\0\0\0"
        "\x08\0\0\0";
    return std::vector<uint8_t>(bytes, bytes + sizeof bytes - 1);
}

TEST(Registration, DefaultPackageGivesTheExpectedPropertyList) {
    package::ConfigDocument config;
    const std::vector<uint8_t> text = package::readFileBytes(LUMIVEX_DEFAULT_PACKAGE "/config.xml");
    config.parse(std::string(text.begin(), text.end()), "config.xml");
    EXPECT_EQ(package::buildRegistration(package::registrationFromConfig(config)), expectedDefaultRegistration());
}

TEST(Registration, ModuleCarriesTheRegistrationOfItsPackage) {
    const std::optional<platform::Resource> found =
        platform::findResource(platform::currentModule(), "PIPL", 16000, 1033);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(std::vector<uint8_t>(found->data, found->data + found->size), expectedDefaultRegistration());
    EXPECT_FALSE(platform::findResource(platform::currentModule(), "PIPL", 16000, 1031).has_value());
}

TEST(Registration, ConfigurationThatCannotBeRegisteredIsRejected) {
    package::ConfigDocument config;
    config.parse("<ABOUT>no name</ABOUT>", "config.xml");
    EXPECT_THROW(package::registrationFromConfig(config), package::ConfigError);
    config.parse("<FXNAME>" + std::string(251, 'x') + "</FXNAME>", "config.xml");
    EXPECT_THROW(package::registrationFromConfig(config), package::ConfigError);  // match name too long
    config.parse("<FXNAME>x</FXNAME><CATEGORY>" + std::string(256, 'c') + "</CATEGORY>", "config.xml");
    EXPECT_THROW(package::registrationFromConfig(config), package::ConfigError);
}

TEST(Registration, FlagsAndVersionFollowGlobalSetup) {
    package::ConfigDocument config;
    config.parse(
        "<FXNAME>Abc</FXNAME><FLAGS>0</FLAGS><FLAGS2>16</FLAGS2><MAJOR_VERSION>9</MAJOR_VERSION>"
        "<MINOR_VERSION>17</MINOR_VERSION><STAGE_VERSION>1</STAGE_VERSION><BUILD_VERSION>600</BUILD_VERSION>",
        "config.xml");
    const package::RegistrationInfo info = package::registrationFromConfig(config);
    EXPECT_EQ(info.outFlags, 0x04008005u);
    EXPECT_EQ(info.outFlags2, 16u);
    EXPECT_EQ(info.version, 0x88258u);
    EXPECT_EQ(info.category, "Shader");
    EXPECT_EQ(info.matchName, "ADBE Abc");
}

}  // namespace
