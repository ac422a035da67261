// Helpers for the image library tests: small images and random fills.
#pragma once

#include "ImageLib/Surface.h"

#include <cstring>
#include <random>
#include <vector>

namespace imagetest {

using namespace ImageLib;
template <class P>
using Img = ImageLib::Surface<P>;

// A float image from a list of (alpha, red, green, blue) pixels, row-major.
inline Img<Pixel32> floatImage(uint32_t w, uint32_t h, const std::vector<Pixel32>& px) {
    Img<Pixel32> s(w, h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) s.row(y)[x] = px[y * w + x];
    return s;
}

inline Pixel32 grey(float v) { return {1.0f, v, v, v}; }

// Bytes of a padded buffer, filled with random values.
inline std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> b(n);
    for (auto& v : b) v = uint8_t(rng());
    return b;
}

inline std::vector<float> randomFloats(size_t n, uint32_t seed, float lo, float hi) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(lo, hi);
    std::vector<float> f(n);
    for (auto& v : f) v = d(rng);
    return f;
}

inline bool sameBytes(const void* a, const void* b, size_t n) { return std::memcmp(a, b, n) == 0; }

}  // namespace imagetest
