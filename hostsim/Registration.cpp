#include "hostsim/Registration.h"

#include <cstring>

#include "hostsim/Error.h"

namespace hostsim {
namespace {

uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

int16_t readI16(const uint8_t* p) { return int16_t(uint16_t(p[0]) | (uint16_t(p[1]) << 8)); }

std::string keyError(uint32_t key, const std::string& what) {
    return "registration property '" + fourCCText(key) + "' " + what;
}

std::string pascalString(const RegistrationProperty& p) {
    if (p.data.empty()) throw Error(keyError(p.key, "is empty"));
    size_t length = p.data[0];
    if (length + 1 > p.data.size()) throw Error(keyError(p.key, "has a string longer than its data"));
    return std::string(reinterpret_cast<const char*>(p.data.data() + 1), length);
}

std::string cString(const RegistrationProperty& p) {
    const char* text = reinterpret_cast<const char*>(p.data.data());
    size_t length = strnlen(text, p.data.size());
    if (length == p.data.size()) throw Error(keyError(p.key, "is not zero-terminated"));
    return std::string(text, length);
}

uint32_t word(const RegistrationProperty& p) {
    if (p.data.size() < 4) throw Error(keyError(p.key, "is shorter than 4 bytes"));
    return readU32(p.data.data());
}

}  // namespace

std::string fourCCText(uint32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = char((code >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

const RegistrationProperty* Registration::find(uint32_t key) const {
    for (const auto& p : properties)
        if (p.key == key) return &p;
    return nullptr;
}

Registration parseRegistration(const std::vector<uint8_t>& bytes) {
    constexpr size_t kHeader = 10;    // 16-bit version, 32-bit reserved, 32-bit count
    constexpr size_t kPropHead = 16;  // vendor, key, id, length
    if (bytes.size() < kHeader) throw Error("registration resource is shorter than its header");
    if (readI16(bytes.data()) != 1)
        throw Error("registration resource has version " + std::to_string(readI16(bytes.data())) + ", expected 1");
    uint32_t count = readU32(bytes.data() + 6);

    Registration reg;
    size_t at = kHeader;
    for (uint32_t i = 0; i < count; ++i) {
        if (bytes.size() - at < kPropHead)
            throw Error("registration resource ends inside property " + std::to_string(i + 1) + " of " +
                        std::to_string(count));
        RegistrationProperty p;
        p.vendor = readU32(bytes.data() + at);
        p.key = readU32(bytes.data() + at + 4);
        uint32_t length = readU32(bytes.data() + at + 12);
        at += kPropHead;
        size_t padded = (size_t(length) + 3) & ~size_t(3);
        if (bytes.size() - at < length)
            throw Error(keyError(p.key, "claims " + std::to_string(length) + " bytes past the end of the resource"));
        p.data.assign(bytes.begin() + at, bytes.begin() + at + length);
        at += std::min(padded, bytes.size() - at);
        reg.properties.push_back(std::move(p));
    }

    for (const auto& p : reg.properties) {
        switch (p.key) {
            case fourCC("kind"): reg.kind = word(p); break;
            case fourCC("name"): reg.name = pascalString(p); break;
            case fourCC("catg"): reg.category = pascalString(p); break;
            case fourCC("8664"): reg.entryPoint = cString(p); break;
            case fourCC("eMNA"): reg.matchName = pascalString(p); break;
            case fourCC("eVER"): reg.version = word(p); break;
            case fourCC("eGLO"): reg.outFlags = word(p); break;
            case fourCC("eGL2"): reg.outFlags2 = word(p); break;
            case fourCC("eSVR"):
                if (p.data.size() < 4) throw Error(keyError(p.key, "is shorter than 4 bytes"));
                reg.apiMajor = readI16(p.data.data());
                reg.apiMinor = readI16(p.data.data() + 2);
                break;
            default: break;
        }
    }
    return reg;
}

VersionFields splitVersion(uint32_t w) {
    uint32_t major = ((w >> 19) & 0x7) | (((w >> 26) & 0xF) << 3);
    return {major, (w >> 15) & 0xF, (w >> 11) & 0xF, (w >> 9) & 0x3, w & 0x1FF};
}

std::string versionText(uint32_t w) {
    static const char* const stages[] = {"develop", "alpha", "beta", "release"};
    VersionFields v = splitVersion(w);
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.bugFix) + " " +
           stages[v.stage] + " build " + std::to_string(v.build);
}

}  // namespace hostsim
