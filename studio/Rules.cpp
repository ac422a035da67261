#include "studio/Rules.h"

#include "sdk/PF_Effect.h"

#include <sys/random.h>

#include <cerrno>
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
        if (n <= 0) throw std::runtime_error(std::string("no random source for the access token: ") + std::strerror(errno));
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

std::string cookieValue(const std::string& header, const std::string& name) {
    size_t pos = 0;
    while (pos < header.size()) {
        size_t end = header.find(';', pos);
        if (end == std::string::npos) end = header.size();
        std::string part = header.substr(pos, end - pos);
        size_t first = part.find_first_not_of(' ');
        if (first != std::string::npos) part.erase(0, first);
        size_t eq = part.find('=');
        if (eq != std::string::npos && part.compare(0, eq, name) == 0 && eq == name.size()) {
            std::string value = part.substr(eq + 1);
            value.erase(value.find_last_not_of(' ') + 1);
            return value;
        }
        pos = end + 1;
    }
    return "";
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
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
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

void markCollapsedGroups(nlohmann::json& info, const std::function<uint32_t(int index)>& flagsOf) {
    if (!info.contains("parameters")) return;
    for (nlohmann::json& p : info["parameters"])
        if (p.value("type", "") == "group-start") p["collapsed"] = (flagsOf(p.value("index", 0)) & PF_ParamFlag_START_COLLAPSED) != 0;
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
            errors.back().message += ": " + line;
            scriptPending = false;
        } else if (!shaderFile.empty() && std::regex_match(line, m, compilerLine)) {
            errors.push_back({shaderFile, std::stoi(m[1].str()), m[2].str()});
        } else if (!shaderFile.empty() && line.rfind("Shader compilation failed", 0) != 0 &&
                   line.rfind("Program linking failed", 0) != 0) {
            errors.push_back({shaderFile, 0, line});
        } else if (shaderFile.empty()) {
            errors.push_back({"", 0, line});
        }
    }
    return errors;
}

}  // namespace studio
