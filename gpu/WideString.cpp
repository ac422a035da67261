#include "gpu/WideString.h"

#include <cstdlib>

namespace gpu {

std::wstring widen(const std::string& text) {
    const size_t length = std::mbstowcs(nullptr, text.c_str(), 0);
    if (length == static_cast<size_t>(-1)) {
        std::wstring bytewise;
        for (unsigned char c : text) bytewise += static_cast<wchar_t>(c);
        return bytewise;
    }
    std::wstring wide(length, L'\0');
    std::mbstowcs(wide.data(), text.c_str(), length + 1);
    return wide;
}

std::string narrow(const std::wstring& text) {
    const size_t length = std::wcstombs(nullptr, text.c_str(), 0);
    if (length == static_cast<size_t>(-1)) {
        std::string bytewise;
        for (wchar_t c : text) bytewise += static_cast<char>(c);
        return bytewise;
    }
    std::string result(length, '\0');
    std::wcstombs(result.data(), text.c_str(), length + 1);
    return result;
}

}  // namespace gpu
