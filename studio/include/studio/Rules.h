// The studio server's rules, kept apart from the server so that they can be
// tested alone: who may ask (the token, loopback Host headers, the studio's
// own origin), which files a request may name (inside a root folder, after
// following links), how large requests and images may be, and how the
// page's values, uploaded images and the effect's error text are turned
// into the forms the rest uses.
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

#include "hostsim/Image.h"

namespace studio {

// Request bodies: parameter and settings changes are small JSON objects;
// an uploaded image may be large but not unbounded.
constexpr size_t kMaxJsonBody = 64 * 1024;
constexpr size_t kMaxUploadBody = 64 * 1024 * 1024;
// Frames: no side above this, and no more than this many pixels.
constexpr unsigned kMaxFrameSide = 8192;
constexpr unsigned long long kMaxFramePixels = 4096ull * 4096ull;

// Connections are each served on a thread of their own, at most this many
// at once; more wait for a thread to come free.
constexpr unsigned kMaxConnections = 256;

// Images the studio decodes (uploads, the input it shows): at most this
// many pixels a side and in all, checked in the file's header before any
// pixel is decoded. The largest such image takes 512 MiB as floats.
constexpr unsigned kMaxImageSide = 16384;
constexpr unsigned long long kMaxImagePixels = 1ull << 25;
// Uploads are kept in the working folder until the studio stops: at most
// this many, and this many bytes in all (after scaling, below).
constexpr unsigned kMaxUploads = 64;
constexpr unsigned long long kMaxUploadStorage = 512ull << 20;

// The page sends the token in this header; programs may also send it as the
// query parameter `token` (the printed address does). Never in a cookie:
// cookies ignore ports, so every other server on 127.0.0.1 would receive it
// and any page served there could overwrite it.
constexpr const char* kTokenHeader = "X-Lumivex-Token";

// 32 random hexadecimal digits from the system's random source; throws
// std::runtime_error when there is none.
std::string newToken();
// Equal texts, compared in a time that does not depend on where they differ.
bool sameToken(const std::string& expected, const std::string& given);
// True unless the browser says the request comes from another origin. A
// browser names the page behind a request in `Origin` (on everything but
// same-origin reads) and `Sec-Fetch-Site`: the origin must be the studio's
// own, "http://" + `host` (the Host header, already checked), and the site
// "same-origin", or "none" (the user's own navigation) for GET and HEAD.
// A request with neither comes from a program that is not a browser and
// needs only the token.
bool isSameOrigin(const std::string& method, const std::string& host, const std::string& origin,
                  const std::string& fetchSite);
// True when a Content-Type header names `type` ("application/json"),
// parameters such as "; charset=utf-8" aside, in any letter case.
bool hasMediaType(const std::string& header, const std::string& type);
// True for a Host header naming the loopback interface ("127.0.0.1",
// "localhost", "[::1]") with no port or with `port`. Anything else (a
// domain that resolves to 127.0.0.1 included) is a DNS-rebinding attempt.
bool isLoopbackHost(const std::string& header, int port);

// `relative` resolved inside `root`: the canonical absolute path when it
// names an existing regular file whose real location (links followed) lies
// within root's real location; nothing for absolute names, ".." escapes,
// links out of the root, folders and missing files.
std::optional<std::string> confinedPath(const std::string& root, const std::string& relative);

// Why a file whose leading bytes are `head` must not be decoded, or empty
// when it may: a PNG (IHDR) or OpenEXR (dataWindow) header that declares
// more than kMaxImageSide a side or kMaxImagePixels in all, or that cannot
// be read. Other formats go to the engine's decoder, which checks the same
// limits in their headers before decoding.
std::string imageSizeRefusal(const std::string& head);

// `image` scaled down to fit within width x height, keeping its aspect
// ratio (each side at least 1 pixel), each pixel the area-weighted mean of
// the pixels it covers; an image that fits is returned as it is.
hostsim::Image fitWithin(const hostsim::Image& image, unsigned width, unsigned height);

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
    bool warning = false;  // a compiler warning, not an error
};
// Splits the effect's error text into its reports. A shader report reads
// 'Shader "NAME"' then the compiler's log ("0:LINE(COLUMN): error: ..." or
// "warning: ..."), whose lines are those of NAME.frag; a script report reads
// "Script error in fx.js (load and setup) at line N:" or "Script error in
// FUNCTION() at line N:" with the message on the next line, in fx.js. The
// engine's own line in the composed script (" (line M)" at the end of a
// message) is dropped: N is the author's. So are reports that a function
// is undefined (the engine may cut the report short after the name) when
// the script failed to load, or when it is one the
// effect may leave out (preRender, updateUIFlags).
std::vector<EffectError> parseEffectErrors(const std::string& text);

}  // namespace studio
