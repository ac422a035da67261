// Conversions between narrow and wide strings by the C library's multi-byte
// rules of the current locale. A sequence that does not convert is carried
// byte by byte (each byte or wide character as one unit), so nothing is lost.
#pragma once

#include <string>

namespace gpu {

std::wstring widen(const std::string& text);
std::string narrow(const std::wstring& text);

}  // namespace gpu
