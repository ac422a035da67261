// The effect configuration: the top-level elements of the package's
// config.xml, each named after a key and holding its value as text.
//
// Errors: load/parse throw ConfigError ("config.xml: expected <") for text
// that is not well-formed XML; the accessors never throw. A missing or empty
// key reads as an empty text or 0.
// Ownership: the document owns its text; the parser works in place on it.
// Threads: none of its own; the effect object uses it under the entry lock.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

// The configuration's packed version word: major bits 0-5, minor 6-13,
// build 14-29, stage 30-31.
using EffectVersion = uint32_t;

namespace package {

class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ConfigDocument {
public:
    ConfigDocument();
    ~ConfigDocument();
    ConfigDocument(const ConfigDocument&) = delete;
    ConfigDocument& operator=(const ConfigDocument&) = delete;

    // Reads "config.xml" through loadTextFile and parses it.
    void load();
    // Parses `text`; `source` names it in errors. Replaces any earlier content.
    void parse(std::string text, const std::string& source);

    // The value of the first top-level element named exactly `key`; empty
    // when there is none or it has no value.
    std::string get(const std::wstring& key) const;
    // `key` as a strtol-style decimal integer (0 when it has no digits),
    // truncated to 32 bits.
    uint32_t getInteger(const std::wstring& key) const;

    // 0: "ABOUT", 1: "FXNAME", 2: "AGEP_ID"; any other index: empty.
    std::string getText(uint32_t index) const;
    uint32_t getFlags() const;   // "FLAGS"
    uint32_t getFlags2() const;  // "FLAGS2"
    // Sets every bit of *version from the four version keys.
    void getVersion(EffectVersion* version) const;

private:
    struct Parsed;  // the text and the RapidXML tree parsed in place in it
    std::unique_ptr<Parsed> parsed;
};

// The fields of an EffectVersion.
struct VersionFields {
    uint32_t major, minor, build, stage;
};
VersionFields splitVersion(EffectVersion version);

// The version word in the host's layout, as global setup reports it:
// (major & 7) << 19 | (minor & 15) << 15 | (stage & 3) << 9 | (build & 0x1FF).
uint32_t hostVersionWord(EffectVersion version);

}  // namespace package
