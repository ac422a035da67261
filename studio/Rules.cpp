#include "studio/Rules.h"

#include "sdk/PF_Effect.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace studio {

namespace fs = std::filesystem;

std::string newToken() {
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            throw std::runtime_error(std::string("no random source for the access token: ") + std::strerror(errno));
        got += size_t(n);
    }
    std::string token;
    char hex[3];
    for (unsigned char b : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        token += hex;
    }
    return token;
}

bool sameToken(const std::string& expected, const std::string& given) {
    if (expected.empty() || given.size() != expected.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < expected.size(); ++i) diff |= static_cast<unsigned char>(expected[i] ^ given[i]);
    return diff == 0;
}

namespace {

std::string lowered(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

bool isSameOrigin(const std::string& method, const std::string& host, const std::string& origin,
                  const std::string& fetchSite) {
    if (!origin.empty() && lowered(origin) != "http://" + lowered(host)) return false;
    if (fetchSite.empty() || fetchSite == "same-origin") return true;
    return fetchSite == "none" && (method == "GET" || method == "HEAD");
}

bool hasMediaType(const std::string& header, const std::string& type) {
    std::string media = header.substr(0, header.find(';'));
    const size_t first = media.find_first_not_of(" \t");
    if (first == std::string::npos) return false;
    media = media.substr(first, media.find_last_not_of(" \t") + 1 - first);
    return lowered(media) == lowered(type);
}

bool isLoopbackHost(const std::string& header, int port) {
    std::string name = header, portText;
    size_t colon = header.rfind(':');
    // The port follows the last colon, except inside the brackets of [::1].
    if (colon != std::string::npos && header.find(']', colon) == std::string::npos) {
        name = header.substr(0, colon);
        portText = header.substr(colon + 1);
        if (portText != std::to_string(port)) return false;
    }
    name = lowered(name);
    return name == "127.0.0.1" || name == "localhost" || name == "[::1]";
}

std::optional<std::string> confinedPath(const std::string& root, const std::string& relative) {
    if (root.empty() || relative.empty() || relative.find('\0') != std::string::npos) return std::nullopt;
    const fs::path rel(relative);
    if (rel.is_absolute() || rel.has_root_name()) return std::nullopt;
    std::error_code ec;
    const fs::path realRoot = fs::canonical(root, ec);
    if (ec) return std::nullopt;
    const fs::path target = fs::canonical(realRoot / rel, ec);
    if (ec || !fs::is_regular_file(target, ec)) return std::nullopt;
    // Component-wise: "/a/bc" is not inside "/a/b".
    auto r = realRoot.begin();
    auto t = target.begin();
    for (; r != realRoot.end(); ++r, ++t)
        if (t == target.end() || *r != *t) return std::nullopt;
    return target.string();
}

namespace {

uint32_t bigEndian32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

int32_t littleEndian32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (size_t i = 4; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return int32_t(v);
}

std::string sizeRefusal(long long width, long long height) {
    if (width <= 0 || height <= 0) return "the header declares an empty image";
    if (width > kMaxImageSide || height > kMaxImageSide || width * height > (long long)kMaxImagePixels)
        return "the header declares " + std::to_string(width) + "x" + std::to_string(height) +
               " pixels; images are limited to " + std::to_string(kMaxImageSide) + " pixels a side and " +
               std::to_string(kMaxImagePixels) + " pixels in all";
    return "";
}

// The OpenEXR header is a list of attributes (name, type, byte count, value)
// ended by an empty name; the image's extent is the box2i "dataWindow".
std::string exrRefusal(const std::string& head) {
    size_t at = 8;
    auto text = [&](std::string& out) {
        const size_t end = head.find('\0', at);
        if (end == std::string::npos) return false;
        out = head.substr(at, end - at);
        at = end + 1;
        return true;
    };
    for (;;) {
        std::string name, type;
        if (!text(name) || name.empty() || !text(type) || head.size() - at < 4) break;
        const int32_t size = littleEndian32(head, at);
        at += 4;
        if (size < 0 || head.size() - at < size_t(size)) break;
        if (name == "dataWindow" && type == "box2i" && size == 16) {
            const long long xMin = littleEndian32(head, at), yMin = littleEndian32(head, at + 4);
            const long long xMax = littleEndian32(head, at + 8), yMax = littleEndian32(head, at + 12);
            return sizeRefusal(xMax - xMin + 1, yMax - yMin + 1);
        }
        at += size_t(size);
    }
    return "the OpenEXR header declares no data window where it should";
}

struct Tap {
    uint32_t from;
    float weight;
};

// For each of `to` output positions, the input positions among `from` it
// covers and the share of it each one covers.
std::vector<std::vector<Tap>> areaTaps(uint32_t from, uint32_t to) {
    std::vector<std::vector<Tap>> taps(to);
    const double scale = double(from) / to;
    for (uint32_t o = 0; o < to; ++o) {
        const double begin = o * scale, end = (o + 1) * scale;
        for (uint32_t i = uint32_t(begin); i < from && i < end; ++i) {
            const double covered = std::min(end, i + 1.0) - std::max(begin, double(i));
            if (covered > 0) taps[o].push_back({i, float(covered / scale)});
        }
    }
    return taps;
}

}  // namespace

std::string imageSizeRefusal(const std::string& head) {
    static const char kPng[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
    static const char kExr[4] = {'\x76', '\x2f', '\x31', '\x01'};
    if (head.compare(0, 8, kPng, 8) == 0) {
        if (head.size() < 24 || head.compare(12, 4, "IHDR") != 0) return "the PNG header is damaged";
        return sizeRefusal(bigEndian32(head, 16), bigEndian32(head, 20));
    }
    if (head.compare(0, 4, kExr, 4) == 0) return exrRefusal(head);
    return "";
}

hostsim::Image fitWithin(const hostsim::Image& image, unsigned width, unsigned height) {
    const double scale = std::min(double(width) / image.width, double(height) / image.height);
    if (scale >= 1 || image.width == 0 || image.height == 0) return image;
    const hostsim::Image floats = image.isEightBit() ? hostsim::asFloat(image) : hostsim::Image();
    const hostsim::Image& source = image.isEightBit() ? floats : image;
    const uint32_t w = std::max(1u, uint32_t(std::lround(image.width * scale)));
    const uint32_t h = std::max(1u, uint32_t(std::lround(image.height * scale)));
    // Rows first, then columns: each pass averages along one axis.
    const auto across = areaTaps(image.width, w), down = areaTaps(image.height, h);
    hostsim::Image rows(w, image.height), out(w, h);
    for (uint32_t y = 0; y < image.height; ++y)
        for (uint32_t x = 0; x < w; ++x)
            for (const Tap& t : across[x])
                for (int c = 0; c < 4; ++c) rows.pixel(x, y)[c] += t.weight * source.pixel(t.from, y)[c];
    for (uint32_t y = 0; y < h; ++y)
        for (const Tap& t : down[y])
            for (uint32_t x = 0; x < w; ++x)
                for (int c = 0; c < 4; ++c) out.pixel(x, y)[c] += t.weight * rows.pixel(x, t.from)[c];
    return out;
}

void markCollapsedGroups(nlohmann::json& info, const std::function<uint32_t(int index)>& flagsOf) {
    if (!info.contains("parameters")) return;
    for (nlohmann::json& p : info["parameters"])
        if (p.value("type", "") == "group-start")
            p["collapsed"] = (flagsOf(p.value("index", 0)) & PF_ParamFlag_START_COLLAPSED) != 0;
}

std::string paramText(const nlohmann::json& value) {
    if (value.is_boolean()) return value.get<bool>() ? "true" : "false";
    if (value.is_string()) return value.get<std::string>();
    if (value.is_number_integer()) return std::to_string(value.get<long long>());
    if (value.is_number()) {
        std::ostringstream s;
        s.precision(17);
        s << value.get<double>();
        return s.str();
    }
    if (value.is_array() && !value.empty()) {
        std::string text;
        for (const nlohmann::json& v : value) {
            if (!v.is_number()) throw std::invalid_argument("array values must hold numbers only");
            text += (text.empty() ? "" : ",") + paramText(v);
        }
        return text;
    }
    throw std::invalid_argument("a value must be a number, true/false, a text or an array of numbers");
}

std::vector<EffectError> parseEffectErrors(const std::string& text) {
    static const std::regex shader(R"(^Shader \"([^\"]+)\"\s*$)");
    static const std::regex compilerLine(R"(^\d+:(\d+)\(\d+\): (.*)$)");
    static const std::regex script(R"(^Script error in (fx\.js \(load and setup\)|\S+\(\))(?: at line (\d+))?:\s*$)");
    static const std::regex composedLine(R"(\s*\(line \d+\)\s*$)");
    static const std::regex undefinedFunction(R"(^in (\w+)\(\): ReferenceError: identifier '(\w+)'(?: undefined)?$)");
    std::vector<EffectError> errors;
    std::istringstream lines(text);
    std::string line, shaderFile;
    bool scriptPending = false;
    std::smatch m;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (std::regex_match(line, m, shader)) {
            shaderFile = m[1].str() + ".frag";
            scriptPending = false;
        } else if (std::regex_match(line, m, script)) {
            errors.push_back({"fx.js", m[2].matched ? std::stoi(m[2].str()) : 0, "in " + m[1].str()});
            shaderFile.clear();
            scriptPending = true;
        } else if (scriptPending) {
            errors.back().message += ": " + std::regex_replace(line, composedLine, "");
            scriptPending = false;
        } else if (!shaderFile.empty() && std::regex_match(line, m, compilerLine)) {
            errors.push_back({shaderFile, std::stoi(m[1].str()), m[2].str(), m[2].str().rfind("warning", 0) == 0});
        } else if (!shaderFile.empty() && line.rfind("Shader compilation failed", 0) != 0 &&
                   line.rfind("Program linking failed", 0) != 0) {
            errors.push_back({shaderFile, 0, line});
        } else if (shaderFile.empty()) {
            errors.push_back({"", 0, line});
        }
    }
    const bool loadFailed = std::any_of(errors.begin(), errors.end(), [](const EffectError& e) {
        return e.message.rfind("in fx.js (load and setup)", 0) == 0;
    });
    errors.erase(std::remove_if(errors.begin(), errors.end(),
                                [&](const EffectError& e) {
                                    std::smatch u;
                                    return std::regex_match(e.message, u, undefinedFunction) && u[1] == u[2] &&
                                           (loadFailed || u[1] == "preRender" || u[1] == "updateUIFlags");
                                }),
                 errors.end());
    return errors;
}

}  // namespace studio
