#include "HostSupport.h"

#include <cstring>

namespace host {

namespace {

constexpr int16_t kApiMajor = 13;

// The version pair is unsigned 16-bit on the module's side.
uint16_t apiMajor(const PF_InData* in_data) { return static_cast<uint16_t>(in_data->version.major); }
uint16_t apiMinor(const PF_InData* in_data) { return static_cast<uint16_t>(in_data->version.minor); }

}  // namespace

bool isPremiereHost(const PF_InData* in_data) { return in_data->appl_id == PF_APPL_ID_PREMIERE; }

bool isLegacyHost(const PF_InData* in_data) {
    return !isPremiereHost(in_data) && apiMajor(in_data) == kApiMajor && apiMinor(in_data) < 2;
}

bool isCurrentHost(const PF_InData* in_data) {
    return !isPremiereHost(in_data) && apiMajor(in_data) >= kApiMajor && apiMinor(in_data) >= 9;
}

void throwIfError(PF_Err err) {
    if (err != PF_Err_NONE) throw err;
}

std::string fitText(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t end = maxBytes;
    // Step back over UTF-8 continuation bytes so no character is cut in two.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

void copyHostString(const PF_InData* in_data, char* field, size_t capacity, const std::string& text) {
    if (capacity == 0) return;
    const std::string fitted = fitText(text, capacity - 1);
    if (in_data->utils && in_data->utils->ansi.strcpy) {
        in_data->utils->ansi.strcpy(field, fitted.c_str());
    } else {
        std::memcpy(field, fitted.c_str(), fitted.size() + 1);
    }
}

void formatHostString(const PF_InData* in_data, char* field, size_t capacity, const std::string& text) {
    if (capacity == 0) return;
    const std::string fitted = fitText(text, capacity - 1);
    if (in_data->utils && in_data->utils->ansi.sprintf) {
        in_data->utils->ansi.sprintf(field, "%s", fitted.c_str());
    } else {
        std::memcpy(field, fitted.c_str(), fitted.size() + 1);
    }
}

void reportMessage(const PF_InData* in_data, PF_OutData* out_data, const std::string& message) {
    out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    formatHostString(in_data, out_data->return_msg, sizeof(out_data->return_msg), message);
}

}  // namespace host
