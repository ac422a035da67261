// Per-channel conversions shared by the scalar kernels and the quantizer's
// alpha write-back. Internal to the image library.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace ImageLib::detail {

// 256/255 rounded to single precision; v / 255 is computed as (v / 256) * this.
constexpr float kByteScale = 1.0039216f;
constexpr float kInv256 = 1.0f / 256.0f;
constexpr float kInv32768 = 1.0f / 32768.0f;
// Scaled floats are clamped to this range before the integer conversion so
// that huge values saturate instead of hitting the converter's overflow value.
constexpr float kScaledLimit = 65536.0f;

inline float byteToFloat(uint8_t v) { return (float(v) * kInv256) * kByteScale; }
inline float host16ToFloat(uint16_t v) { return float(v) * kInv32768; }

// The converter's result for NaN (and out-of-range input) is INT32_MIN.
inline int32_t clampScaled(float v, bool truncate) {
    if (std::isnan(v)) return INT32_MIN;
    v = std::min(kScaledLimit, std::max(-kScaledLimit, v));
    return int32_t(truncate ? std::trunc(v) : std::nearbyint(v));
}

inline int32_t saturate16(int32_t v) { return std::min(32767, std::max(-32768, v)); }

// Round to nearest (ties to even) of f * 255, clamped to 0..255.
inline uint8_t floatToByte(float f) {
    return uint8_t(std::min(255, std::max(0, saturate16(clampScaled(f * 255.0f, false)))));
}

// Truncation of f * 32768, clamped to 0..32767.
inline uint16_t floatToHost16(float f) { return uint16_t(std::max(0, saturate16(clampScaled(f * 32768.0f, true)))); }

}  // namespace ImageLib::detail
