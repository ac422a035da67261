// Conversions between the engine's narrow text, which is UTF-8 (script
// strings, package entry names, config keys), and wide text in the
// platform's own form (UTF-32 here, UTF-16 on Windows). Nothing depends on
// the process locale.
//
// Errors: none are reported. Decoding accepts the surrogate pairs the script
// engine writes for characters beyond U+FFFF (each half as its own three-byte
// sequence) and joins them; a byte that starts no valid sequence becomes the
// character with that byte's value, so nothing is dropped.
// Threads: pure functions.
#pragma once

#include <optional>
#include <string>

namespace platform {

std::wstring widen(const std::string& utf8);

// Wide text as UTF-8; a lone surrogate or a value beyond U+10FFFF becomes
// U+FFFD.
std::string narrow(const std::wstring& text);

// As narrow, but nothing when the text holds such a unit.
std::optional<std::string> narrowExactly(const std::wstring& text);

}  // namespace platform
