#include "package/ConfigDocument.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <rapidxml/rapidxml.hpp>

#include "package/FileReaders.h"
#include "platform/FileNames.h"

namespace package {
namespace {

// RapidXML parses nested elements recursively, so a deep enough nesting would
// overflow the stack of the host's thread. Far deeper than any configuration.
constexpr int kMaxNesting = 256;

// Skips past `end` from `p`; the end of the text when it never comes.
const char* skipPast(const char* p, const char* end) {
    const char* found = std::strstr(p, end);
    return found ? found + std::strlen(end) : p + std::strlen(p);
}

// The deepest element nesting of `text`, counted the way RapidXML reads it:
// comments, CDATA sections, processing instructions, document type
// declarations and quoted attribute values are skipped; "</" closes one
// level. It may count more than the parser would, never less.
int deepestNesting(const char* p) {
    int depth = 0, deepest = 0;
    while ((p = std::strchr(p, '<'))) {
        if (std::strncmp(p, "<!--", 4) == 0) {
            p = skipPast(p + 4, "-->");
        } else if (std::strncmp(p, "<![CDATA[", 9) == 0) {
            p = skipPast(p + 9, "]]>");
        } else if (p[1] == '?') {
            p = skipPast(p + 2, "?>");
        } else if (p[1] == '!') {
            int brackets = 0;
            for (++p; *p && (*p != '>' || brackets > 0); ++p) brackets += (*p == '[') - (*p == ']');
        } else if (p[1] == '/') {
            depth -= depth > 0;
            ++p;
        } else {
            char quote = 0, last = 0;
            for (++p; *p && (quote || *p != '>'); ++p) {
                if (quote ? *p == quote : (*p == '"' || *p == '\'')) quote = quote ? 0 : *p;
                last = *p;
            }
            if (last != '/') deepest = std::max(deepest, ++depth);
        }
    }
    return deepest;
}

}  // namespace

struct ConfigDocument::Parsed {
    std::vector<char> text;  // NUL-terminated; the tree points into it
    rapidxml::xml_document<char> document;
};

ConfigDocument::ConfigDocument() : parsed(std::make_unique<Parsed>()) {}

ConfigDocument::~ConfigDocument() = default;

void ConfigDocument::load() { parse(loadTextFile(L"config.xml"), "config.xml"); }

void ConfigDocument::parse(std::string content, const std::string& source) {
    std::vector<char>& text = parsed->text;
    rapidxml::xml_document<char>& document = parsed->document;
    document.clear();
    text.assign(content.begin(), content.end());
    text.push_back('\0');
    if (deepestNesting(text.data()) > kMaxNesting)
        throw ConfigError(source + ": elements nested deeper than " + std::to_string(kMaxNesting) + " levels");
    try {
        document.parse<rapidxml::parse_default>(text.data());
    } catch (const rapidxml::parse_error& error) {
        document.clear();
        const ptrdiff_t offset = error.where<char>() - text.data();
        throw ConfigError(source + ": " + error.what() + " (at byte " + std::to_string(offset) + ")");
    }
}

std::string ConfigDocument::get(const std::wstring& key) const {
    const std::optional<std::string> name = platform::narrowFileName(key);
    if (!name) return {};
    for (const rapidxml::xml_node<char>* node = parsed->document.first_node(); node; node = node->next_sibling()) {
        if (node->type() == rapidxml::node_element && node->name_size() == name->size() &&
            std::memcmp(node->name(), name->data(), name->size()) == 0)
            return std::string(node->value(), node->value_size());
    }
    return {};
}

uint32_t ConfigDocument::getInteger(const std::wstring& key) const {
    const std::string value = get(key);
    // 64-bit conversion so that flag words above 0x7FFFFFFF read the same on
    // every platform, whatever the width of long.
    return uint32_t(std::strtoll(value.c_str(), nullptr, 10));
}

std::string ConfigDocument::getText(uint32_t index) const {
    static const wchar_t* const keys[] = {L"ABOUT", L"FXNAME", L"AGEP_ID"};
    return index < 3 ? get(keys[index]) : std::string();
}

uint32_t ConfigDocument::getFlags() const { return getInteger(L"FLAGS"); }

uint32_t ConfigDocument::getFlags2() const { return getInteger(L"FLAGS2"); }

void ConfigDocument::getVersion(EffectVersion* version) const {
    EffectVersion word = *version;
    word = (word & ~0x3Fu) | (getInteger(L"MAJOR_VERSION") & 0x3Fu);
    word = (word & ~(0xFFu << 6)) | ((getInteger(L"MINOR_VERSION") & 0xFFu) << 6);
    word = (word & ~(0xFFFFu << 14)) | ((getInteger(L"BUILD_VERSION") & 0xFFFFu) << 14);
    word = (word & ~(0x3u << 30)) | (getInteger(L"STAGE_VERSION") << 30);
    *version = word;
}

VersionFields splitVersion(EffectVersion version) {
    return VersionFields{version & 0x3Fu, (version >> 6) & 0xFFu, (version >> 14) & 0xFFFFu, version >> 30};
}

uint32_t hostVersionWord(EffectVersion version) {
    const VersionFields f = splitVersion(version);
    return ((f.major & 7u) << 19) | ((f.minor & 15u) << 15) | ((f.stage & 3u) << 9) | (f.build & 0x1FFu);
}

}  // namespace package
