#include "package/Registration.h"

namespace package {
namespace {

constexpr uint32_t fourCC(const char (&c)[5]) {
    return (uint32_t(uint8_t(c[0])) << 24) | (uint32_t(uint8_t(c[1])) << 16) | (uint32_t(uint8_t(c[2])) << 8) |
           uint32_t(uint8_t(c[3]));
}

constexpr size_t kMaxPascalString = 255;

class PropertyList {
public:
    PropertyList() {
        putU16(1);
        putU32(0);
        putU32(0);  // count, filled in by bytes()
    }

    void number(const char (&key)[5], uint32_t value) { property(key, 4, value); }

    // A 16-bit value: length 2, data padded to 4.
    void shortNumber(const char (&key)[5], uint16_t value) { property(key, 2, value); }

    // A string with a zero terminator, padded to 4; the length counts the padding.
    void cString(const char (&key)[5], const std::string& text) {
        header(key, uint32_t((text.size() + 4) / 4 * 4));
        bytes.insert(bytes.end(), text.begin(), text.end());
        padTo4AfterZero();
    }

    // A length byte, the characters and a zero terminator, padded to 4; the
    // length counts the padding.
    void pascalString(const char (&key)[5], const std::string& text) {
        header(key, uint32_t((text.size() + 5) / 4 * 4));
        bytes.push_back(uint8_t(text.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
        padTo4AfterZero();
    }

    std::vector<uint8_t> finish() {
        for (int i = 0; i < 4; ++i) bytes[6 + i] = uint8_t(count >> (8 * i));
        return std::move(bytes);
    }

private:
    void putU16(uint16_t v) {
        bytes.push_back(uint8_t(v));
        bytes.push_back(uint8_t(v >> 8));
    }
    void putU32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(v >> (8 * i)));
    }

    void header(const char (&key)[5], uint32_t length) {
        putU32(fourCC("8BIM"));
        putU32(fourCC(key));
        putU32(0);
        putU32(length);
        ++count;
        dataStart = bytes.size();
    }

    void property(const char (&key)[5], uint32_t length, uint32_t value) {
        header(key, length);
        for (uint32_t i = 0; i < length; ++i) bytes.push_back(uint8_t(value >> (8 * i)));
        bytes.resize(dataStart + 4, 0);
    }

    void padTo4AfterZero() {
        bytes.push_back(0);
        bytes.resize(dataStart + (bytes.size() - dataStart + 3) / 4 * 4, 0);
    }

    std::vector<uint8_t> bytes;
    uint32_t count = 0;
    size_t dataStart = 0;
};

void checkPascal(const std::string& text, const char* what) {
    if (text.size() > kMaxPascalString)
        throw ConfigError("config.xml: " + std::string(what) + " is longer than 255 bytes");
}

}  // namespace

RegistrationInfo registrationFromConfig(const ConfigDocument& config) {
    RegistrationInfo info;
    info.name = config.getText(1);
    if (info.name.empty()) throw ConfigError("config.xml: FXNAME is missing or empty");
    info.category = config.get(L"CATEGORY");
    if (info.category.empty()) info.category = kDefaultCategory;
    info.matchName = "ADBE " + info.name;
    checkPascal(info.name, "FXNAME");
    checkPascal(info.category, "CATEGORY");
    checkPascal(info.matchName, "the match name (\"ADBE \" + FXNAME)");

    EffectVersion version = 0;
    config.getVersion(&version);
    info.version = hostVersionWord(version);
    info.outFlags = config.getFlags() | kFixedOutFlags;
    info.outFlags2 = config.getFlags2();
    return info;
}

std::vector<uint8_t> buildRegistration(const RegistrationInfo& info) {
    PropertyList list;
    list.number("kind", fourCC("eFKT"));
    list.pascalString("name", info.name);
    list.pascalString("catg", info.category);
    list.cString("8664", "EntryPointFunc");
    list.number("ePVR", 2);            // property-list version 2.0
    list.number("eSVR", 0x0002000Du);  // effect API 13.2
    list.number("eVER", info.version);
    list.shortNumber("eINF", 0);
    list.number("eGLO", info.outFlags);
    list.number("eGL2", info.outFlags2);
    list.pascalString("eMNA", info.matchName);
    list.number("aeFL", 8);
    return list.finish();
}

}  // namespace package
