// The studio server's rules, kept apart from the server so that they can be
// tested alone: who may ask (token, then cookie; loopback Host headers
// only), which files a request may name (inside a root folder, after
// following links), how large requests may be, and how the page's values
// and the effect's error text are turned into the forms the rest uses.
//
// Pure functions: no state, no threads, no I/O except the file-system
// lookups of confinedPath. Nothing throws except where noted.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace studio {

// Request bodies: parameter and settings changes are small JSON objects;
// an uploaded image may be large but not unbounded.
constexpr size_t kMaxJsonBody = 64 * 1024;
constexpr size_t kMaxUploadBody = 64 * 1024 * 1024;
// Frames: no side above this, and no more than this many pixels.
constexpr unsigned kMaxFrameSide = 8192;
constexpr unsigned long long kMaxFramePixels = 4096ull * 4096ull;

// The name of the cookie that carries the token after the first request.
constexpr const char* kCookieName = "lumivex_studio";

// 32 random hexadecimal digits from the system's random source; throws
// std::runtime_error when there is none.
std::string newToken();
// Equal texts, compared in a time that does not depend on where they differ.
bool sameToken(const std::string& expected, const std::string& given);
// The value of cookie `name` in a Cookie header ("a=1; b=2"), or empty.
std::string cookieValue(const std::string& header, const std::string& name);
// True for a Host header naming the loopback interface ("127.0.0.1",
// "localhost", "[::1]") with no port or with `port`. Anything else (a
// domain that resolves to 127.0.0.1 included) is a DNS-rebinding attempt.
bool isLoopbackHost(const std::string& header, int port);

// `relative` resolved inside `root`: the canonical absolute path when it
// names an existing regular file whose real location (links followed) lies
// within root's real location; nothing for absolute names, ".." escapes,
// links out of the root, folders and missing files.
std::optional<std::string> confinedPath(const std::string& root, const std::string& relative);

// A value of PUT /api/params in the text form that --param takes: numbers
// as they are, true/false, arrays as comma-separated numbers, strings
// unchanged. Throws std::invalid_argument for objects, null and nested or
// non-numeric arrays.
std::string paramText(const nlohmann::json& value);

// Marks every "group-start" entry of the effect description (`info`, as
// `info --json` writes it) with "collapsed": true when the host parameter
// flags that `flagsOf(index)` gives carry PF_ParamFlag_START_COLLAPSED,
// false otherwise, so that the page opens those groups folded.
void markCollapsedGroups(nlohmann::json& info, const std::function<uint32_t(int index)>& flagsOf);

// One error the effect reported, split into the file and line it names
// (line 0 and an empty file when the text names none).
struct EffectError {
    std::string file;
    int line = 0;
    std::string message;
};
// Splits the effect's error text into its reports. A shader report reads
// 'Shader "NAME"' then the compiler's log ("0:LINE(COLUMN): error: ..."),
// whose lines are those of NAME.frag; a script report reads "Script error
// in fx.js (load and setup) at line N:" or "Script error in FUNCTION() at
// line N:" with the message on the next line, in fx.js.
std::vector<EffectError> parseEffectErrors(const std::string& text);

}  // namespace studio
