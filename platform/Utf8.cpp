#include "platform/Utf8.h"

#include <cstdint>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
char32_t joinSurrogates(char32_t high, char32_t low) { return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00); }

// The sequence at `i`, advancing `i` past it: its code point (surrogates
// included), or the lead byte's value when no well-formed sequence starts there.
char32_t decodeOne(const std::string& text, size_t& i) {
    const auto byte = [&](size_t at) { return at < text.size() ? uint8_t(text[at]) : uint8_t(0); };
    const uint8_t lead = byte(i);
    const auto continuation = [&](size_t at) { return (byte(at) & 0xC0) == 0x80; };
    size_t length = 0;
    char32_t c = 0, minimum = 0;
    if (lead < 0x80) {
        length = 1, c = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    }
    for (size_t k = 1; k < length; ++k) {
        if (!continuation(i + k)) {
            length = 0;
            break;
        }
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    if (length == 0 || c < minimum || c > 0x10FFFF) {
        ++i;
        return lead;
    }
    i += length;
    return c;
}

void appendWide(std::wstring& out, char32_t c) {
    if (sizeof(wchar_t) == 2 && c > 0xFFFF) {
        out.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
        out.push_back(static_cast<wchar_t>(c));
    }
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(char(c));
    } else if (c < 0x800) {
        out.push_back(char(0xC0 | (c >> 6)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(char(0xE0 | (c >> 12)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (c >> 18)));
        out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

// UTF-8 of `text`; false (with `out` incomplete) at the first unit that is
// no Unicode scalar value unless `replace`, which writes U+FFFD for it.
bool toUtf8(const std::wstring& text, bool replace, std::string& out) {
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(text[i]);
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(static_cast<char32_t>(text[i + 1]))) {
            c = joinSurrogates(c, static_cast<char32_t>(text[++i]));
        } else if (isHighSurrogate(c) || isLowSurrogate(c) || c > 0x10FFFF) {
            if (!replace) return false;
            c = kReplacement;
        }
        appendUtf8(out, c);
    }
    return true;
}

}  // namespace

std::wstring widen(const std::string& utf8) {
    std::wstring wide;
    wide.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t c = decodeOne(utf8, i);
        if (isHighSurrogate(c)) {
            size_t next = i;
            const char32_t low = next < utf8.size() ? decodeOne(utf8, next) : 0;
            if (isLowSurrogate(low)) {
                c = joinSurrogates(c, low);
                i = next;
            }
        }
        appendWide(wide, c);
    }
    return wide;
}

std::string narrow(const std::wstring& text) {
    std::string out;
    toUtf8(text, true, out);
    return out;
}

std::optional<std::string> narrowExactly(const std::wstring& text) {
    std::string out;
    if (!toUtf8(text, false, out)) return std::nullopt;
    return out;
}

}  // namespace platform
