#include "Scramble.h"

#include <cstring>

namespace package {
namespace {

uint32_t loadWord(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void storeWord(uint8_t* p, uint32_t w) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(w >> (8 * i));
}

}  // namespace

void scramble(uint8_t* bytes, size_t words) {
    uint32_t key = kScrambleKey;
    for (size_t i = 0; i < words; ++i, bytes += 4) {
        const uint32_t plain = loadWord(bytes);
        storeWord(bytes, plain ^ key);
        key = (key + plain) * plain;
    }
}

void descramble(uint8_t* bytes, size_t words) {
    uint32_t key = kScrambleKey;
    for (size_t i = 0; i < words; ++i, bytes += 4) {
        const uint32_t plain = loadWord(bytes) ^ key;
        storeWord(bytes, plain);
        key = (key + plain) * plain;
    }
}

std::vector<uint8_t> scrambleArchive(const std::vector<uint8_t>& image) {
    std::vector<uint8_t> padded(image);
    padded.resize((image.size() + 3) / 4 * 4, 0);
    scramble(padded.data(), padded.size() / 4);
    padded.resize(image.size());
    return padded;
}

std::vector<uint8_t> descrambleArchive(const uint8_t* resource, size_t size) {
    std::vector<uint8_t> data(size + 8, 0);
    if (size) std::memcpy(data.data(), resource, size);
    descramble(data.data(), data.size() / 4);
    return data;
}

}  // namespace package
